// The lead bytes of the system's ANSI code page, in which every narrow path of the program is written. In a
// double-byte code page (932, the keyboards' home market) a lead byte and the byte after it form one
// character, and that second byte may be 0x5C (a backslash on its own) or a letter: "ソ" is 83 5C. Everything
// that looks for separators, dots or letter case in a path walks it character by character with these.
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace su {

// Entry b is true when byte b starts a two-byte character.
using LeadByteTable = std::array<bool, 256>;

// Installs the lead bytes of the code page paths are written in (the Windows program does so at start).
// Until then every byte is a character of its own; installing an all-false table returns to that.
void InstallLeadBytes(const LeadByteTable& table);

bool IsLeadByte(unsigned char byte);

// Bytes taken by the character that starts at `at`: 2 for a lead byte with a byte after it, else 1. A lead
// byte at the very end (a cut text) counts as a character of its own.
std::size_t CharacterLength(const std::string& text, std::size_t at);

// True when the last character of `text` is "\" or "/" (a trail byte 0x5C is not a separator).
bool EndsWithSeparator(const std::string& text);

// The letters A-Z of single-byte characters folded to lower case; trail bytes stay as they are.
std::string FoldCase(const std::string& text);

}  // namespace su
