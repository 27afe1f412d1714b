// Stopping songuploader on Linux and macOS: Ctrl-C (SIGINT), SIGTERM (what `timeout` and service managers
// send) and SIGHUP (the terminal went away) all ask the command to stop. The handlers are installed without
// SA_RESTART, so a read of an answer at a question returns at once instead of waiting for Enter.
#include <signal.h>

#include "cli/console.h"

namespace su::cli {

namespace {

extern "C" void OnStopSignal(int number) {
  if (Interrupted()) {
    // A second stop ends the process at once, by the signal's own default.
    signal(number, SIG_DFL);
    raise(number);
    return;
  }
  RequestStop(128 + number);
}

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked read ends with EINTR
  for (const int number : {SIGINT, SIGTERM, SIGHUP}) sigaction(number, &action, nullptr);
}

}  // namespace su::cli
