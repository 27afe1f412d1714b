// The search for the connected keyboard over ports already open: the identity request that family C keyboards
// answer, then the family A probe, then the family B probe. Every front end searches the same way; each
// attempt is reported as one step, so that a wait box, a terminal or a page can show how far the search is.
//
// Where the same ports found a keyboard before, that keyboard's own request goes first, so a repeat connect
// takes one answer instead of one or two time-outs. When it goes unanswered the search goes on with every other
// request in the usual order: a different keyboard on those ports is still found, one time-out later. The
// requests and their bytes are the same either way; only their order differs.
#pragma once

#include "transfer/keyboard_memory.h"

namespace su {

class SearchProgress {
 public:
  virtual ~SearchProgress() = default;
  // The next attempt starts: the identity request, the family A probe and the family B probe in turn (the
  // remembered keyboard's own request before them, when there is one).
  virtual void Step() = 0;
  // A status line, by string-table number: the keyboard last found on these ports did not answer, so the long
  // search that follows is explained.
  virtual void Status(int message) { (void)message; }
};

// Where the search remembers what it found, per pair of ports. Without a store nothing is remembered.
struct SearchMemory {
  KeyboardStateStore* store = nullptr;
  // Ask every way in the usual order, whatever is remembered, and remember what answers then.
  bool fresh = false;
};

// Starts the input, then asks in each way in turn until a keyboard answers: nonzero with Run().modelType set,
// 0 when none did. The ports stay as they are. The keyboard that answers is remembered for the open ports
// (their names as the driver gives them) in place of what was there.
int SearchKeyboard(SearchProgress& progress, const SearchMemory& memory = {});

}  // namespace su
