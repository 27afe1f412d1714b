// The slot records of a family A or B keyboard as a front end lists them: one entry per song slot and the
// totals of the last reading.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "transfer/progress.h"

namespace su {

constexpr std::uint32_t kSlotEntryNameSize = 32;  // 31 characters and the terminating zero

struct SlotEntry {
  std::int32_t used = 0;   // nonzero when the slot holds a song
  std::uint32_t size = 0;  // bytes; 0 for an empty slot
  char name[kSlotEntryNameSize] = {};  // the name as shown: read from the keyboard, "(Untitled)", or empty
};

struct SlotSession {
  std::uint16_t modelAddress = 0;
  std::int32_t slotCount = 0;
  std::vector<std::string> slotLabels;  // one per slot, shown in the list's first column
  std::vector<SlotEntry> slots;         // slotCount entries
  std::uint32_t totalSize = 0;          // bytes: the sum of the slots' sizes at the last reading
  std::uint32_t freeSize = 0;           // bytes: the keyboard's free memory at the last reading
  std::uint32_t maxSongSize = 0;        // bytes: the largest song the keyboard takes (family B)
  std::string songName;                 // the staged song's base name, written as the slot's name
};

// Ten slots (or `count`) cleared, labelled with consecutive numbers from `firstLabel`, at `modelAddress`.
void SetUpSlots(SlotSession& session, std::uint16_t modelAddress, int count, int firstLabel);

// Reads every slot's used flag, size and name with `readSlotInfo` (a family's slot read), one progress step
// each, and sums the sizes into totalSize. The family then reads its memory figures.
void ReadSlotEntries(SlotSession& session, TransferProgress& progress,
                     int (*readSlotInfo)(std::uint16_t modelAddress, std::uint8_t slot, std::uint32_t* size,
                                         char* name));

}  // namespace su
