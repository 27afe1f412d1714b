// The two kinds of failure that end a run. Flows raise them; the run sequence's one handler shows them.
#pragma once

#include <cstdint>

namespace su {

// A failure described by one string-table message (its number).
struct RaisedMessage {
  std::int32_t number;
};

// An error code reported by the keyboard. kind 1: the keyboard refused a request with `code`;
// shown as message 53 with the code in decimal.
struct APP_EXCEPTION {
  std::int32_t kind;
  char text[128];
  std::uint8_t code;
};

constexpr std::int32_t kKeyboardRefused = 1;

[[noreturn]] void RaiseMessage(std::int32_t number);
[[noreturn]] void RaiseKeyboardError(std::uint8_t code);

}  // namespace su
