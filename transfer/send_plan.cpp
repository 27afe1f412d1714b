#include "transfer/send_plan.h"

#include <algorithm>

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

PlanOutcome SendPlanned(const FamilyEntry& family, std::int32_t modelType, const SendPlan& plan,
                        const std::vector<std::vector<std::uint8_t>>& images, TransferProgress& progress,
                        SendPrompts& prompts, PlanProgress& report) {
  PlanOutcome outcome;
  const auto count = static_cast<std::size_t>(
      std::count_if(plan.songs.begin(), plan.songs.end(), [](const PlannedSong& song) { return song.fits; }));
  std::size_t ordinal = 0;
  try {
    for (std::size_t i = 0; i < plan.songs.size() && i < images.size(); ++i) {
      const PlannedSong& song = plan.songs[i];
      if (!song.fits) continue;
      report.SongBegins(i, ++ordinal, count);
      const KeyboardSlots slots = family.slotsOf(modelType, song.name);
      const SendOutcome sent = family.send(slots, song.slot, images[i].data(),
                                           static_cast<std::uint32_t>(images[i].size()), progress, prompts);
      if (sent != SendOutcome::Sent) {
        // A declined replace or a keyboard that found no room after all: nothing more is sent.
        outcome.declined = sent == SendOutcome::Declined;
        outcome.noRoom = sent == SendOutcome::NoRoom;
        break;
      }
      outcome.stored.push_back(i);
      report.SongStored(i);
    }
  } catch (...) {
    outcome.failure = std::current_exception();
  }
  try {
    family.read(family.slotsOf(modelType, ""), outcome.after, progress);
  } catch (...) {
    outcome.after = Listing{};
    if (!outcome.failure) outcome.failure = std::current_exception();
  }
  return outcome;
}

}  // namespace su
