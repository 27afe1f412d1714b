#include "transfer/send_plan.h"

#include <algorithm>

#include "base/errors.h"
#include "transfer/septet_encodings.h"

namespace su {

namespace {

// The slots a request gives the songs, in song order; a song beyond the slots left gets none (nullopt as -1).
std::vector<long> AssignSlots(const Listing& listing, std::size_t songCount, const SlotRequest& request) {
  const std::size_t slotCount = listing.slots.size();
  std::vector<long> assigned;
  if (request.kind == SlotRequest::Kind::Named) {
    if (request.named.size() != songCount) {
      throw PlanRefused{"name one slot for each song (" + std::to_string(songCount) + " songs, " +
                        std::to_string(request.named.size()) + " slots)"};
    }
    for (std::size_t i = 0; i < request.named.size(); ++i) {
      const std::size_t slot = request.named[i];
      if (slot >= slotCount) throw PlanRefused{"this keyboard has no such slot"};
      if (std::find(request.named.begin(), request.named.begin() + static_cast<long>(i), slot) !=
          request.named.begin() + static_cast<long>(i)) {
        throw PlanRefused{"slot " + listing.slots[slot].label + " is named twice"};
      }
      assigned.push_back(static_cast<long>(slot));
    }
    return assigned;
  }
  std::size_t next = 0;
  if (request.kind == SlotRequest::Kind::From) {
    if (request.first >= slotCount) throw PlanRefused{"this keyboard has no such slot"};
    assigned.push_back(static_cast<long>(request.first));
    next = request.first + 1;
  }
  while (assigned.size() < songCount) {
    while (next < slotCount && listing.slots[next].used) ++next;
    if (next >= slotCount) {
      assigned.push_back(-1);
      continue;
    }
    assigned.push_back(static_cast<long>(next++));
  }
  return assigned;
}

}  // namespace

bool SendPlan::AllFit() const {
  return std::all_of(songs.begin(), songs.end(), [](const PlannedSong& song) { return song.fits; });
}

std::uint64_t BytesTaken(const FamilyEntry& family, std::uint32_t size) {
  return family.sendsWholeWords ? WholeWordsSize(size) : std::uint64_t{size};
}

SendPlan MakePlan(const FamilyEntry& family, const Listing& listing, const std::vector<PlannedSong>& songs,
                  const SlotRequest& request) {
  const std::vector<long> assigned = AssignSlots(listing, songs.size(), request);
  SendPlan plan;
  plan.roomLeft = MemoryShown(family, listing);
  for (std::size_t i = 0; i < songs.size(); ++i) {
    PlannedSong song = songs[i];
    song.hasSlot = assigned[i] >= 0;
    if (song.hasSlot) {
      song.slot = static_cast<std::size_t>(assigned[i]);
      const SlotRow& row = listing.slots[song.slot];
      song.replaces = row.used;
      song.replacedName = row.used ? row.name : std::string();
      song.replacedSize = row.used ? row.size : 0;
      const std::uint64_t taken = BytesTaken(family, song.size);
      if (family.memory == MemoryFigure::LargestSong) {
        // Each song on its own against the largest song the keyboard takes.
        song.fits = taken <= plan.roomLeft;
      } else {
        // The free memory as the songs before this one left it; the song it replaces makes room.
        const std::uint64_t room = plan.roomLeft + song.replacedSize;
        song.fits = taken <= room;
        if (song.fits) plan.roomLeft = room - taken;
      }
    }
    plan.songs.push_back(song);
  }
  return plan;
}

bool PlanOutcome::AllStored() const {
  return !songs.empty() &&
         std::all_of(songs.begin(), songs.end(), [](const SongOutcome& song) { return song.fate == SongFate::Stored; });
}

std::vector<std::size_t> PlanOutcome::Stored() const {
  std::vector<std::size_t> stored;
  for (std::size_t i = 0; i < songs.size(); ++i) {
    if (songs[i].fate == SongFate::Stored) stored.push_back(i);
  }
  return stored;
}

bool PlanOutcome::Declined() const {
  return std::any_of(songs.begin(), songs.end(), [](const SongOutcome& song) { return song.fate == SongFate::Declined; });
}

bool SlotShowsSong(const FamilyEntry& family, const KeyboardSlots& slots, const SlotRow& row, std::uint32_t size) {
  if (!row.used) return false;
  if (row.size != size && row.size != BytesTaken(family, size)) return false;
  const std::size_t field = family.nameField(slots);
  // Family A pads the name it keeps with spaces to its field.
  auto trimmed = [](std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
  };
  return field == 0 || trimmed(row.name) == trimmed(slots.songName.substr(0, field));
}

namespace {

// A song's prompts within a plan: the front end's, and a note of whether the keyboard was touched (a delete
// that makes way, or blocks going out) and of the family's no-room message.
class SongPrompts : public SendPrompts {
 public:
  explicit SongPrompts(SendPrompts& prompts) : prompts_(prompts) {}
  bool ConfirmReplace() override { return prompts_.ConfirmReplace(); }
  void NoRoom(int message) override { noRoom = message; }
  void DeletingBegins() override {
    touched = true;
    prompts_.DeletingBegins();
  }
  void DeletingEnds() override { prompts_.DeletingEnds(); }
  void SendingBegins() override {
    touched = true;
    prompts_.SendingBegins();
  }
  void SendingEnds() override { prompts_.SendingEnds(); }

  bool touched = false;
  int noRoom = 0;

 private:
  SendPrompts& prompts_;
};

// How a song's send ended, before the reading after has its say.
enum class SendEnd { NotBegun, Sent, Failed, Declined };

}  // namespace

PlanOutcome SendPlanned(const FamilyEntry& family, std::int32_t modelType, const SendPlan& plan,
                        const std::vector<std::vector<std::uint8_t>>& images, TransferProgress& progress,
                        SendPrompts& prompts, PlanProgress& report, UnfitSongs unfit) {
  PlanOutcome outcome;
  const std::size_t total = plan.songs.size();
  outcome.songs.resize(total);
  std::vector<SendEnd> ends(total, SendEnd::NotBegun);
  std::vector<bool> touched(total, false);
  std::vector<KeyboardSlots> kept(total);
  if (unfit == UnfitSongs::RefuseWhole && !plan.AllFit()) {
    outcome.failure = std::make_exception_ptr(RaisedMessage{family.noRoomMessage});
    return outcome;
  }
  const auto count = static_cast<std::size_t>(
      std::count_if(plan.songs.begin(), plan.songs.end(), [](const PlannedSong& song) { return song.fits; }));
  std::size_t ordinal = 0;
  for (std::size_t i = 0; i < total && i < images.size() && !outcome.failure; ++i) {
    const PlannedSong& song = plan.songs[i];
    if (!song.fits) continue;
    SongPrompts songPrompts(prompts);
    try {
      report.SongBegins(i, ++ordinal, count);
      kept[i] = family.slotsOf(modelType, song.name);
      const SendOutcome sent = family.send(kept[i], song.slot, images[i].data(),
                                           static_cast<std::uint32_t>(images[i].size()), progress, songPrompts);
      touched[i] = songPrompts.touched;
      if (sent == SendOutcome::Declined) {
        ends[i] = SendEnd::Declined;
        break;
      }
      if (sent == SendOutcome::NoRoom) {
        // The keyboard found no room after all: its family's message ends the plan.
        ends[i] = SendEnd::Failed;
        outcome.songs[i].failure = std::make_exception_ptr(RaisedMessage{songPrompts.noRoom});
        outcome.failure = outcome.songs[i].failure;
        break;
      }
      ends[i] = SendEnd::Sent;
      report.SongStored(i);
    } catch (...) {
      touched[i] = songPrompts.touched;
      // A failure before the song's own exchange began (a stop between songs) leaves it not begun.
      if (ends[i] == SendEnd::NotBegun && kept[i].labels.empty()) {
        outcome.failure = std::current_exception();
      } else if (ends[i] == SendEnd::Sent) {
        outcome.failure = std::current_exception();
      } else {
        ends[i] = SendEnd::Failed;
        outcome.songs[i].failure = std::current_exception();
        outcome.failure = outcome.songs[i].failure;
      }
    }
  }

  // The reading after decides what each song became, whatever its send reported.
  try {
    report.ReadingAfter();
    family.read(family.slotsOf(modelType, ""), outcome.after, progress);
    outcome.readAfter = true;
  } catch (...) {
    outcome.after = Listing{};
    outcome.readAfter = false;
    if (!outcome.failure) outcome.failure = std::current_exception();
  }
  const std::exception_ptr readingFailure = outcome.readAfter ? nullptr : outcome.failure;
  for (std::size_t i = 0; i < total; ++i) {
    SongOutcome& song = outcome.songs[i];
    const PlannedSong& planned = plan.songs[i];
    if (ends[i] == SendEnd::Declined) {
      song.fate = SongFate::Declined;
      continue;
    }
    if (ends[i] == SendEnd::NotBegun) continue;
    if (!outcome.readAfter || planned.slot >= outcome.after.slots.size()) {
      // Nothing can say what the keyboard kept of a song that reached it; one that never did is still failed.
      if (ends[i] == SendEnd::Sent || touched[i]) {
        song.fate = SongFate::Unknown;
        if (!song.failure) song.failure = readingFailure;
      } else {
        song.fate = SongFate::Failed;
      }
      continue;
    }
    song.found = outcome.after.slots[planned.slot];
    const auto size = static_cast<std::uint32_t>(images[i].size());
    if (SlotShowsSong(family, kept[i], song.found, size)) {
      song.fate = SongFate::Stored;
      song.failure = nullptr;
      continue;
    }
    song.fate = SongFate::Failed;
    song.slotEmptied = planned.replaces && !song.found.used;
    if (!song.failure) {
      song.failure = std::make_exception_ptr(SongNotShown{i, song.found});
      if (!outcome.failure) outcome.failure = song.failure;
    }
  }
  // Every song that was to go is on the keyboard: whatever went wrong on the way (a final check cancelled
  // after the keyboard had kept the song) ends nothing.
  const bool everyFitStored = std::all_of(plan.songs.begin(), plan.songs.end(), [&](const PlannedSong& song) {
    return !song.fits || outcome.songs[static_cast<std::size_t>(&song - plan.songs.data())].fate == SongFate::Stored;
  });
  if (everyFitStored) outcome.failure = nullptr;
  return outcome;
}

}  // namespace su
