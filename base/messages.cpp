#include "base/messages.h"

#include "base/message_table.h"
#include "resources/message_numbers.h"

namespace su {

namespace {

// Puts `value` in place of the first `directive` of `templateText`; the rest of the text is kept as it is.
std::string FillDirective(const std::string& templateText, const char* directive, const std::string& value) {
  const std::size_t at = templateText.find(directive);
  if (at == std::string::npos) return templateText;
  return templateText.substr(0, at) + value + templateText.substr(at + 2);
}

}  // namespace

std::string FitBuffer(const std::string& text, std::size_t bufferChars) {
  if (bufferChars == 0) return std::string();
  if (text.size() < bufferChars) return text;
  return text.substr(0, bufferChars - 1);
}

std::string FormatSavedMessage(const std::string& templateText, const std::string& path) {
  return FitBuffer(FillDirective(templateText, "%s", path), kMessageBufferChars);
}

std::string FormatErrorCodeMessage(const std::string& templateText, std::uint8_t code) {
  return FitBuffer(FillDirective(templateText, "%d", std::to_string(static_cast<unsigned>(code))),
                   kMessageBufferChars);
}

void ShowRaisedMessage(const RaisedMessage& raised) {
  // A number the string table does not hold would show an empty box: it is shown as the file error it is.
  ShowMessage(nullptr, ShownFailure(raised.number), BoxKind::Warning);
}

void ShowKeyboardError(const APP_EXCEPTION& error) {
  Screen& screen = TheScreen();
  screen.Ask(nullptr, FormatErrorCodeMessage(screen.Text(IDS_ERROR_CODE), error.code), BoxKind::Warning);
}

void ShowSavedMessage(const std::string& path) {
  Screen& screen = TheScreen();
  screen.Ask(nullptr, FormatSavedMessage(screen.Text(IDS_SAVED), path), BoxKind::Ok);
}

}  // namespace su
