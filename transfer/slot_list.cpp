#include "transfer/slot_list.h"

#include <cstdio>

namespace su {

std::uint32_t KilobytesShown(std::uint32_t bytes) {
  if (bytes == 0) return 0;
  if (bytes < 1024) return 1;
  return bytes / 1024;
}

std::string UnsignedText(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(value));
  return text;
}

std::string KilobyteCell(std::uint32_t bytes) {
  char text[24];
  std::snprintf(text, sizeof text, "%uKB", static_cast<unsigned>(KilobytesShown(bytes)));
  return text;
}

std::string TotalKilobytesText(std::uint32_t bytes) { return UnsignedText(bytes / 1024); }

std::string TotalKilobytesTextB(std::uint32_t bytes) {
  if (bytes > 0 && bytes < 1024) return "1";
  return TotalKilobytesText(bytes);
}

}  // namespace su
