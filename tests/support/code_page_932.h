// The lead bytes of ANSI code page 932 for tests, where double-byte file names are common: "ソ" is 83 5C,
// "表" 95 5C, "能" 94 5C, "十" 8F 5C, whose second bytes are a backslash on their own.
#pragma once

#include "base/code_page.h"

namespace su::test {

inline bool IsCp932LeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Installs code page 932's lead bytes for the life of a test, then returns to a single-byte code page.
class ScopedCp932 {
 public:
  ScopedCp932() {
    LeadByteTable table{};
    for (unsigned byte = 0; byte < table.size(); ++byte) {
      table[byte] = IsCp932LeadByte(static_cast<unsigned char>(byte));
    }
    InstallLeadBytes(table);
  }
  ~ScopedCp932() { InstallLeadBytes(LeadByteTable{}); }
  ScopedCp932(const ScopedCp932&) = delete;
  ScopedCp932& operator=(const ScopedCp932&) = delete;
};

}  // namespace su::test
