#include "transfer/family_b/frames.h"

#include <cstring>

#include "transfer/septet_encodings.h"

namespace su::family_b {

namespace {

constexpr std::uint8_t kSysExStart = 0xF0;
constexpr std::uint8_t kMakerId = 0x44;
constexpr std::uint8_t kSentMark = 0x7F;
constexpr std::uint8_t kSysExEnd = 0xF7;

// F0 44 15 01 7F action area 00 slot, the first nine bytes of every frame sent.
void PutHead(std::uint8_t* out, std::uint8_t action, std::uint8_t area, std::uint8_t slot) {
  out[0] = kSysExStart;
  out[1] = kMakerId;
  out[2] = static_cast<std::uint8_t>(kAddress >> 8);
  out[3] = static_cast<std::uint8_t>(kAddress & 0xFF);
  out[4] = kSentMark;
  out[kPosAction] = action;
  out[kPosArea] = area;
  out[7] = 0x00;
  out[kPosSlot] = slot;
}

bool IsOurs(const std::uint8_t* bytes, std::uint32_t length) {
  return bytes != nullptr && length >= 6 && bytes[0] == kSysExStart && bytes[length - 1] == kSysExEnd &&
         bytes[1] == kMakerId && bytes[2] == static_cast<std::uint8_t>(kAddress >> 8) &&
         bytes[3] == static_cast<std::uint8_t>(kAddress & 0xFF);
}

}  // namespace

std::size_t BuildRead(std::uint8_t* out, std::uint8_t area, std::uint8_t param, std::uint8_t slot,
                      std::uint8_t nameMark) {
  std::memset(out, 0, kReadLength);
  PutHead(out, kActRead, area, slot);
  out[kPosParam] = param;
  out[kPosNameMark] = nameMark;
  out[17] = kSysExEnd;
  return kReadLength;
}

std::size_t BuildDelete(std::uint8_t* out, std::uint8_t slot) {
  std::memset(out, 0, kDeleteLength);
  PutHead(out, kActWrite, kAreaKeyboard, 0x00);
  out[kPosParam] = kParamDelete;
  out[kPosValue] = slot;
  out[18] = kSysExEnd;
  return kDeleteLength;
}

std::size_t BuildDataBlock(std::uint8_t* out, std::uint8_t slot, std::uint32_t block, const std::uint8_t* bytes,
                           std::uint32_t count) {
  if (count > kBlockBytes) count = kBlockBytes;
  if (count == 0) count = 1;  // never a block without a word: its word count would be FF
  const std::uint32_t words = (count + 1) / 2;
  PutHead(out, kActBlock, kAreaSlot, slot);
  out[9] = 0x00;
  out[kPosBlockNumber] = static_cast<std::uint8_t>(block & 0x7F);
  out[kPosBlockNumber + 1] = static_cast<std::uint8_t>((block >> 7) & 0x7F);
  out[kPosBlockNumber + 2] = static_cast<std::uint8_t>((block >> 14) & 0x7F);
  out[kPosWordCount] = static_cast<std::uint8_t>((words & 0x7F) - 1);
  std::uint8_t* body = out + kPosWordCount + 1;
  const std::size_t bodyLength = PutBlockBody(bytes, count, body);
  body[bodyLength] = kSysExEnd;
  return kPosWordCount + 1 + bodyLength + 1;
}

std::size_t BuildClosing(std::uint8_t* out, std::uint8_t action, std::uint8_t slot) {
  PutHead(out, action, kAreaSlot, slot);
  out[9] = 0x00;
  out[10] = kSysExEnd;
  return kClosingLength;
}

bool IsReadAnswer(const std::uint8_t* bytes, std::uint32_t length, std::uint8_t area, std::uint8_t param,
                  std::uint32_t minLength) {
  if (length < minLength || length <= 14 || !IsOurs(bytes, length)) return false;
  return bytes[kPosAction] == kAnswerRead && bytes[kPosArea] == area && bytes[kPosParam] == param &&
         bytes[14] == 0x00;
}

bool IsBlockAnswer(const std::uint8_t* bytes, std::uint32_t length) {
  return length >= kAnswerBlockMin && IsOurs(bytes, length);
}

}  // namespace su::family_b
