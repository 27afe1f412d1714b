// Seven-bit packing and CRC-32 for the family C block transfer.
//
// Packing reads the source as one bit stream (most significant bit of each byte first) and cuts it into
// seven-bit pieces, so 7 source bytes become 8 packed bytes. Both directions work a whole group at a time
// with fixed shifts; a final partial group goes through the same shifts with the missing bytes taken as
// zero and only the bytes that carry data are written.
#include "midi/seven_bit.h"

#include <array>

namespace su {
namespace {

constexpr std::uint8_t kLow7 = 0x7F;

// Packs one group d[0..6] into o[0..7].
inline void PackGroup(std::uint8_t* o, const std::uint8_t* d) {
  o[0] = static_cast<std::uint8_t>(d[0] >> 1);
  o[1] = static_cast<std::uint8_t>(((d[0] << 6) | (d[1] >> 2)) & kLow7);
  o[2] = static_cast<std::uint8_t>(((d[1] << 5) | (d[2] >> 3)) & kLow7);
  o[3] = static_cast<std::uint8_t>(((d[2] << 4) | (d[3] >> 4)) & kLow7);
  o[4] = static_cast<std::uint8_t>(((d[3] << 3) | (d[4] >> 5)) & kLow7);
  o[5] = static_cast<std::uint8_t>(((d[4] << 2) | (d[5] >> 6)) & kLow7);
  o[6] = static_cast<std::uint8_t>(((d[5] << 1) | (d[6] >> 7)) & kLow7);
  o[7] = static_cast<std::uint8_t>(d[6] & kLow7);
}

// Unpacks one group s[0..7] into d[0..6]. Input bytes carry seven bits; a stray bit 7 is ignored rather than
// allowed to spill into the neighbouring byte.
inline void UnpackGroup(std::uint8_t* d, const std::uint8_t* s) {
  d[0] = static_cast<std::uint8_t>((s[0] << 1) | ((s[1] & kLow7) >> 6));
  d[1] = static_cast<std::uint8_t>((s[1] << 2) | ((s[2] & kLow7) >> 5));
  d[2] = static_cast<std::uint8_t>((s[2] << 3) | ((s[3] & kLow7) >> 4));
  d[3] = static_cast<std::uint8_t>((s[3] << 4) | ((s[4] & kLow7) >> 3));
  d[4] = static_cast<std::uint8_t>((s[4] << 5) | ((s[5] & kLow7) >> 2));
  d[5] = static_cast<std::uint8_t>((s[5] << 6) | ((s[6] & kLow7) >> 1));
  d[6] = static_cast<std::uint8_t>((s[6] << 7) | (s[7] & kLow7));
}

constexpr std::uint32_t kCrcPolynomial = 0xEDB88320u;  // reflected form of 0x04C11DB7

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t value = n;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ kCrcPolynomial : value >> 1;
    table[n] = value;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();
static_assert(kCrcTable[1] == 0x77073096u, "CRC-32 table entry 1");
static_assert(kCrcTable[128] == 0xEDB88320u, "CRC-32 table entry 128");

}  // namespace

std::uint32_t PackSevenBit(std::uint8_t* destination, const std::uint8_t* source, std::uint32_t count) {
  const std::uint32_t whole = count / 7;
  for (std::uint32_t g = 0; g < whole; ++g) PackGroup(destination + 8 * g, source + 7 * g);
  const std::uint32_t rest = count % 7;
  if (rest != 0) {
    std::uint8_t in[7] = {};
    std::uint8_t out[8];
    for (std::uint32_t i = 0; i < rest; ++i) in[i] = source[7 * whole + i];
    PackGroup(out, in);
    for (std::uint32_t i = 0; i <= rest; ++i) destination[8 * whole + i] = out[i];
  }
  return PackedLength(count);
}

std::uint32_t UnpackSevenBit(std::uint8_t* destination, const std::uint8_t* source, std::uint32_t count) {
  const std::uint32_t whole = count / 8;
  for (std::uint32_t g = 0; g < whole; ++g) UnpackGroup(destination + 7 * g, source + 8 * g);
  const std::uint32_t rest = count % 8;
  std::uint32_t written = 7 * whole;
  if (rest >= 2) {
    std::uint8_t in[8] = {};
    std::uint8_t out[7];
    for (std::uint32_t i = 0; i < rest; ++i) in[i] = source[8 * whole + i];
    UnpackGroup(out, in);
    for (std::uint32_t i = 0; i + 1 < rest; ++i) destination[written + i] = out[i];
    written += rest - 1;
  }
  return written;
}

std::uint32_t Crc32(const std::uint8_t* data, std::uint32_t count) {
  if (count == 0) return 0;
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint32_t i = 0; i < count; ++i) crc = (crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFFu];
  return crc ^ 0xFFFFFFFFu;
}

}  // namespace su
