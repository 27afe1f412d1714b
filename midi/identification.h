// Finding out which keyboard is connected: the reply frame check and the identity request with its model
// table that family C keyboards answer. The family probes and the whole search are in
// transfer/keyboard_search.h.
#pragma once

#include <cstdint>

namespace su {

constexpr std::uint16_t kModelAddressC = 0x1400;

// The command byte (byte 4) when bytes form a frame of `modelAddress`, else -1. Never reads past `length`.
int CheckReplyFrame(std::uint16_t modelAddress, const std::uint8_t* bytes, std::uint32_t length);

int IdentifyKeyboard();

}  // namespace su
