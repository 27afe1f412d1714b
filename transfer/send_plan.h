// Several songs in one go: where each song goes, whether it fits, what it replaces, and sending them one
// after another over one connection. The command line and the page plan and send through this; the rules are
// those of a single send, applied song after song.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "transfer/families.h"
#include "transfer/progress.h"
#include "transfer/send_prompts.h"
#include "transfer/song_fate.h"

namespace su {

// How the songs are given their slots.
struct SlotRequest {
  enum class Kind {
    FirstFree,  // the slots that hold no song, in order
    From,       // `first` for the first song, then the next slots that hold no song after it
    Named,      // `named`, one slot per song in order
  } kind = Kind::FirstFree;
  std::size_t first = 0;            // From: a slot index of the listing
  std::vector<std::size_t> named;   // Named: slot indices of the listing
};

// What became of one song in the plan.
struct PlannedSong {
  std::string name;            // as the user knows it (the file's name)
  std::uint32_t size = 0;      // the converted song's bytes
  bool hasSlot = false;        // false: no slot was left for it
  std::size_t slot = 0;        // index into the listing
  bool fits = false;           // it has a slot and the keyboard has room for it after the songs before it
  bool replaces = false;       // the slot holds a song that this one takes the place of
  std::string replacedName;    // the stored song's name as the keyboard reports it
  std::uint32_t replacedSize = 0;
};

struct SendPlan {
  std::vector<PlannedSong> songs;
  // The keyboard's room after every song that fits: free memory for families A and C; for family B the
  // largest song it takes, which each song is held against on its own.
  std::uint64_t roomLeft = 0;
  bool AllFit() const;
};

// Why no plan could be made: a named slot the listing does not have, or not one slot per song.
struct PlanRefused {
  std::string reason;
};

// The bytes a song of `size` takes on a keyboard of `family`: families A and B send whole words, so an odd
// size takes its padding byte too.
std::uint64_t BytesTaken(const FamilyEntry& family, std::uint32_t size);

// Plans `songs` (name and converted size each) into the slots of `listing`. Raises PlanRefused for a request
// that names slots the keyboard does not have, or names more or fewer slots than there are songs.
SendPlan MakePlan(const FamilyEntry& family, const Listing& listing, const std::vector<PlannedSong>& songs,
                  const SlotRequest& request);

// How a front end follows a plan being sent.
class PlanProgress {
 public:
  virtual ~PlanProgress() = default;
  // Song `index` of the plan (the `ordinal`-th of `count` sent) starts; its blocks go to the transfer progress.
  virtual void SongBegins(std::size_t index, std::size_t ordinal, std::size_t count) = 0;
  // The keyboard acknowledged the last frame of song `index` (the reading after still has the last word).
  virtual void SongStored(std::size_t index) = 0;
  // The songs are over and the slots are read to see what each became: a stop asked for now should let this
  // short reading finish, since what it finds is what the user needs to know.
  virtual void ReadingAfter() {}
};

struct SongOutcome {
  SongFate fate = SongFate::NotBegun;
  std::exception_ptr failure;  // Failed, Unknown: why its send ended, or why the reading could not be made
  bool confirmed = false;      // Stored: the reading after shows it (false: as the keyboard acknowledged it)
  bool oldStill = false;       // Failed, Unknown: its slot still shows the very song it held before
  bool slotEmptied = false;    // its slot held a song before the plan and the reading after shows it empty
  bool filledSince = false;    // Declined: the slot took a song after the reading the plan was made from
  SlotRow found;               // its slot as the reading after shows it (empty when there was none)
};

// The reading after the plan shows a song that went out without a failure as something else: the keyboard
// did not keep what it acknowledged.
struct SongNotShown {
  std::size_t song;  // the plan's index
  SlotRow found;
};

// The reading after shows a song's slot as it was before, and the keyboard never said it took the song whole:
// whether the slot holds the new song or still the old one cannot be told.
struct SongUnconfirmed {
  std::size_t song;  // the plan's index
  SlotRow found;
};

struct PlanOutcome {
  std::vector<SongOutcome> songs;  // one per song of the plan, in the plan's order
  // The first failure, after which nothing more was sent: a raised message (the keyboard's own no-room answer
  // is its message 52 or 59), a stop, a failed reading after, SongNotShown or SongUnconfirmed. Null when
  // there was none.
  std::exception_ptr failure;
  bool readAfter = false;           // the slots were read after the plan
  Listing after;                    // that reading (empty when it could not be made)
  std::exception_ptr readingFailure;  // why that reading could not be made (null when it was, or was not tried)

  bool AllStored() const;
  // The plan's songs the reading after shows stored, in order.
  std::vector<std::size_t> Stored() const;
  bool Declined() const;
};

// What a plan does with a song that does not fit (or has no slot): the command line refuses the plan whole,
// so that a script never half-fills a keyboard by surprise; the page sends the songs that fit.
enum class UnfitSongs { RefuseWhole, SendWhatFits };

// The front end's answer to the plan's replace question, asked once before the plan (the command line's
// question, the page's dialog): Yes, or No. The plan asks it only for a song planned to replace its slot's
// song; a slot that took a song since the reading the plan was made from is never replaced. A keyboard's
// no-room answer becomes the plan's failure, so it never reaches the user here.
class AnsweredPrompts : public SendPrompts {
 public:
  explicit AnsweredPrompts(bool replace = true) : replace_(replace) {}
  bool ConfirmReplace() override { return replace_; }
  void NoRoom(int) override {}

 private:
  bool replace_;
};

// Sends the songs of `plan` that fit, one after another, over the ports already open to the keyboard found
// (of `modelType`), with `images[i]` the converted song of plan song i, each named as its family keeps it.
// With UnfitSongs::RefuseWhole a plan with a song that does not fit sends nothing (its failure is the
// family's no-room message). Stops at the first failure or refusal; reads the slots once at the end, and
// that reading decides what became of each song. The replace question is the front end's, asked once
// before: `prompts` answers it for each song; the family's no-room message becomes the plan's failure.
PlanOutcome SendPlanned(const FamilyEntry& family, std::int32_t modelType, const SendPlan& plan,
                        const std::vector<std::vector<std::uint8_t>>& images, TransferProgress& progress,
                        SendPrompts& prompts, PlanProgress& report, UnfitSongs unfit = UnfitSongs::SendWhatFits);

}  // namespace su
