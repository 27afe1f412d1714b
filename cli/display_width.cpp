#include "cli/display_width.h"

namespace su::cli {

namespace {

struct Range {
  char32_t first;
  char32_t last;
};

// Characters a terminal draws two columns wide.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},   {0x25FD, 0x25FE},
    {0x2614, 0x2615},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},
    {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF},
    {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

// Marks drawn over the character before them.
constexpr Range kCombining[] = {{0x0300, 0x036F}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x20D0, 0x20FF},
                                {0x3099, 0x309A}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}};

bool In(const Range* ranges, std::size_t count, char32_t point) {
  for (std::size_t i = 0; i < count; ++i) {
    if (point >= ranges[i].first && point <= ranges[i].last) return true;
  }
  return false;
}

}  // namespace

std::size_t DisplayColumns(const std::string& utf8) {
  std::size_t columns = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    char32_t point = length == 1 ? lead : lead & (0x7F >> length);
    bool valid = i + length <= utf8.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      valid = (next & 0xC0) == 0x80;
      point = (point << 6) | (next & 0x3F);
    }
    if (!valid) {
      ++columns;  // a stray byte: the terminal shows one replacement character
      ++i;
      continue;
    }
    i += length;
    if (In(kCombining, sizeof kCombining / sizeof kCombining[0], point)) continue;
    columns += In(kWide, sizeof kWide / sizeof kWide[0], point) ? 2 : 1;
  }
  return columns;
}

std::string CutToColumns(const std::string& utf8, std::size_t columns) {
  std::size_t end = 0;
  std::size_t used = 0;
  while (end < utf8.size()) {
    std::size_t next = end + 1;
    while (next < utf8.size() && (static_cast<unsigned char>(utf8[next]) & 0xC0) == 0x80) ++next;
    const std::size_t width = DisplayColumns(utf8.substr(end, next - end));
    if (used + width > columns) break;
    used += width;
    end = next;
  }
  return utf8.substr(0, end);
}

std::string PaddedToColumns(const std::string& utf8, std::size_t columns) {
  const std::size_t shown = DisplayColumns(utf8);
  return utf8 + std::string(shown < columns ? columns - shown : 0, ' ');
}

}  // namespace su::cli
