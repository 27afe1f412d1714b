#include <csignal>

#include "cli/console.h"
#include "cli/exit_codes.h"

namespace su::cli {

namespace {

volatile std::sig_atomic_t gStopCode = 0;

}  // namespace

void RequestStop(int exitCode) {
  if (gStopCode == 0) gStopCode = exitCode;
}

bool Interrupted() { return gStopCode != 0; }

int StopExitCode() { return gStopCode != 0 ? gStopCode : kExitInterrupted; }

void SetInterrupted(bool interrupted) { gStopCode = interrupted ? kExitInterrupted : 0; }

}  // namespace su::cli
