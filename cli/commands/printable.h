// Texts for the terminal: names with their control characters made harmless, a message's first line, a
// name read from the keyboard without its padding, a song's length.
#pragma once

#include <cstdint>
#include <string>

#include "cli/printable.h"

namespace su::cli {

// The first line of a message: the questions after it ("Do you want to set up...") mean nothing here.
std::string FirstLine(const std::string& text);

std::string RightTrimmed(std::string text);

// "3:25": a song's length in minutes and seconds, rounded to the nearest second.
std::string MinutesAndSeconds(std::uint64_t ms);

}  // namespace su::cli
