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
  virtual void SongStored(std::size_t index) = 0;
};

struct PlanOutcome {
  std::vector<std::size_t> stored;  // the plan's songs the keyboard took, in order
  std::exception_ptr failure;       // the first failure, after which nothing more was sent; null when none
  bool declined = false;            // a song was not sent because the user declined (nothing after it either)
  bool noRoom = false;              // the keyboard found no room for a song after all (its prompt told so)
  Listing after;                    // the slots as read once at the end (empty when the reading failed)
};

// Sends every song of `plan` that fits, one after another, over the ports already open to the keyboard found
// (of `modelType`), with `images[i]` the converted song of plan song i, each named as its family keeps it.
// Stops at the first failure or refusal; reads the slots once at the end. The replace question is the front
// end's, asked once before: `prompts` answers it for each song.
PlanOutcome SendPlanned(const FamilyEntry& family, std::int32_t modelType, const SendPlan& plan,
                        const std::vector<std::vector<std::uint8_t>>& images, TransferProgress& progress,
                        SendPrompts& prompts, PlanProgress& report);

}  // namespace su
