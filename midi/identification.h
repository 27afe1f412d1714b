// Finding out which keyboard is connected: the reply frame check, the identity request and its model
// table, the probes of families A and B, and ConnectKeyboard, which ties port choice, opening and
// identification together.
#pragma once

#include <cstdint>

namespace su {

constexpr std::uint16_t kModelAddressC = 0x1400;

// The command byte (byte 4) when bytes form a frame of `modelAddress`, else -1. Never reads past `length`.
int CheckReplyFrame(std::uint16_t modelAddress, const std::uint8_t* bytes, std::uint32_t length);

int IdentifyKeyboard();
int ProbeFamilyA();  // arrives with the family A protocol; 0 until then
int ProbeFamilyB();  // arrives with the family B protocol; 0 until then
// 1 with the ports open and input running and modelType set; 0 when the user gave up (messages shown).
int ConnectKeyboard();

}  // namespace su
