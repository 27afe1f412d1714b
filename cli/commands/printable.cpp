#include "cli/commands/printable.h"

#include "cli/commands.h"
#include "transfer/slot_name_text.h"

namespace su::cli {

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

std::string RightTrimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string MinutesAndSeconds(std::uint64_t ms) {
  const std::uint64_t seconds = (ms + 500) / 1000;
  return std::to_string(seconds / 60) + (seconds % 60 < 10 ? ":0" : ":") + std::to_string(seconds % 60);
}

std::string ReadableName(const std::string& name) { return SlotNameShown(name); }

}  // namespace su::cli
