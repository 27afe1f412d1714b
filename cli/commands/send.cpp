// send: every song staged and converted, the slots read once and the plan made (one song is a plan of one);
// a song without a slot or without room ends the command before anything is sent. One question covers every
// slot that would be replaced; then the songs go out one after another over the one connection, and the
// slots are read once at the end: that reading says what became of each song, and the report says it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/conversion.h"
#include "base/errors.h"
#include "base/paths.h"
#include "base/run_state.h"
#include "cli/commands.h"
#include "cli/commands/connection.h"
#include "cli/commands/context.h"
#include "cli/commands/failures.h"
#include "cli/commands/printable.h"
#include "cli/commands/send_checks.h"
#include "cli/commands/staged_song.h"
#include "cli/exit_codes.h"
#include "cli/terminal_progress.h"
#include "resources/message_numbers.h"
#include "transfer/send_plan.h"

namespace su::cli {

namespace fs = std::filesystem;

namespace {

// One song of a send of several: the file the user named, staged, and what it becomes on the keyboard.
struct SongToSend {
  std::string given;                   // as the user named it
  std::unique_ptr<StagedSong> staged;
  std::string name;                    // the staged base name, as the keyboard keeps it
  std::vector<std::uint8_t> image;     // the converted song
};

// Stages and converts every song for the keyboard found, before anything is sent: a song that cannot be read
// or converted ends the command with nothing sent, named in the failure.
void ConvertEach(CommandContext& context, std::vector<SongToSend>& songs) {
  RunState& run = su::Run();
  for (SongToSend& song : songs) {
    context.songShown = song.given;
    run.stagedPath = song.staged->Path();
    run.stagedName = fs::path(run.stagedPath).filename().string();
    run.convertedPath = ConvertStagedSong(kSongImageKind, context.family->modelCode(), context.family->modelInfo());
    LoadSongImageToSend();
    song.image.assign(run.songImage.get(), run.songImage.get() + run.songImageSize);
    ReleaseSongImage(run);
    song.name = SplitPath(run.stagedPath).name;
    if (Interrupted()) throw InterruptedByUser{};
  }
  context.songShown.clear();
}

// The slots the user asked for, as indices of this keyboard's slots.
SlotRequest RequestedSlots(const CommandContext& context) {
  const Options& o = context.options;
  const std::vector<std::string>& labels = context.slots.labels;
  auto index = [&](const std::string& label) {
    const auto at = std::find(labels.begin(), labels.end(), label);
    if (at == labels.end()) {
      throw Stop{kExitNoSuchSlot, "this keyboard has no slot " + label + " (its slots are " + labels.front() + " to " +
                                 labels.back() + ")"};
    }
    return static_cast<std::size_t>(at - labels.begin());
  };
  SlotRequest request;
  if (!o.slots.empty()) {
    request.kind = SlotRequest::Kind::Named;
    for (const std::string& label : o.slots) request.named.push_back(index(label));
  } else if (o.slot != "free") {
    request.kind = SlotRequest::Kind::From;
    request.first = index(o.slot);
  }
  return request;
}

// Names the song on every progress line (several songs), stops between songs once Ctrl-C was pressed, and
// lets the reading at the end finish after a stop: it says what the keyboard now holds.
struct SongLines : PlanProgress {
  SongLines(TerminalProgress& progress, std::ostream& chatter, const SendPlan& plan, const Listing& listing,
            bool named)
      : progress_(progress), chatter_(chatter), plan_(plan), listing_(listing), named_(named) {}
  void SongBegins(std::size_t index, std::size_t ordinal, std::size_t count) override {
    if (Interrupted()) throw InterruptedByUser{};
    if (!named_) return;
    const PlannedSong& song = plan_.songs[index];
    const std::string ofCount = std::to_string(ordinal) + "/" + std::to_string(count);
    chatter_ << "Song " << ofCount << ": \"" << Printable(song.name) << "\" into slot " << listing_.slots[song.slot].label
             << "\n";
    progress_.Label("[" + ofCount + " " + song.name + "] ");
  }
  void SongStored(std::size_t) override { progress_.Label(""); }
  void ReadingAfter() override { CheckingFlag().readingAfter = true; }
  TerminalProgress& progress_;
  std::ostream& chatter_;
  const SendPlan& plan_;
  const Listing& listing_;
  bool named_;
};

// What became of each song, from the reading after the plan, on standard output and in --json; the exit
// code is 0 only when every song is stored, else the first failure's.
void ReportSent(CommandContext& context, const SendPlan& plan, const Listing& listing, const PlanOutcome& outcome,
                bool one) {
  static const char* const kFates[] = {"stored", "notBegun", "failed", "declined", "unknown"};
  const FamilyEntry& family = *context.family;
  std::ostream& out = context.console.out;
  std::string lines;
  for (std::size_t i = 0; i < plan.songs.size(); ++i) {
    const PlannedSong& song = plan.songs[i];
    const SongOutcome& fate = outcome.songs[i];
    const std::string label = song.hasSlot ? listing.slots[song.slot].label : std::string("-");
    const std::string name = ReadableName(RightTrimmed(fate.found.name));
    if (!one) {
      Json& entry = context.result["songs"][i];
      entry["stored"] = fate.fate == SongFate::Stored;
      entry["outcome"] = kFates[static_cast<int>(fate.fate)];
      if (fate.fate == SongFate::Stored) {
        entry["confirmed"] = fate.confirmed;
        entry["bytes"] = fate.confirmed ? fate.found.size : song.size;
      }
      if (fate.slotEmptied) entry["slotEmptied"] = true;
      if (fate.oldStill) entry["oldStill"] = true;
      if (fate.filledSince) entry["filledSince"] = true;
    }
    const std::string where = "\"" + song.name + "\" (slot " + label + ")";
    switch (fate.fate) {
      case SongFate::Stored:
        if (!fate.confirmed) {
          // The keyboard acknowledged the song, and no reading after could be made to confirm it.
          lines += "Slot " + label + ": \"" + song.name +
                   "\" stored, as the keyboard acknowledged; not confirmed by a reading.\n";
          if (one) context.result = {{"slot", label}, {"name", song.name}, {"bytes", song.size}, {"confirmed", false}};
          break;
        }
        // One song names it only where the family keeps the name it was sent with, as a single send always has.
        lines += "Slot " + label + " holds " +
                 (name.empty() || (one && family.nameField(context.slots) == 0) ? std::string()
                                                                                 : "\"" + name + "\", ") +
                 std::to_string(fate.found.size) + " bytes.\n";
        if (one) context.result = {{"slot", label}, {"name", name}, {"bytes", fate.found.size}};
        break;
      case SongFate::NotBegun:
        lines += "Not stored: " + where + ": not sent.\n";
        break;
      case SongFate::Declined:
        // A slot that took a song after the reading the plan was made from is left as it is.
        lines += "Not stored: " + where + ": " +
                 (!fate.filledSince      ? std::string()
                  : fate.found.used      ? "slot " + label + " now holds \"" + name + "\": "
                                         : "slot " + label + " now holds a song: ") +
                 "not replaced.\n";
        break;
      case SongFate::Failed:
        lines += "Not stored: " + where +
                 (fate.slotEmptied ? "; slot " + label + " is now empty"
                  : fate.oldStill  ? "; slot " + label + " still holds the old song"
                                   : std::string()) +
                 ".\n";
        break;
      case SongFate::Unknown:
        lines += "Unknown: " + where + ": " +
                 (fate.oldStill ? "slot " + label + " shows the song it held before, and the keyboard never confirmed "
                                  "the new one.\n"
                                : std::string("the slots could not be read after sending.\n"));
        break;
    }
  }
  if (outcome.AllStored()) {
    // The keyboard holds every song: a stop asked for during the reading after changes nothing.
    context.committed = true;
    if (context.options.json) return;
    // One song: "Complete!" as the dialogs say it, then the slot; several: each slot, then "Complete!".
    if (one) out << MessageText(IDS_COMPLETE) << '\n' << Printable(lines, true);
    else out << Printable(lines, true) << MessageText(IDS_COMPLETE) << '\n';
    return;
  }
  const SongOutcome& first = outcome.songs.front();
  if (!context.options.json && !(one && first.fate == SongFate::Declined && !first.filledSince)) out << Printable(lines, true);
  if (!outcome.failure) {
    if (outcome.Declined()) throw Stop{kExitDeclined, ""};
    throw Stop{kExitCheckFailed, "songuploader: not every song was stored"};
  }
  try {
    std::rethrow_exception(outcome.failure);
  } catch (const SongNotShown& shown) {
    const SlotRow& row = shown.found;
    throw Stop{kExitCheckFailed, "Slot " + listing.slots[plan.songs[shown.song].slot].label +
                                     " does not hold the song sent: it reports " +
                                     (row.used ? "\"" + ReadableName(row.name) + "\", " + std::to_string(row.size) + " bytes"
                                               : std::string("no song")) +
                                     "."};
  } catch (const SongUnconfirmed& unconfirmed) {
    throw Stop{kExitCheckFailed, "songuploader: slot " + listing.slots[plan.songs[unconfirmed.song].slot].label +
                                     " shows a song of the size and name it held before: whether it holds the song "
                                     "sent cannot be told."};
  } catch (const RaisedMessage& raised) {
    if (raised.number == IDS_TIMEOUT && CheckingFlag().timedOut) {
      throw Stop{kExitTimeout, RightTrimmed(MessageText(IDS_TIMEOUT)) +
                                   "\nsonguploader: the keyboard's final check did not end within " +
                                   std::to_string(CheckingFlag().limitSeconds) + " s (--check-timeout)"};
    }
    throw;
  }
}

}  // namespace

void RunSend(CommandContext& context) {
  const Options& o = context.options;
  const bool one = !SendsSeveral(o);
  if (one && o.dryRun) {
    DryRunOne(context);
    return;
  }
  std::vector<SongToSend> songs;
  for (const std::string& given : one ? std::vector<std::string>{o.song} : o.songs) {
    context.songShown = given;
    SongToSend song;
    song.given = given;
    song.staged = std::make_unique<StagedSong>(given, context.console);
    songs.push_back(std::move(song));
  }
  PortsClosed closed;
  Connect(context);
  const FamilyEntry& family = *context.family;
  const SlotRequest request = RequestedSlots(context);
  if (one && request.kind != SlotRequest::Kind::FirstFree) {
    context.slotLabel = o.slot;
    context.result["slot"] = context.slotLabel;
  }
  ConvertEach(context, songs);

  const Listing listing = ReadListing(context);
  std::vector<PlannedSong> wanted;
  for (const SongToSend& song : songs) {
    PlannedSong planned;
    planned.name = song.name;
    planned.size = static_cast<std::uint32_t>(song.image.size());
    wanted.push_back(planned);
  }
  SendPlan plan;
  try {
    plan = MakePlan(family, listing, wanted, request);
  } catch (const PlanRefused& refused) {
    throw Stop{kExitUsage, refused.reason};
  }
  if (one) {
    const PlannedSong& song = plan.songs.front();
    if (!song.hasSlot) {
      throw Stop{kExitNoMemory, "songuploader: every slot holds a song; delete one, or name a slot to replace"};
    }
    context.slotLabel = listing.slots[song.slot].label;
    context.result["slot"] = context.slotLabel;
    if (request.kind == SlotRequest::Kind::FirstFree) {
      context.chatter << "Sending into slot " << context.slotLabel << ", the first empty one.\n";
    }
    if (!song.fits) throw Stop{kExitNoMemory, RightTrimmed(MessageText(family.noRoomMessage))};
  } else {
    std::vector<std::string> given;
    for (const SongToSend& song : songs) given.push_back(song.given);
    RefuseUnlessAllFit(context, given, plan, listing);
    if (o.dryRun) return;
  }

  // One question for every slot whose song would be replaced (one song: the dialogs' question).
  std::string replaced;
  for (const PlannedSong& song : plan.songs) {
    if (!song.replaces) continue;
    replaced += "  slot " + listing.slots[song.slot].label + ": \"" + ReadableName(RightTrimmed(song.replacedName)) +
                "\" (" + std::to_string(song.replacedSize) + " bytes) by \"" + Printable(song.name) + "\"\n";
  }
  const std::string question = one ? MessageText(IDS_ALREADY_EXIST)
                                   : "These slots hold songs that would be replaced:\n" + replaced +
                                         "Do you want to replace them?";
  if (!replaced.empty() && !context.screen.Confirm(question)) throw Stop{kExitDeclined, ""};

  std::vector<std::vector<std::uint8_t>> images;
  for (SongToSend& song : songs) images.push_back(std::move(song.image));
  AnsweredPrompts prompts;
  PlanOutcome outcome;
  {
    TerminalProgress progress(context.progressConsole);
    SongLines lines(progress, context.chatter, plan, listing, !one);
    CheckingWaitHook& hook = CheckingFlag();
    hook.progress = &progress;
    // Without a terminal nobody can press Ctrl-C: the check then ends on its own after a while.
    hook.limitSeconds = o.checkTimeout > 0 ? o.checkTimeout : context.console.askable ? 0 : kUnattendedCheckSeconds;
    hook.timedOut = false;
    hook.readingAfter = false;
    outcome = SendPlanned(family, su::Run().modelType, plan, images, progress, prompts, lines,
                          UnfitSongs::RefuseWhole);
    hook.progress = nullptr;
    hook.readingAfter = false;
  }
  ReportSent(context, plan, listing, outcome, one);
}

}  // namespace su::cli
