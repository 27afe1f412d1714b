// The family B rules that the transfer dialog and the command line share: the session, reading the slot
// table (with the free-memory read that waits for the keyboard), the largest-song check and replace rule of
// a send, and deleting a slot's song.
#pragma once

#include <cstdint>

#include "transfer/progress.h"
#include "transfer/send_prompts.h"
#include "transfer/slot_session.h"

namespace su {

// The converter's model code of a family B model type (25, 26 or 27).
const char* ModelCodeB(std::int32_t modelType);
// Ten slots labelled "61" to "70", all cleared, at the family B model address.
void SetUpSessionB(SlotSession& session);
// Reads every slot, waits for the keyboard with the free-memory read, and reads the largest song it takes:
// one step per slot after status 47, then cleared.
void ReadSlotTableB(SlotSession& session, TransferProgress& progress);
// Sends `image` into `slot`: message 59 when the song (with an odd size's padding byte) is larger than the
// keyboard takes, message 39 when the slot holds a song (sent over it, nothing deleted first), then the blocks.
SendOutcome SendSongToSlotB(const SlotSession& session, std::uint8_t slot, const std::uint8_t* image,
                            std::uint32_t size, TransferProgress& progress, SendPrompts& prompts);
// Asks the keyboard to delete the slot's song and waits until it has finished.
void DeleteSongInSlotB(const SlotSession& session, std::uint8_t slot);

}  // namespace su
