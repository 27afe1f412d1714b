// Where the command line talks to its user: standard output for results, standard error for progress,
// questions and failures, standard input for answers. Tests put string streams in their place.
#pragma once

#include <iostream>

namespace su::cli {

struct Console {
  std::ostream& out;
  std::ostream& err;
  std::istream& in;
  bool askable = false;   // standard input is a terminal: questions can be asked
  bool drawBar = false;   // standard error is a terminal: a progress bar redrawn in place
};

// Ctrl-C: the first press asks the command to stop at the next wait for the keyboard (ports closed, the
// keyboard left as a cancelled send leaves it); a second press ends the process at once.
void InstallInterruptHandler();
bool Interrupted();
// For tests: as if Ctrl-C had been pressed, or never.
void SetInterrupted(bool interrupted);

// Thrown from a wait for the keyboard once Ctrl-C was pressed.
struct InterruptedByUser {};

}  // namespace su::cli
