// The string table's messages by number, with their texts as the product has them: the one place where a
// message number becomes a text for the command line and the page, and where every front end learns whether a
// number is a message at all (the dialogs load the same texts from the resource string table).
#pragma once

#include <cstdint>
#include <string>

#include "base/errors.h"

namespace su {

struct MessageEntry {
  std::int32_t number;
  const char* text;
};

// The entry of message `number`; nullptr for a number the string table does not hold.
const MessageEntry* FindMessage(std::int32_t number);
// The text of message `number`; "" for a number the string table does not hold.
std::string MessageText(std::int32_t number);
// The message a failure raised as `number` is shown with: that one, or message 44 for a number the table
// does not hold (only a fault of ours raises one).
std::int32_t ShownFailure(std::int32_t number);
// What a raised failure shows: its message's text, or message 53 with the keyboard's error code.
std::string FailureText(const RaisedMessage& raised);
std::string FailureText(const APP_EXCEPTION& error);

}  // namespace su
