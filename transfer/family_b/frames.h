// Family B message layouts: every frame of the protocol, both directions, as named positions and one builder
// per frame the program sends, so each builder reads like the table of its frame.
//
//   0   F0          5   action          9..12  00 00 00 00 (block number and word count in data blocks)
//   1   44          6   area            13     parameter
//   2,3 15 01       7   00              14, 15 00 00
//   4   7F          8   slot or 00      16     00 (0B in the read of a slot name)
//                                        17 ..  value field; last F7
#pragma once

#include <cstddef>
#include <cstdint>

namespace su::family_b {

constexpr std::uint16_t kAddress = 0x1501;  // the same for model types 25, 26 and 27

constexpr std::size_t kPosAction = 5;
constexpr std::size_t kPosArea = 6;
constexpr std::size_t kPosSlot = 8;
constexpr std::size_t kPosBlockNumber = 10;  // data blocks: three seven-bit bytes, low first
constexpr std::size_t kPosWordCount = 13;    // data blocks: words less one
constexpr std::size_t kPosParam = 13;
constexpr std::size_t kPosNameMark = 16;
constexpr std::size_t kPosValue = 17;

// Actions sent; answers to reads carry kAnswerRead in the same place.
constexpr std::uint8_t kActRead = 0x01;
constexpr std::uint8_t kActWrite = 0x02;
constexpr std::uint8_t kActBlock = 0x06;
constexpr std::uint8_t kActClosingFirst = 0x0D;
constexpr std::uint8_t kActClosingSecond = 0x0E;
constexpr std::uint8_t kAnswerRead = 0x02;

constexpr std::uint8_t kAreaKeyboard = 0x00;
constexpr std::uint8_t kAreaSlot = 0x21;

constexpr std::uint8_t kParamModel = 0x00;
constexpr std::uint8_t kParamFreeSpace = 0x22;
constexpr std::uint8_t kParamMaxSongSize = 0x23;
constexpr std::uint8_t kParamDelete = 0x25;
constexpr std::uint8_t kParamSlotName = 0x00;
constexpr std::uint8_t kParamSlotSize = 0x02;
constexpr std::uint8_t kNameMark = 0x0B;

constexpr std::size_t kNameLength = 12;

// Frame lengths.
constexpr std::size_t kReadLength = 18;
constexpr std::size_t kDeleteLength = 19;
constexpr std::size_t kClosingLength = 11;
constexpr std::uint32_t kBlockBytes = 128;  // image bytes per data block (64 words)
constexpr std::size_t kBlockOverhead = 16;  // head (14), checksum, F7
constexpr std::size_t kBlockFrameMax = kBlockOverhead + 3 * (kBlockBytes / 2);  // 208

// Shortest answers that hold what is read from them, F7 included: the model byte, a five-septet number, the
// twelve name bytes, a block answer's code.
constexpr std::uint32_t kAnswerModelMin = kPosValue + 2;
constexpr std::uint32_t kAnswerNumberMin = kPosValue + 6;
constexpr std::uint32_t kAnswerNameMin = kPosValue + kNameLength + 1;
constexpr std::uint32_t kAnswerBlockMin = kPosAction + 2;

// Builders. Each writes the complete frame into `out` (which holds at least the frame's length) and returns
// that length.
std::size_t BuildRead(std::uint8_t* out, std::uint8_t area, std::uint8_t param, std::uint8_t slot,
                      std::uint8_t nameMark = 0x00);
std::size_t BuildDelete(std::uint8_t* out, std::uint8_t slot);
// Block `block` of `count` image bytes (1 to kBlockBytes); an odd count is padded by a zero into a whole
// word, so a block always carries at least one word.
std::size_t BuildDataBlock(std::uint8_t* out, std::uint8_t slot, std::uint32_t block, const std::uint8_t* bytes,
                           std::uint32_t count);
std::size_t BuildClosing(std::uint8_t* out, std::uint8_t action, std::uint8_t slot);

// True when `bytes` answers a read of `area` and `param`: F0 44 15 01 ... F7, action 02, byte 14 zero, and at
// least `minLength` long. The slot byte is not looked at, so an answer for another slot counts.
bool IsReadAnswer(const std::uint8_t* bytes, std::uint32_t length, std::uint8_t area, std::uint8_t param,
                  std::uint32_t minLength);
// True when `bytes` is any frame of this keyboard long enough to carry a block answer's code in byte 5.
bool IsBlockAnswer(const std::uint8_t* bytes, std::uint32_t length);

}  // namespace su::family_b
