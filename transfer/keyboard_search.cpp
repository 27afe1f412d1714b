#include "transfer/keyboard_search.h"

#include "midi/identification.h"
#include "midi/port_session.h"
#include "transfer/family_a/probe.h"
#include "transfer/family_b/probe.h"

namespace su {

int SearchKeyboard(SearchProgress& progress) {
  // A failed start shows up as a silent keyboard: the identification then times out.
  StartMidiInput();
  progress.Step();
  try {
    int found = IdentifyKeyboard();
    if (found == 0) {
      progress.Step();
      found = ProbeFamilyA();
    }
    if (found == 0) {
      progress.Step();
      found = ProbeFamilyB();
    }
    return found;
  } catch (const DeviceGoneFailure&) {
    // A device that went away while it was looked for answered nothing: the user may plug it in and retry.
    return 0;
  }
}

}  // namespace su
