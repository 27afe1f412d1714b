// list: the keyboard's slots, each with its song's name and size, and the memory figures under them.
#include <cstdint>
#include <cstdio>
#include <string>

#include "base/run_state.h"
#include "cli/commands/connection.h"
#include "cli/commands/context.h"
#include "cli/commands/json_output.h"
#include "cli/display_width.h"
#include "transfer/slot_list.h"

namespace su::cli {

namespace {

void PrintListing(CommandContext& context, const Listing& listing) {
  const RunState& run = su::Run();
  const FamilyEntry& family = *context.family;
  std::ostream& out = context.console.out;
  const std::uint32_t total = listing.totalSize;
  const std::uint32_t room = MemoryShown(family, listing);
  if (context.options.json) {
    Json slots = Json::array();
    for (const SlotRow& row : listing.slots) {
      slots.push_back({{"slot", row.label},
                       {"used", row.used},
                       {"name", ReadableName(row.name)},
                       {"kb", KilobytesShown(row.size)},
                       {"bytes", row.size}});
    }
    // The kilobytes as the text listing shows them (whole kilobytes of unsigned sizes).
    Json json = {{"modelType", run.modelType}, {"family", std::string(1, family.letter)}, {"slots", slots},
                 {"totalKB", std::stoul(family.totalText(total))}, {"totalBytes", total}};
    const bool largest = family.memory == MemoryFigure::LargestSong;
    json[largest ? "maxSongKB" : "freeKB"] = room / 1024;
    json[largest ? "maxSongBytes" : "freeBytes"] = room;
    PrintJson(out, json);
    context.jsonPrinted = true;
    return;
  }
  char line[160];
  std::snprintf(line, sizeof line, "%-5s %-32s %s\n", "No", "Data", "Size");
  out << line;
  for (const SlotRow& row : listing.slots) {
    const std::string size = KilobyteCell(row.size) + " (" + std::to_string(row.size) + " bytes)";
    // Padded by the columns a terminal gives it: the in-use marker is shown in UTF-8, two columns a character.
    std::snprintf(line, sizeof line, "%-5s ", row.label.c_str());
    out << line << PaddedToColumns(ReadableName(row.name), 32) << ' ' << size << '\n';
  }
  out << "Total Size: " << family.totalText(total) << " KBytes (" << total << " bytes)\n"
      << family.memoryLabel << ": " << TotalKilobytesText(room) << " KBytes (" << room << " bytes)\n";
}

}  // namespace

void RunList(CommandContext& context) {
  PortsClosed closed;
  Connect(context);
  PrintListing(context, ReadListing(context));
}

}  // namespace su::cli
