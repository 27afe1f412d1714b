#include "transfer/septet_encodings.h"

namespace su {

void PutFiveSeptets(std::uint32_t value, std::uint8_t* out) {
  out[0] = static_cast<std::uint8_t>(value & 0x7F);
  out[1] = static_cast<std::uint8_t>((value >> 7) & 0x7F);
  out[2] = static_cast<std::uint8_t>((value >> 14) & 0x7F);
  out[3] = static_cast<std::uint8_t>((value >> 21) & 0x7F);
  out[4] = static_cast<std::uint8_t>(value >> 28);
}

std::uint32_t GetFiveSeptets(const std::uint8_t* in) {
  return (std::uint32_t{in[0]} & 0x7F) | (std::uint32_t{in[1]} & 0x7F) << 7 | (std::uint32_t{in[2]} & 0x7F) << 14 |
         (std::uint32_t{in[3]} & 0x7F) << 21 | (std::uint32_t{in[4]} & 0x0F) << 28;
}

void PutWordTriplet(std::uint8_t first, std::uint8_t second, std::uint8_t* out) {
  const std::uint32_t word = std::uint32_t{first} << 8 | second;
  out[0] = static_cast<std::uint8_t>(word & 0x7F);
  out[1] = static_cast<std::uint8_t>((word >> 7) & 0x7F);
  out[2] = static_cast<std::uint8_t>(word >> 14);
}

std::size_t PutBlockBody(const std::uint8_t* bytes, std::uint32_t count, std::uint8_t* out) {
  const std::uint32_t words = (count + 1) / 2;
  for (std::uint32_t w = 0; w < words; ++w) {
    const std::uint32_t at = 2 * w;
    const std::uint8_t second = at + 1 < count ? bytes[at + 1] : 0x00;
    PutWordTriplet(bytes[at], second, out + kWordTripletSize * w);
  }
  const std::size_t tripletBytes = kWordTripletSize * words;
  out[tripletBytes] = SevenBitChecksum(out, tripletBytes);
  return tripletBytes + 1;
}

std::uint32_t NamePieceNumber(const char* four) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = value << 8 | static_cast<std::uint8_t>(four[i]);
  return value;
}

std::uint8_t SevenBitChecksum(const std::uint8_t* bytes, std::size_t count) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
  return static_cast<std::uint8_t>((0u - sum) & 0x7F);
}

}  // namespace su
