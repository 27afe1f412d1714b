#include "transfer/send_plan.h"

#include <algorithm>

#include "base/errors.h"
#include "midi/port_session.h"
#include "resources/message_numbers.h"
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

namespace {

// A song's prompts within a plan: the front end's answer only where the plan said this song replaces its
// slot's song, and a note of how far the send came (a delete that made way, blocks going out) and of the
// family's no-room message.
class SongPrompts : public SendPrompts {
 public:
  SongPrompts(SendPrompts& prompts, const PlannedSong& planned) : prompts_(prompts), planned_(planned) {}
  bool ConfirmReplace() override {
    // A slot that held nothing when the plan was made took a song since: nobody agreed to replace it.
    if (!planned_.replaces) {
      filledSince = true;
      return false;
    }
    return prompts_.ConfirmReplace();
  }
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
  bool filledSince = false;
  int noRoom = 0;

 private:
  SendPrompts& prompts_;
  const PlannedSong& planned_;
};

// The front end's progress, with a note of the moment the keyboard took a song's last block.
class EvidenceProgress : public TransferProgress {
 public:
  explicit EvidenceProgress(TransferProgress& progress) : progress_(progress) {}
  void Begin(int total) override { progress_.Begin(total); }
  void Step() override { progress_.Step(); }
  void Clear() override { progress_.Clear(); }
  void Status(int message) override { progress_.Status(message); }
  int* OpenCheckingWait() override { return progress_.OpenCheckingWait(); }
  void CloseCheckingWait() override { progress_.CloseCheckingWait(); }
  void EveryBlockTaken() override {
    everyBlockTaken = true;
    progress_.EveryBlockTaken();
  }

  bool everyBlockTaken = false;

 private:
  TransferProgress& progress_;
};

// How a song's send ended, before the reading after has its say.
enum class SendEnd { NotBegun, Sent, Failed, Declined };

// A keyboard's own refusal names what it made of the song; any other failure at the close (silence, a stop,
// a cancelled check) leaves the song's end unknown.
bool RefusedByKeyboard(const std::exception_ptr& failure) {
  if (!failure) return false;
  try {
    std::rethrow_exception(failure);
  } catch (const APP_EXCEPTION&) {
    return true;
  } catch (const RaisedMessage& raised) {
    return raised.number != IDS_TIMEOUT;
  } catch (...) {
    return false;
  }
}

// Whether a failure is the keyboard's silence, which one more question may overcome (a lost answer).
bool IsSilence(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const RaisedMessage& raised) {
    return raised.number == IDS_TIMEOUT;
  } catch (...) {
    return false;
  }
}

// The reading after the plan. A reading changes nothing on the keyboard, so one lost answer need not end it:
// when the keyboard's answer does not come, it is asked once more, after dropping whatever came late.
void ReadAfter(const FamilyEntry& family, std::int32_t modelType, PlanOutcome& outcome, TransferProgress& progress) {
  for (int attempt = 0;; ++attempt) {
    try {
      family.read(family.slotsOf(modelType, ""), outcome.after, progress);
      outcome.readAfter = true;
      return;
    } catch (...) {
      outcome.after = Listing{};
      const std::exception_ptr failure = std::current_exception();
      // A stop or a refusal is not a lost answer; nor is silence a second time. (A keyboard gone ends the
      // second try at once: the port session talks to it no more.)
      if (attempt > 0 || !IsSilence(failure)) {
        outcome.readingFailure = failure;
        return;
      }
    }
    try {
      DrainInput();
    } catch (...) {
      outcome.readingFailure = std::current_exception();
      return;
    }
  }
}

}  // namespace

PlanOutcome SendPlanned(const FamilyEntry& family, std::int32_t modelType, const SendPlan& plan,
                        const std::vector<std::vector<std::uint8_t>>& images, TransferProgress& progress,
                        SendPrompts& prompts, PlanProgress& report, UnfitSongs unfit) {
  PlanOutcome outcome;
  const std::size_t total = plan.songs.size();
  outcome.songs.resize(total);
  std::vector<SendEnd> ends(total, SendEnd::NotBegun);
  std::vector<SendEvidence> evidence(total, SendEvidence::NothingSent);
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
    SongPrompts songPrompts(prompts, song);
    EvidenceProgress songProgress(progress);
    // How far the send came: a block taken or a delete made is on the keyboard whatever happens next.
    auto noteEvidence = [&] {
      if (songProgress.everyBlockTaken) evidence[i] = SendEvidence::EndUnknown;
      else if (songPrompts.touched) evidence[i] = SendEvidence::Partial;
    };
    try {
      report.SongBegins(i, ++ordinal, count);
      kept[i] = family.slotsOf(modelType, song.name);
      const SendOutcome sent = family.send(kept[i], song.slot, images[i].data(),
                                           static_cast<std::uint32_t>(images[i].size()), songProgress, songPrompts);
      noteEvidence();
      if (sent == SendOutcome::Declined) {
        ends[i] = SendEnd::Declined;
        outcome.songs[i].filledSince = songPrompts.filledSince;
        // The user's No ends the plan; a slot filled behind the plan's back declines only its own song.
        if (songPrompts.filledSince) continue;
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
      // Only a family whose keyboard answers a song's close has said it kept the song.
      evidence[i] = family.confirmsSongEnd ? SendEvidence::Acknowledged : SendEvidence::EndUnknown;
      report.SongStored(i);
    } catch (...) {
      if (ends[i] != SendEnd::Sent) noteEvidence();
      if (ends[i] == SendEnd::Sent) {
        // The song went whole; what failed came after it (the front end's report of it).
        outcome.failure = std::current_exception();
      } else if (kept[i].labels.empty()) {
        // A failure before the song's own exchange began (a stop between songs) leaves it not begun.
        outcome.failure = std::current_exception();
      } else {
        ends[i] = SendEnd::Failed;
        outcome.songs[i].failure = std::current_exception();
        outcome.failure = outcome.songs[i].failure;
        // A keyboard that refused the song's close said what it made of the song: the end is known.
        if (evidence[i] == SendEvidence::EndUnknown && RefusedByKeyboard(outcome.songs[i].failure)) {
          evidence[i] = SendEvidence::Partial;
        }
      }
    }
  }

  // The reading after, with what each send established and what each slot held before, decides what each
  // song became.
  try {
    report.ReadingAfter();
  } catch (...) {
    if (!outcome.failure) outcome.failure = std::current_exception();
  }
  ReadAfter(family, modelType, outcome, progress);
  if (!outcome.readAfter && !outcome.failure) outcome.failure = outcome.readingFailure;
  for (std::size_t i = 0; i < total; ++i) {
    SongOutcome& song = outcome.songs[i];
    const PlannedSong& planned = plan.songs[i];
    const bool read = outcome.readAfter && planned.slot < outcome.after.slots.size();
    if (read) song.found = outcome.after.slots[planned.slot];
    if (ends[i] == SendEnd::Declined) {
      song.fate = SongFate::Declined;
      continue;
    }
    if (ends[i] == SendEnd::NotBegun) continue;
    const SlotRow before{"", planned.replaces, planned.replacedName, planned.replacedSize};
    const FateReading fate = ReadFate(family, kept[i], static_cast<std::uint32_t>(images[i].size()), evidence[i],
                                      before, read ? &song.found : nullptr);
    song.fate = fate.fate;
    song.confirmed = fate.confirmed;
    song.oldStill = fate.oldStill && song.fate != SongFate::Stored;
    song.slotEmptied = fate.emptied && song.fate != SongFate::Stored;
    switch (song.fate) {
      case SongFate::Stored: song.failure = nullptr; break;
      case SongFate::Unknown:
        // Its own failure, else why the reading could not be made, else that the reading cannot tell.
        if (!song.failure) song.failure = outcome.readingFailure;
        if (!song.failure) song.failure = std::make_exception_ptr(SongUnconfirmed{i, song.found});
        if (!outcome.failure) outcome.failure = song.failure;
        break;
      default:
        if (!song.failure) {
          song.failure = std::make_exception_ptr(SongNotShown{i, song.found});
          if (!outcome.failure) outcome.failure = song.failure;
        }
    }
  }
  // Every song that was to go is on the keyboard, or was declined (a No ends the plan there): whatever went
  // wrong on the way (a final check cancelled after the keyboard had kept the song, a reading after that
  // could not be made) ends nothing.
  bool everyFitSettled = true;
  bool endedByNo = false;
  for (std::size_t i = 0; i < total; ++i) {
    const SongOutcome& song = outcome.songs[i];
    if (!plan.songs[i].fits || endedByNo || song.fate == SongFate::Stored) continue;
    if (song.fate != SongFate::Declined) everyFitSettled = false;
    else if (!song.filledSince) endedByNo = true;
  }
  if (everyFitSettled) outcome.failure = nullptr;
  return outcome;
}

}  // namespace su
