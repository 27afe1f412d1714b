// What the slot lists of every front end share: the KB rules of the sizes they show (the dialogs' slot list
// and totals, the command line's listing).
#pragma once

#include <cstdint>
#include <string>

namespace su {

// A size in bytes as the dialogs show kilobytes: 0 stays 0, anything below 1024 shows 1, otherwise whole
// kilobytes rounded down (a song's row and the song's own size).
std::uint32_t KilobytesShown(std::uint32_t bytes);
// A row's size cell: KilobytesShown with "KB" behind it.
std::string KilobyteCell(std::uint32_t bytes);
// A total (stored songs, free memory, largest song): whole kilobytes rounded down. Sizes from the keyboard
// are unsigned, so 2 GiB and more show as such (0x80000000 bytes: 2097152).
std::string TotalKilobytesText(std::uint32_t bytes);
// Family B's total of stored songs: as TotalKilobytesText, but never 0 for a keyboard that holds anything.
std::string TotalKilobytesTextB(std::uint32_t bytes);
std::string UnsignedText(std::uint32_t value);

}  // namespace su
