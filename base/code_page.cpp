#include "base/code_page.h"

namespace su {

namespace {
LeadByteTable& Installed() {
  static LeadByteTable table{};
  return table;
}
}  // namespace

void InstallLeadBytes(const LeadByteTable& table) { Installed() = table; }

bool IsLeadByte(unsigned char byte) { return Installed()[byte]; }

std::size_t CharacterLength(const std::string& text, std::size_t at) {
  return (IsLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size()) ? 2 : 1;
}

bool EndsWithSeparator(const std::string& text) {
  bool separator = false;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = CharacterLength(text, i);
    separator = length == 1 && (text[i] == '\\' || text[i] == '/');
    i += length;
  }
  return separator;
}

std::string FoldCase(const std::string& text) {
  std::string folded = text;
  for (std::size_t i = 0; i < folded.size();) {
    const std::size_t length = CharacterLength(folded, i);
    if (length == 1 && folded[i] >= 'A' && folded[i] <= 'Z') folded[i] = static_cast<char>(folded[i] - 'A' + 'a');
    i += length;
  }
  return folded;
}

}  // namespace su
