// Family A message layouts: every frame of the protocol, both directions, as named positions and one builder
// per frame the program sends, so each builder reads like the table of its frame.
//
//   0   F0          5   action        10, 11  00 00 (block number / closing mark elsewhere)
//   1   44          6   area          12 ..   value field
//   2,3 address     7   parameter     last    F7
//   4   7F          8   fixed value per parameter
//                   9   slot (area 10) or 00
#pragma once

#include <cstddef>
#include <cstdint>

namespace su::family_a {

// Model addresses: model type 21 and model type 22.
constexpr std::uint16_t kAddressType21 = 0x1103;
constexpr std::uint16_t kAddressType22 = 0x1102;

constexpr std::size_t kPosAction = 5;
constexpr std::size_t kPosArea = 6;
constexpr std::size_t kPosParam = 7;
constexpr std::size_t kPosFixed = 8;
constexpr std::size_t kPosSlot = 9;
constexpr std::size_t kPosBlockLow = 11;   // data blocks: block number, low seven bits
constexpr std::size_t kPosBlockHigh = 12;  // data blocks: block number, next seven bits
constexpr std::size_t kPosWordCount = 13;  // data blocks
constexpr std::size_t kPosBlockCode = 11;  // answers to a data block: the code in the low four bits
constexpr std::size_t kPosValue = 12;      // writes and answers to reads

// Actions sent; answers carry kAnswerRead or kAnswerBlock in the same place.
constexpr std::uint8_t kActWrite = 0x00;
constexpr std::uint8_t kActRead = 0x01;
constexpr std::uint8_t kActBlock = 0x04;
constexpr std::uint8_t kActClose = 0x07;
constexpr std::uint8_t kAnswerRead = 0x00;
constexpr std::uint8_t kAnswerBlock = 0x07;

constexpr std::uint8_t kAreaKeyboard = 0x00;
constexpr std::uint8_t kAreaSlot = 0x10;

// Keyboard-wide parameters, each with the fixed value its frames carry at byte 8.
constexpr std::uint8_t kParamModel = 0x00, kFixedModel = 0x0D;
constexpr std::uint8_t kParamReady = 0x20, kFixedReady = 0x06;
constexpr std::uint8_t kParamFreeSpace = 0x22, kFixedFreeSpace = 0x1F;
constexpr std::uint8_t kParamDelete = 0x27, kFixedDelete = 0x0F;
// Slot parameters.
constexpr std::uint8_t kParamUsed = 0x00, kFixedUsed = 0x00;
constexpr std::uint8_t kParamSize = 0x03, kFixedSlotValue = 0x1F;
constexpr std::uint8_t kParamNameFirst = 0x04;  // name pieces 04, 05 and (12-character names) 06
constexpr std::uint8_t kFixedBlock = 0x4F;

// Value bytes of answers.
constexpr std::uint8_t kNotReady = 0x01;
constexpr std::uint8_t kSlotUsed = 0x01;
constexpr std::uint8_t kBlockStop = 2;
constexpr std::uint8_t kBlockStartOver = 3;
constexpr std::uint8_t kClosingMark = 0x05;

// Frame lengths.
constexpr std::size_t kReadLength = 13;
constexpr std::size_t kPrepareWriteLength = 14;
constexpr std::size_t kDeleteLength = 16;
constexpr std::size_t kNameWriteLength = 18;
constexpr std::size_t kClosingLength = 13;
constexpr std::uint32_t kBlockBytes = 128;  // image bytes per data block (64 words)
constexpr std::size_t kBlockOverhead = 16;  // head (14), checksum, F7
constexpr std::size_t kBlockFrameMax = kBlockOverhead + 3 * (kBlockBytes / 2);  // 208

// Shortest answers that hold what is read from them, F7 included: one value byte, the two bytes of a model
// value, a five-septet number, a block answer's code.
constexpr std::uint32_t kAnswerByteMin = kPosValue + 2;
constexpr std::uint32_t kAnswerModelMin = kPosValue + 3;
constexpr std::uint32_t kAnswerNumberMin = kPosValue + 6;
constexpr std::uint32_t kAnswerBlockMin = kPosBlockCode + 2;

// Name fields: 12 characters in three pieces on model type 21, 8 in two on model type 22.
int NamePieces(std::uint16_t address);

// Builders. Each writes the complete frame into `out` (which holds at least the frame's length) and returns
// that length.
std::size_t BuildRead(std::uint8_t* out, std::uint16_t address, std::uint8_t area, std::uint8_t param,
                      std::uint8_t fixed, std::uint8_t slot);
std::size_t BuildPrepareWrite(std::uint8_t* out, std::uint16_t address);
std::size_t BuildDelete(std::uint8_t* out, std::uint16_t address, std::uint8_t slot);
std::size_t BuildNameWrite(std::uint8_t* out, std::uint16_t address, std::uint8_t slot, std::uint8_t piece,
                           std::uint32_t value);
// Block `block` of `count` image bytes (at most kBlockBytes); an odd count is padded by a zero into a whole word.
std::size_t BuildDataBlock(std::uint8_t* out, std::uint16_t address, std::uint8_t slot, std::uint32_t block,
                           const std::uint8_t* bytes, std::uint32_t count);
std::size_t BuildClosing(std::uint8_t* out, std::uint16_t address, std::uint8_t slot, std::uint8_t mark);

// True when `bytes` is a frame of `address` whose action, area and parameter bytes are the given ones and
// which is at least `minLength` long. Bytes 4 and 9 are not looked at, so an answer for another slot counts.
bool IsAnswer(const std::uint8_t* bytes, std::uint32_t length, std::uint16_t address, std::uint8_t action,
              std::uint8_t area, std::uint8_t param, std::uint32_t minLength);

}  // namespace su::family_a
