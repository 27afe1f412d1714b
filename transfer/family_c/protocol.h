// The keyboard side of a family C transfer: slot and memory reads, announcing a song, and the block
// transfer of the song image closed by its CRC-32. Every operation returns only on success and raises
// every failure (a message number or the keyboard's error code).
#pragma once

#include <cstdint>

#include "transfer/progress.h"

namespace su {

constexpr std::uint32_t kSlotNameSize = 32;  // 31 characters and the terminating zero

// The slot's status byte; fills `size` and `name` (kSlotNameSize bytes) where they are given.
int ReadSlotInfo(std::uint8_t slot, std::uint32_t* size, char* name);
// The keyboard's free memory in bytes.
std::uint32_t ReadFreeSpace();
// 1 when the keyboard accepts the song; -1 when it refuses for lack of memory.
int AnnounceSong(std::uint8_t slot, std::uint32_t size);
// Sends the image in checksummed blocks, one progress step each, then the closing CRC-32 while the checking
// wait is offered. Returns once the keyboard acknowledged the closing message.
void SendSongImage(TransferProgress& progress, const std::uint8_t* image, std::uint32_t size);

}  // namespace su
