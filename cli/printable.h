// The one rule for text that goes onto a terminal: a name (a file's, a port's, a song's) never acts on it.
#pragma once

#include <string>

namespace su::cli {

// `text` with every control character shown as "?": the C0 controls and DEL as bytes, and the C1 controls
// (U+0080 to U+009F, which some terminals obey as ESC sequences) as their UTF-8 pairs. Line ends and tabs
// stay where `keepLines` says so. Everything else, UTF-8 or not, is left as it is.
std::string Printable(std::string text, bool keepLines = false);

}  // namespace su::cli
