// A slot name read from the keyboard, as a terminal or JSON shows it. The page does not use it: its browser
// decodes the keyboard's bytes itself.
#pragma once

#include <string>

namespace su {

// A name read from the keyboard as UTF-8, for a terminal or JSON: printable ASCII as it is, the in-use
// marker and code page 932 characters decoded (double-byte ones where the system can decode them), every
// other byte as "?".
std::string SlotNameShown(const std::string& name);

}  // namespace su
