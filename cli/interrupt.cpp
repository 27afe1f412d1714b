#include <csignal>

#include "cli/console.h"

namespace su::cli {

namespace {

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int) {
  gInterrupted = 1;
  // A second Ctrl-C ends the process at once.
  std::signal(SIGINT, SIG_DFL);
}

}  // namespace

void InstallInterruptHandler() { std::signal(SIGINT, OnInterrupt); }

bool Interrupted() { return gInterrupted != 0; }

void SetInterrupted(bool interrupted) { gInterrupted = interrupted ? 1 : 0; }

}  // namespace su::cli
