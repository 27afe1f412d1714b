#include "cli/commands/send_checks.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "base/conversion.h"
#include "base/paths.h"
#include "base/run_state.h"
#include "cli/commands/connection.h"
#include "cli/commands/failures.h"
#include "cli/commands/printable.h"
#include "cli/commands/staged_song.h"
#include "cli/exit_codes.h"

namespace su::cli {

namespace {

// send --dry-run: what the send would do, from the slots as the keyboard lists them, with the room judged by
// the plan's rule (the rule of a single send: family B's largest song, else the free memory with the room the
// replaced song makes; a family C keyboard has the last word when the song is announced).
void DryRun(CommandContext& context, std::size_t slot, const std::string& songName) {
  const FamilyEntry& family = *context.family;
  const Listing listing = ReadListing(context);
  const SlotRow& row = listing.slots.at(slot);
  const std::uint32_t size = su::Run().songImageSize;
  PlannedSong song;
  song.name = songName;
  song.size = size;
  const SendPlan plan = MakePlan(family, listing, {song}, SlotRequest{SlotRequest::Kind::Named, 0, {slot}});
  const bool room = plan.AllFit();
  const std::string shownName = ReadableName(RightTrimmed(row.name));
  context.result = {{"dryRun", true}, {"slot", context.slotLabel}, {"name", songName}, {"bytes", size},
                    {"room", room}, {"replaces", row.used ? Json{{"name", shownName}, {"bytes", row.size}} : Json()}};
  if (!room) throw Stop{kExitNoMemory, RightTrimmed(MessageText(family.noRoomMessage))};
  if (context.options.json) return;
  context.console.out << "Would send \"" << Printable(songName) << "\" (" << size << " bytes) into slot " << context.slotLabel
                      << (row.used ? ", replacing \"" + shownName + "\" (" + std::to_string(row.size) + " bytes)"
                                   : std::string(", which is empty"))
                      << ". Nothing was sent.\n";
}

}  // namespace

void DryRunOne(CommandContext& context) {
  StagedSong staged(context.options.song, context.console);
  PortsClosed closed;
  Connect(context);
  const std::size_t slot = SlotIndex(context);
  RunState& run = su::Run();
  run.convertedPath = ConvertStagedSong(kSongImageKind, context.family->modelCode(), context.family->modelInfo());
  LoadSongImageToSend();
  const std::string songName = SplitPath(run.stagedPath).name;
  context.slots = context.family->slotsOf(run.modelType, songName);
  DryRun(context, slot, songName);
}

void RefuseUnlessAllFit(CommandContext& context, const std::vector<std::string>& given, const SendPlan& plan,
                        const Listing& listing) {
  const FamilyEntry& family = *context.family;
  std::ostream& out = context.console.out;
  // The plan as --json reports it; "stored" is filled in once the songs are sent.
  Json entries = Json::array();
  for (std::size_t i = 0; i < plan.songs.size(); ++i) {
    const PlannedSong& song = plan.songs[i];
    const std::string shownName = ReadableName(RightTrimmed(song.replacedName));
    Json entry = Json::object();
    PutName(entry, "song", given[i]);
    PutName(entry, "name", song.name);
    const Json rest = {{"bytes", song.size}, {"slot", song.hasSlot ? Json(listing.slots[song.slot].label) : Json()},
                       {"fits", song.fits},
                       {"replaces", song.replaces ? Json{{"name", shownName}, {"bytes", song.replacedSize}} : Json()},
                       {"stored", false}};
    for (const auto& [key, value] : rest.items()) entry[key] = value;
    entries.push_back(entry);
  }
  context.result = Json::object();
  if (context.options.dryRun) context.result["dryRun"] = true;
  context.result["songs"] = entries;

  // Every song is checked before the first goes out: one without a slot or without room stops them all.
  std::string refusals;
  for (std::size_t i = 0; i < plan.songs.size(); ++i) {
    const PlannedSong& song = plan.songs[i];
    if (song.fits) continue;
    std::string why;
    if (!song.hasSlot) {
      why = "no empty slot is left for it";
    } else if (family.memory == MemoryFigure::LargestSong) {
      why = "larger than the largest song the keyboard takes (" + std::to_string(MemoryShown(family, listing)) +
            " bytes)";
    } else {
      why = "no room in slot " + listing.slots[song.slot].label + " after the songs before it";
    }
    refusals += given[i] + " (" + std::to_string(song.size) + " bytes): " + why + "\n";
  }

  if (context.options.dryRun && !context.options.json) {
    for (const PlannedSong& song : plan.songs) {
      if (!song.fits) continue;
      out << "Would send \"" << Printable(song.name) << "\" (" << song.size << " bytes) into slot "
          << listing.slots[song.slot].label
          << (song.replaces ? ", replacing \"" + ReadableName(RightTrimmed(song.replacedName)) + "\" (" +
                                  std::to_string(song.replacedSize) + " bytes)"
                            : std::string(", which is empty"))
          << ".\n";
    }
    if (refusals.empty()) out << "Nothing was sent.\n";
  }
  if (!refusals.empty()) {
    // The family's own text when room is what is missing (not merely a slot).
    const bool noRoom = std::any_of(plan.songs.begin(), plan.songs.end(),
                                    [](const PlannedSong& song) { return song.hasSlot && !song.fits; });
    throw Stop{kExitNoMemory, refusals + "Nothing was sent." +
                                  (noRoom ? "\n" + RightTrimmed(MessageText(family.noRoomMessage)) : std::string())};
  }
}

}  // namespace su::cli
