// The number and data encodings of the family A and B protocols, where every data byte carries seven bits:
// 32-bit numbers as five septets (least significant first, the top four bits last), song data as 16-bit words
// in three bytes each, and the seven-bit additive checksum that closes a data block.
#pragma once

#include <cstddef>
#include <cstdint>

namespace su {

constexpr std::size_t kFiveSeptetsSize = 5;
constexpr std::size_t kWordTripletSize = 3;

// v & 7F, (v >> 7) & 7F, (v >> 14) & 7F, (v >> 21) & 7F, v >> 28 into out[0..4].
void PutFiveSeptets(std::uint32_t value, std::uint8_t* out);
// The number carried by in[0..4]; the high bit of each byte is ignored.
std::uint32_t GetFiveSeptets(const std::uint8_t* in);

// The big-endian word first << 8 | second as w & 7F, (w >> 7) & 7F, w >> 14 into out[0..2].
void PutWordTriplet(std::uint8_t first, std::uint8_t second, std::uint8_t* out);

// A data block's body: `count` image bytes (an odd count padded by a zero into a whole last word) as word
// triplets, followed by their seven-bit checksum. Returns the bytes written: 3 words + 1.
std::size_t PutBlockBody(const std::uint8_t* bytes, std::uint32_t count, std::uint8_t* out);

// The bytes a song of `size` takes when sent as whole words: an odd size takes its padding byte too. Wide, so
// that absurd sizes cannot wrap round.
inline std::uint64_t WholeWordsSize(std::uint32_t size) { return (std::uint64_t{size} + 1) & ~std::uint64_t{1}; }

// Four characters as a big-endian number: the first in bits 24..31, the fourth in bits 0..7.
std::uint32_t NamePieceNumber(const char* four);

// (0 - the sum of `count` bytes) & 7F: with it, the bytes and the checksum sum to a multiple of 128.
std::uint8_t SevenBitChecksum(const std::uint8_t* bytes, std::size_t count);

}  // namespace su
