#include "transfer/family_a/frames.h"

#include "transfer/septet_encodings.h"

namespace su::family_a {

namespace {

constexpr std::uint8_t kSysExStart = 0xF0;
constexpr std::uint8_t kMakerId = 0x44;
constexpr std::uint8_t kSentMark = 0x7F;
constexpr std::uint8_t kSysExEnd = 0xF7;

// Bytes 0..11 of every frame sent: F0 44 hi lo 7F action area param fixed slot 00 00.
void PutHead(std::uint8_t* out, std::uint16_t address, std::uint8_t action, std::uint8_t area, std::uint8_t param,
             std::uint8_t fixed, std::uint8_t slot) {
  out[0] = kSysExStart;
  out[1] = kMakerId;
  out[2] = static_cast<std::uint8_t>(address >> 8);
  out[3] = static_cast<std::uint8_t>(address & 0xFF);
  out[4] = kSentMark;
  out[kPosAction] = action;
  out[kPosArea] = area;
  out[kPosParam] = param;
  out[kPosFixed] = fixed;
  out[kPosSlot] = slot;
  out[10] = 0x00;
  out[11] = 0x00;
}

}  // namespace

int NamePieces(std::uint16_t address) { return address == kAddressType21 ? 3 : 2; }

std::size_t BuildRead(std::uint8_t* out, std::uint16_t address, std::uint8_t area, std::uint8_t param,
                      std::uint8_t fixed, std::uint8_t slot) {
  PutHead(out, address, kActRead, area, param, fixed, slot);
  out[12] = kSysExEnd;
  return kReadLength;
}

std::size_t BuildPrepareWrite(std::uint8_t* out, std::uint16_t address) {
  PutHead(out, address, kActWrite, kAreaKeyboard, kParamReady, kFixedReady, 0x00);
  out[12] = 0x00;
  out[13] = kSysExEnd;
  return kPrepareWriteLength;
}

std::size_t BuildDelete(std::uint8_t* out, std::uint16_t address, std::uint8_t slot) {
  PutHead(out, address, kActWrite, kAreaKeyboard, kParamDelete, kFixedDelete, 0x00);
  out[12] = slot;
  out[13] = 0x00;
  out[14] = 0x00;
  out[15] = kSysExEnd;
  return kDeleteLength;
}

std::size_t BuildNameWrite(std::uint8_t* out, std::uint16_t address, std::uint8_t slot, std::uint8_t piece,
                           std::uint32_t value) {
  PutHead(out, address, kActWrite, kAreaSlot, piece, kFixedSlotValue, slot);
  PutFiveSeptets(value, out + kPosValue);
  out[17] = kSysExEnd;
  return kNameWriteLength;
}

std::size_t BuildDataBlock(std::uint8_t* out, std::uint16_t address, std::uint8_t slot, std::uint32_t block,
                           const std::uint8_t* bytes, std::uint32_t count) {
  if (count > kBlockBytes) count = kBlockBytes;
  const std::uint32_t words = (count + 1) / 2;
  PutHead(out, address, kActBlock, kAreaSlot, 0x00, kFixedBlock, slot);
  out[kPosBlockLow] = static_cast<std::uint8_t>(block & 0x7F);
  out[kPosBlockHigh] = static_cast<std::uint8_t>((block >> 7) & 0x7F);
  out[kPosWordCount] = static_cast<std::uint8_t>(words & 0x7F);
  std::uint8_t* body = out + kPosWordCount + 1;
  const std::size_t bodyLength = PutBlockBody(bytes, count, body);
  body[bodyLength] = kSysExEnd;
  return kPosWordCount + 1 + bodyLength + 1;
}

std::size_t BuildClosing(std::uint8_t* out, std::uint16_t address, std::uint8_t slot, std::uint8_t mark) {
  PutHead(out, address, kActClose, kAreaSlot, 0x00, 0x00, slot);
  out[11] = mark;
  out[12] = kSysExEnd;
  return kClosingLength;
}

bool IsAnswer(const std::uint8_t* bytes, std::uint32_t length, std::uint16_t address, std::uint8_t action,
              std::uint8_t area, std::uint8_t param, std::uint32_t minLength) {
  if (bytes == nullptr || length == 0 || length < minLength) return false;
  if (bytes[0] != kSysExStart || bytes[length - 1] != kSysExEnd) return false;
  if (bytes[1] != kMakerId || bytes[2] != static_cast<std::uint8_t>(address >> 8) ||
      bytes[3] != static_cast<std::uint8_t>(address & 0xFF))
    return false;
  return bytes[kPosAction] == action && bytes[kPosArea] == area && bytes[kPosParam] == param;
}

}  // namespace su::family_a
