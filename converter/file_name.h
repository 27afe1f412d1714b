// How the converter reads its input path: where the file name and its extension begin, and the title a song
// without a name of its own gets. Paths are narrow text in the system's ANSI code page, walked by characters
// of it: in a double-byte code page the second byte of a character may be 0x5C (a backslash on its own). The
// library depends on nothing of the program that loads it, so it learns the lead bytes itself.
#pragma once

#include <cstddef>
#include <string>

namespace su::conv {

// True when a byte starts a two-byte character.
using LeadBytePredicate = bool (*)(unsigned char byte);

// The system's ANSI code page: asked of the system on Windows; elsewhere every byte is a character.
bool SystemLeadByte(unsigned char byte);

// The file name begins after the last "\", "/" or ":"; its extension at its last dot.

// `path` with the extension of its file name (from its last dot) replaced by `extension`, or with
// `extension` added when it has none.
std::string WithExtension(const std::string& path, const char* extension, LeadBytePredicate isLead);

// The file name of `path` without its extension, cut to at most `maxBytes` bytes of whole characters: the
// title of a song that names itself nowhere.
std::string TitleFromPath(const std::string& path, std::size_t maxBytes, LeadBytePredicate isLead);

}  // namespace su::conv
