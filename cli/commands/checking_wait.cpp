// The send under way, whose keyboard's final check Ctrl-C (or --check-timeout) cuts short, and what a wait
// for the keyboard does once a stop was asked for.
#include <chrono>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/terminal_progress.h"

namespace su::cli {

CheckingWaitHook& CheckingFlag() {
  static CheckingWaitHook hook;
  return hook;
}

void StopAtWait() {
  TerminalProgress* progress = CheckingFlag().progress;
  int* flag = progress != nullptr ? progress->CheckingFlag() : nullptr;
  // During the keyboard's final check Ctrl-C acts as Cancel in the "Now sending..." box does; anywhere else
  // the command leaves the wait at once.
  if (flag != nullptr) {
    *flag = 1;
    if (!Interrupted()) CheckingFlag().timedOut = true;
    return;
  }
  throw InterruptedByUser{};
}

bool StopRequestedAtWait() {
  // The reading after a send runs on after one stop: it says what the keyboard now holds (a second stop still
  // ends the command at once).
  if (Interrupted()) return !CheckingFlag().readingAfter;
  const CheckingWaitHook& hook = CheckingFlag();
  if (hook.progress == nullptr || hook.limitSeconds <= 0 || hook.progress->CheckingFlag() == nullptr) return false;
  return hook.progress->CheckingFor() >= std::chrono::seconds(hook.limitSeconds);
}

}  // namespace su::cli
