#include "cli/printable.h"

namespace su::cli {

std::string Printable(std::string text, bool keepLines) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool line = text[i] == '\n' || text[i] == '\t';
    if ((byte < 0x20 || byte == 0x7F) && !(keepLines && line)) {
      shown += '?';
    } else if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      shown += '?';
      ++i;
    } else {
      shown += text[i];
    }
  }
  return shown;
}

}  // namespace su::cli
