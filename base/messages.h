// Messages the shell formats and shows itself: the run sequence's error box and the "Saved." box. Texts come
// from the string table by number.
#pragma once

#include <cstdint>
#include <string>

#include "base/errors.h"
#include "base/screen.h"

namespace su {

// Message texts live in buffers of 256 characters (the zero included).
constexpr std::size_t kMessageBufferChars = 256;

// `text` cut to what a buffer of `bufferChars` characters holds.
std::string FitBuffer(const std::string& text, std::size_t bufferChars);

// Message 46: the saved file's full path in place of "%s".
std::string FormatSavedMessage(const std::string& templateText, const std::string& path);
// Message 53: the keyboard's error code, unsigned decimal, in place of "%d".
std::string FormatErrorCodeMessage(const std::string& templateText, std::uint8_t code);

// The run sequence's error box: warning icon, OK, no owner.
void ShowRaisedMessage(const RaisedMessage& raised);
void ShowKeyboardError(const APP_EXCEPTION& error);
// Message 46 with `path` in an OK box without icon and owner.
void ShowSavedMessage(const std::string& path);

}  // namespace su
