// The keyboard side of a family A transfer: the opening request, the model check of the probe, the slot and
// memory reads, deleting a slot, sending the song image and writing its name. Every operation first drops
// the input that is already waiting. Failures are raised as message numbers, except where an operation says
// it returns them.
#pragma once

#include <cstdint>

#include "transfer/progress.h"

namespace su {

// Room for the longest name (12 characters) and its terminating zero.
constexpr std::uint32_t kSlotNameSizeA = 13;

// 1 when the keyboard is ready. Raises 38 when it does not answer and 35 when it is not ready; with `quiet`
// returns 0 instead. Model type 22 gets only the opening write and is taken as ready.
int PrepareKeyboardA(std::uint16_t modelAddress, bool quiet);
// True when the keyboard answers the model read with `expected` in the low eight bits; never raises.
bool MatchModelA(std::uint16_t modelAddress, std::uint8_t expected);
// 1 when the slot holds a song; fills `size` and `name` (kSlotNameSizeA bytes) where given. A slot whose
// read cannot be sent counts as empty, unless the device is gone. Raises 38 when an answer does not come.
int ReadSlotInfoA(std::uint16_t modelAddress, std::uint8_t slot, std::uint32_t* size, char* name);
// The keyboard's free memory in bytes. Raises 38.
std::uint32_t ReadFreeSpaceA(std::uint16_t modelAddress);
// Asks the keyboard to delete the slot's song; awaits no answer. The send's result.
int DeleteSlotA(std::uint16_t modelAddress, std::uint8_t slot);
// Sends the image in blocks of 128 bytes, each answered by the keyboard, then the two closing frames. A block
// answered with code 3 starts the whole image over: as often as each ask comes at a later block than every
// earlier one, and a few times at most without that progress. Raises 38 when a block or a closing frame
// cannot be sent or a block is not answered, and 55 when the keyboard stops the transmission.
void SendSongImageA(std::uint16_t modelAddress, std::uint8_t slot, TransferProgress& progress,
                    const std::uint8_t* image, std::uint32_t size);
// Writes the first `length` bytes of `text` into the slot's name field, padded with spaces; awaits nothing.
void WriteSongNameA(std::uint16_t modelAddress, std::uint8_t slot, const char* text, int length);

}  // namespace su
