#include "transfer/slot_list.h"

#include <string>

namespace su {

std::uint32_t KilobytesShown(std::uint32_t bytes) {
  if (bytes == 0) return 0;
  if (bytes < 1024) return 1;
  return bytes / 1024;
}

// Numbers as text without the C library's formatted output, which would bring its floating-point formatting
// into the page's core.
std::string UnsignedText(std::uint32_t value) { return std::to_string(value); }

std::string KilobyteCell(std::uint32_t bytes) { return std::to_string(KilobytesShown(bytes)) + "KB"; }

std::string TotalKilobytesText(std::uint32_t bytes) { return UnsignedText(bytes / 1024); }

std::string TotalKilobytesTextB(std::uint32_t bytes) {
  if (bytes > 0 && bytes < 1024) return "1";
  return TotalKilobytesText(bytes);
}

}  // namespace su
