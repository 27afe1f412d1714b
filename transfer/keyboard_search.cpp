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
  // A device that goes away while it is looked for answered nothing: the user may plug it in and retry.
  return NothingIfUnplugged([&] {
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
  });
}

}  // namespace su
