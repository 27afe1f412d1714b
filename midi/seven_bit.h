// The family C data encodings: eight-bit data packed into seven-bit bytes and back, and the CRC-32.
#pragma once

#include <cstdint>

namespace su {

// Packed length of `count` eight-bit bytes: 8 per 7, plus remainder + 1.
constexpr std::uint32_t PackedLength(std::uint32_t count) {
  return 8 * (count / 7) + (count % 7 != 0 ? count % 7 + 1 : 0);
}

// Returns the number of bytes written to `destination`, which must hold PackedLength(count) bytes.
std::uint32_t PackSevenBit(std::uint8_t* destination, const std::uint8_t* source, std::uint32_t count);
// Returns the number of bytes written: 7 per 8, plus remainder - 1 when the remainder is at least 2.
std::uint32_t UnpackSevenBit(std::uint8_t* destination, const std::uint8_t* source, std::uint32_t count);
// The standard CRC-32 (reflected polynomial 0xEDB88320); 0 for an empty range.
std::uint32_t Crc32(const std::uint8_t* data, std::uint32_t count);

}  // namespace su
