#include "transfer/slot_name_text.h"

#if __has_include(<iconv.h>)
#include <iconv.h>
#define SU_HAS_ICONV 1
#else
#define SU_HAS_ICONV 0
#endif

#include "resources/strings.h"

namespace su {

namespace {

constexpr char kInUseMarkerReadable[] = "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF\xE3\x81\x8C\xE3\x81\x82\xE3\x82\x8A"
                                        "\xE3\x81\xBE\xE3\x81\x99";  // the in-use marker in UTF-8

// One double-byte character of code page 932 in UTF-8, "?" where the system cannot decode it.
std::string DoubleByteCharacter(const std::string& bytes) {
#if SU_HAS_ICONV
  iconv_t decoder = iconv_open("UTF-8", "CP932");
  if (decoder == reinterpret_cast<iconv_t>(-1)) return "?";
  char in[2] = {bytes[0], bytes[1]};
  char out[8] = {};
  char* inAt = in;
  char* outAt = out;
  std::size_t inLeft = 2;
  std::size_t outLeft = sizeof out;
  const std::size_t done = iconv(decoder, &inAt, &inLeft, &outAt, &outLeft);
  iconv_close(decoder);
  if (done == static_cast<std::size_t>(-1) || inLeft != 0) return "?";
  return std::string(out, sizeof out - outLeft);
#else
  (void)bytes;
  return "?";
#endif
}

}  // namespace

std::string SlotNameShown(const std::string& name) {
  if (name == TEXT_IN_USE_MARKER) return kInUseMarkerReadable;
  std::string text;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      text += name[i];
    } else if (byte >= 0xA1 && byte <= 0xDF) {
      // A half-width katakana of code page 932: U+FF61 on.
      const unsigned point = 0xFF61 + (byte - 0xA1);
      text += static_cast<char>(0xE0 | (point >> 12));
      text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (point & 0x3F));
    } else if (((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC)) && i + 1 < name.size()) {
      text += DoubleByteCharacter(name.substr(i, 2));
      ++i;
    } else {
      text += '?';
    }
  }
  return text;
}

}  // namespace su
