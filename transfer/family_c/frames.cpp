// Builders of the family C messages the program sends.
#include "transfer/family_c/frames.h"

#include "midi/seven_bit.h"

namespace su::family_c {
namespace {

// F0 44 14 00 <command>; returns the position after the head.
std::size_t PutHead(std::uint8_t* out, std::uint8_t command) {
  out[0] = kSysExStart;
  out[1] = kMakerId;
  out[2] = kAddressHigh;
  out[3] = kAddressLow;
  out[kPosCommand] = command;
  return kPosParam;
}

}  // namespace

void PackU32(std::uint32_t value, std::uint8_t* out) {
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                                 static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
  PackSevenBit(out, bytes, 4);
}

std::uint32_t UnpackU32(const std::uint8_t* in) {
  std::uint8_t bytes[4];
  UnpackSevenBit(bytes, in, kPackedU32Size);
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
         std::uint32_t{bytes[3]};
}

std::uint8_t BlockChecksum(const std::uint8_t* data, std::uint32_t count) {
  std::uint32_t sum = 0;
  for (std::uint32_t i = 0; i < count; ++i) sum += data[i];
  return static_cast<std::uint8_t>((0u - sum) & 0x7Fu);
}

std::size_t BuildReadSlotInfo(std::uint8_t* out, std::uint8_t slot) {
  std::size_t at = PutHead(out, kCmdReadSlotInfo);
  out[at++] = slot;
  out[at++] = kSysExEnd;
  return at;
}

std::size_t BuildAnnounceSong(std::uint8_t* out, std::uint8_t slot, std::uint32_t size) {
  std::size_t at = PutHead(out, kCmdAnnounceSong);
  out[at++] = slot;
  PackU32(size, out + at);
  at += kPackedU32Size;
  out[at++] = kSysExEnd;
  return at;
}

std::size_t BuildDataBlock(std::uint8_t* out, const std::uint8_t* packed, std::uint32_t count) {
  std::size_t at = PutHead(out, kCmdDataBlock);
  for (std::uint32_t i = 0; i < count; ++i) out[at++] = packed[i];
  out[at++] = BlockChecksum(packed, count);
  out[at++] = kSysExEnd;
  return at;
}

std::size_t BuildCloseTransfer(std::uint8_t* out, std::uint32_t crc) {
  std::size_t at = PutHead(out, kCmdCloseTransfer);
  PackU32(crc, out + at);
  at += kPackedU32Size;
  out[at++] = kSysExEnd;
  return at;
}

std::size_t BuildDeleteSong(std::uint8_t* out, std::uint8_t slot) {
  std::size_t at = PutHead(out, kCmdDeleteSong);
  out[at++] = slot;
  out[at++] = kSysExEnd;
  return at;
}

std::size_t BuildReadFreeSpace(std::uint8_t* out) {
  std::size_t at = PutHead(out, kCmdReadFreeSpace);
  out[at++] = kSysExEnd;
  return at;
}

}  // namespace su::family_c
