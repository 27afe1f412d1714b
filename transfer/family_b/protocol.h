// The keyboard side of a family B transfer: the model read of the probe, the slot and memory reads (free
// memory with its long wait), deleting a slot and sending the song image. Every operation first drops the
// input that is already waiting. Failures are raised as message numbers, except where an operation says it
// returns them.
#pragma once

#include <cstdint>

#include "transfer/progress.h"

namespace su {

// Room for the twelve name bytes and the terminating zero.
constexpr std::uint32_t kSlotNameSizeB = 13;

// The keyboard's model byte, or 0xFF when the read cannot be sent or is not answered; never raises.
std::uint8_t ReadModelB(std::uint16_t modelAddress);
// 1 when the slot holds a song (its size is not 0); fills `size` and `name` (kSlotNameSizeB bytes) where
// given. A slot whose size read cannot be sent counts as empty, unless the device is gone. Raises 38 when an
// answer does not come.
int ReadSlotInfoB(std::uint16_t modelAddress, std::uint8_t slot, std::uint32_t* size, char* name);
// The keyboard's free memory in bytes, waited for up to about 75 seconds (not at all once the device is
// gone). Raises 38.
std::uint32_t ReadFreeSpaceB(std::uint16_t modelAddress);
// The largest song the keyboard accepts, in bytes. Raises 38.
std::uint32_t ReadMaxSongSizeB(std::uint16_t modelAddress);
// Asks the keyboard to delete the slot's song; awaits no answer. The send's result.
int DeleteSlotB(std::uint16_t modelAddress, std::uint8_t slot);
// Sends the image in blocks of 128 bytes, each answered by the keyboard (a silent one gets a second chance
// after a pause), then the two closing frames. Raises 38 when a block or a closing frame cannot be sent or
// a block is not answered, and 55 when the keyboard stops the transmission.
void SendSongImageB(std::uint16_t modelAddress, std::uint8_t slot, TransferProgress& progress,
                    const std::uint8_t* image, std::uint32_t size);

}  // namespace su
