#include "cli/console_screen.h"

#include <chrono>
#include <string>
#include <thread>

#include "cli/exit_codes.h"

namespace su::cli {

std::string ConsoleScreen::Text(int number) { return MessageText(number); }

int ConsoleScreen::Ask(WindowRef, const std::string& text, BoxKind kind) {
  if (kind == BoxKind::YesNo) return Confirm(text) ? kAnswerYes : kAnswerNo;
  console_.err << text << '\n';
  return kAnswerOk;
}

bool ConsoleScreen::Confirm(const std::string& text) {
  if (yes_) {
    console_.err << text << " [y/N] y\n";
    return true;
  }
  if (!console_.askable) {
    console_.err << text << " [y/N] n (no terminal to ask; --yes answers yes)\n";
    return false;
  }
  if (Interrupted()) throw InterruptedByUser{};
  std::string answer;
  bool read = false;
  if (console_.ask) {
    read = console_.ask(text + " [y/N] ", &answer);
  } else {
    console_.err << text << " [y/N] " << std::flush;
    read = static_cast<bool>(std::getline(console_.in, answer));
  }
  // On Windows the read ends at Ctrl-C while the handler still runs on a thread of its own: give it a moment.
  if (!read && !Interrupted()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  // A stop while the question waits ends the read: the command ends, and nothing is sent or deleted.
  if (Interrupted()) {
    if (!console_.ask) console_.err << '\n';  // a terminal question ends its own line
    throw InterruptedByUser{};
  }
  if (!read) return false;
  return answer == "y" || answer == "Y" || answer == "yes";
}

}  // namespace su::cli
