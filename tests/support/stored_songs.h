// The keyboards that the family A and B tables play against, shared by the protocol tests and the dialogs'
// tests: a stored song, and the family's keyboard with its few songs and its memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/virtual_keyboard/virtual_keyboard.h"
#include "transfer/family_a/frames.h"

namespace su::test {

// A used slot of `size` zero bytes.
inline KeyboardSlot Song(const std::string& name, std::uint32_t size) {
  KeyboardSlot slot;
  slot.status = 1;
  slot.name = name;
  slot.size = size;
  slot.contents.assign(size, 0);
  return slot;
}

// Slot 0 "Morning Waltz" (13 characters) of 4096 bytes, slot 1 "Tune" of 500, slot 3 a song whose name
// holds a control character, the rest empty; 8000 bytes free.
inline KeyboardConfig KeyboardA(std::uint16_t address = family_a::kAddressType21) {
  KeyboardConfig config;
  config.family = KeyboardFamily::A;
  config.modelAddress = address;
  config.answersIdentity = false;
  config.slots = std::vector<KeyboardSlot>(10);
  config.slots[0] = Song("Morning Waltz", 4096);
  config.slots[1] = Song("Tune", 500);
  config.slots[3] = Song(std::string("Bad\x01name"), 2048);
  config.freeMemory = 8000;
  return config;
}

// Slot 0 "Evening Song" of 5000 bytes, slot 2 "abc" of 1 byte, the rest empty; 8 MB free, songs up to 4000
// bytes accepted.
inline KeyboardConfig KeyboardB(std::uint8_t modelByte = 2) {
  KeyboardConfig config;
  config.family = KeyboardFamily::B;
  config.answersIdentity = false;
  config.modelByte = modelByte;
  config.slots = std::vector<KeyboardSlot>(10);
  config.slots[0] = Song("Evening Song", 5000);
  config.slots[2] = Song("abc", 1);
  config.freeMemory = 8u << 20;
  config.maxSongSize = 4000;
  return config;
}

}  // namespace su::test
