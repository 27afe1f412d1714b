// Family C message layouts: the positions of every field as named constants and one builder per message
// the program sends, so each builder reads like the table of its frame.
#pragma once

#include <cstddef>
#include <cstdint>

namespace su::family_c {

// Frame head shared by both directions: F0 44, the model address 0x1400, then the command or answer code.
constexpr std::uint8_t kSysExStart = 0xF0;
constexpr std::uint8_t kMakerId = 0x44;
constexpr std::uint8_t kAddressHigh = 0x14;
constexpr std::uint8_t kAddressLow = 0x00;
constexpr std::uint8_t kSysExEnd = 0xF7;

constexpr std::size_t kPosCommand = 4;  // command towards the keyboard, answer code from it
constexpr std::size_t kPosParam = 5;    // first parameter byte: slot number, status, error code, data

// Commands to the keyboard.
constexpr std::uint8_t kCmdReadSlotInfo = 0x01;
constexpr std::uint8_t kCmdAnnounceSong = 0x03;
constexpr std::uint8_t kCmdDataBlock = 0x04;
constexpr std::uint8_t kCmdCloseTransfer = 0x05;
constexpr std::uint8_t kCmdDeleteSong = 0x09;
constexpr std::uint8_t kCmdReadFreeSpace = 0x0A;

// Answer codes from the keyboard; a refusal carries its error code at kPosParam.
constexpr std::uint8_t kAnswerAck = 0x06;
constexpr std::uint8_t kAnswerRefused = 0x07;

// Error codes in a refusal.
constexpr std::uint8_t kErrNotReady = 0;
constexpr std::uint8_t kErrLowVoltage = 1;
constexpr std::uint8_t kErrNoMemory = 4;
constexpr std::uint8_t kErrStopped = 6;
constexpr std::uint8_t kErrResendFirst = 7;  // 7, 8 and 9 ask for the data block again
constexpr std::uint8_t kErrResendLast = 9;

// A 32-bit number travels as its 4 bytes, most significant first, packed into 5.
constexpr std::size_t kPackedU32Size = 5;

// Data blocks: at most 144 packed bytes (126 song bytes, 18 whole packing groups) each.
constexpr std::uint32_t kBlockDataMax = 144;
constexpr std::size_t kBlockOverhead = 7;  // head (5), checksum, F7
constexpr std::size_t kBlockMessageMax = kBlockDataMax + kBlockOverhead;
constexpr std::size_t kBlockBufferSize = 161;  // the one reused block buffer

// Message lengths.
constexpr std::size_t kReadSlotInfoLength = 7;
constexpr std::size_t kAnnounceSongLength = 12;
constexpr std::size_t kCloseTransferLength = 11;
constexpr std::size_t kDeleteSongLength = 7;
constexpr std::size_t kReadFreeSpaceLength = 6;

// Shortest acknowledgements that hold what the reads take from them.
constexpr std::uint32_t kSlotInfoAckMin = 12;  // head, status, packed size, F7
constexpr std::uint32_t kFreeSpaceAckMin = 11;  // head, packed value, F7
constexpr std::size_t kPosSlotStatus = 5;
constexpr std::size_t kPosSlotSize = 6;
constexpr std::size_t kPosSlotName = 11;
constexpr std::size_t kPosFreeSpace = 5;

// Packs `value` most significant byte first into 5 seven-bit bytes at `out`.
void PackU32(std::uint32_t value, std::uint8_t* out);
// Reads 5 packed bytes at `in` back into the value, most significant byte first.
std::uint32_t UnpackU32(const std::uint8_t* in);

// The checksum of a data block: minus the sum of its packed bytes, low seven bits.
std::uint8_t BlockChecksum(const std::uint8_t* data, std::uint32_t count);

// Builders. Each writes the complete frame into `out` (which holds at least the frame's length) and
// returns that length.
std::size_t BuildReadSlotInfo(std::uint8_t* out, std::uint8_t slot);
std::size_t BuildAnnounceSong(std::uint8_t* out, std::uint8_t slot, std::uint32_t size);
std::size_t BuildDataBlock(std::uint8_t* out, const std::uint8_t* packed, std::uint32_t count);
std::size_t BuildCloseTransfer(std::uint8_t* out, std::uint32_t crc);
std::size_t BuildDeleteSong(std::uint8_t* out, std::uint8_t slot);
std::size_t BuildReadFreeSpace(std::uint8_t* out);

}  // namespace su::family_c
