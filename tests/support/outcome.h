// How an operation or a dialog run ended, as the user would see it: it returned (a value, or a dialog's end
// code), or it failed with a message from the string table, or with message 53 carrying the keyboard's error
// code. OutcomeOf runs a callable and records which.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <type_traits>

#include "base/errors.h"
#include "base/messages.h"
#include "resources/strings.h"
#include "tests/support/fake_screen.h"

namespace su::test {

struct Outcome {
  enum Kind { Returned, Message, Coded } kind = Returned;
  int value = 0;
  bool operator==(const Outcome& o) const { return kind == o.kind && value == o.value; }
  bool operator!=(const Outcome& o) const { return !(*this == o); }
};

inline Outcome Returned(int value = 0) { return {Outcome::Returned, value}; }
inline Outcome Message(int number) { return {Outcome::Message, number}; }
inline Outcome Coded(int code) { return {Outcome::Coded, code}; }

// Failure messages quote the text the user would have read.
inline std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  switch (o.kind) {
    case Outcome::Returned: return os << "returned " << o.value;
    case Outcome::Message: return os << "message " << o.value << " \"" << FakeScreen().Text(o.value) << "\"";
    case Outcome::Coded:
      return os << "message 53 \"" << FormatErrorCodeMessage(TEXT_53, static_cast<std::uint8_t>(o.value)) << "\"";
  }
  return os;
}

// Runs `operation` (returning a number, or nothing: then it counts as returning 0) and says how it ended.
template <typename Operation>
Outcome OutcomeOf(Operation&& operation) {
  try {
    if constexpr (std::is_void_v<decltype(operation())>) {
      operation();
      return Returned(0);
    } else {
      return Returned(static_cast<int>(operation()));
    }
  } catch (const RaisedMessage& raised) {
    return Message(raised.number);
  } catch (const APP_EXCEPTION& error) {
    EXPECT_EQ(error.kind, kKeyboardRefused) << "a keyboard error of an unknown kind";
    return Coded(error.code);
  }
}

}  // namespace su::test
