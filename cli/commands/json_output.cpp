#include "cli/commands/json_output.h"

#include <cstdint>

namespace su::cli {

namespace {

bool ValidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80            ? 1
                               : (lead >> 5) == 0x6  ? 2
                               : (lead >> 4) == 0xE  ? 3
                               : (lead >> 3) == 0x1E ? 4
                                                     : 0;
    if (length == 0 || i + length > text.size()) return false;
    std::uint32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = (point << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and points past Unicode's end are not UTF-8 either.
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < kSmallest[length] || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF) return false;
    i += length;
  }
  return true;
}

}  // namespace

void PrintJson(std::ostream& out, const Json& json) {
  out << json.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
}

void PutName(Json& json, const std::string& key, const std::string& name) {
  json[key] = name;
  if (ValidUtf8(name)) return;
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : name) {
    hex += kDigits[static_cast<unsigned char>(c) >> 4];
    hex += kDigits[static_cast<unsigned char>(c) & 0xF];
  }
  json[key + "Hex"] = hex;
}

std::string JsonString(const std::string& text) {
  return Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace su::cli
