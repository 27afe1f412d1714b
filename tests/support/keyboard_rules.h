// The virtual keyboard's scripted misbehaviour, one rule per line in a test.
#pragma once

#include <cstdint>

#include "tools/virtual_keyboard/virtual_keyboard.h"

namespace su::test {

// Refuses `command` with `code`, `times` times, after letting `skip` such messages through.
inline KeyboardRule Refuse(int command, std::uint8_t code, std::uint32_t times = kForever, std::uint32_t skip = 0) {
  return {KeyboardRule::Action::Refuse, command, code, 0, skip, times};
}

// Stops answering `command` after letting `skip` such messages through.
inline KeyboardRule Silent(int command, std::uint32_t skip = 0) {
  return {KeyboardRule::Action::Silent, command, 0, 0, skip, kForever};
}

// Leaves `times` of `command` unanswered and without effect, after letting `skip` such messages through.
inline KeyboardRule Ignore(int command, std::uint32_t times, std::uint32_t skip) {
  return {KeyboardRule::Action::Silent, command, 0, 0, skip, times};
}

// Answers `command` `delayMs` late, `times` times, after letting `skip` such messages through.
inline KeyboardRule Late(int command, std::uint32_t delayMs, std::uint32_t times = kForever, std::uint32_t skip = 0) {
  return {KeyboardRule::Action::Late, command, 0, delayMs, skip, times};
}

}  // namespace su::test
