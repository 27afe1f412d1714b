// The family C rules that the transfer dialog and the command line share: the slot table, reading it, the
// replace question and room refusal of a send, and the delete exchange.
#pragma once

#include <cstdint>

#include "transfer/family_c/protocol.h"
#include "transfer/family_c/slot_layout.h"
#include "transfer/progress.h"
#include "transfer/send_prompts.h"

namespace su {

// One slot as the last reading found it.
struct SlotRecordC {
  std::int32_t inUse = 0;    // the slot's status byte; nonzero when it holds a song
  std::uint32_t size = 0;    // bytes; 0 for an empty slot
  char name[kSlotNameSize] = {};  // the song's name, the in-use marker for a nameless song, empty otherwise
};

// The slot records of every slot and the totals of the last reading.
struct SlotTableC {
  SlotRecordC slots[kMaxSlotsC];
  std::uint32_t totalSize = 0;  // bytes: the sum of the slots' sizes
  std::uint32_t freeSize = 0;   // bytes: the keyboard's free memory
};

// Reads every slot of `layout` and the free memory into `table`: one step per slot on a range of 10 (whatever
// the slot count) after status 47, then cleared. Raises what the keyboard exchanges raise.
void ReadSlotTableC(const SlotLayout& layout, SlotTableC& table, TransferProgress& progress);
// Sends `image` into `slot`: message 39 when the slot holds a song, the announce, then the blocks; message
// 52 when the keyboard refuses the announce for lack of memory.
SendOutcome SendSongToSlotC(std::uint8_t slot, const std::uint8_t* image, std::uint32_t size,
                            TransferProgress& progress, SendPrompts& prompts);
// The delete exchange: returns once the keyboard acknowledged it. Raises the keyboard's error code when it
// refuses, message 38 when the message is not delivered or no answer comes.
void DeleteSongInSlotC(std::uint8_t slot);

}  // namespace su
