#include "base/errors.h"

namespace su {

void RaiseMessage(std::int32_t number) { throw RaisedMessage{number}; }

void RaiseKeyboardError(std::uint8_t code) {
  APP_EXCEPTION error{};
  error.kind = kKeyboardRefused;
  error.code = code;
  throw error;
}

}  // namespace su
