// The search for the connected keyboard over ports already open: the identity request that family C keyboards
// answer, then the family A probe, then the family B probe. Every front end searches the same way; each
// attempt is reported as one step, so that a wait box, a terminal or a page can show how far the search is.
#pragma once

namespace su {

class SearchProgress {
 public:
  virtual ~SearchProgress() = default;
  // The next attempt starts: the identity request, the family A probe and the family B probe in turn.
  virtual void Step() = 0;
};

// Starts the input, then asks in each way in turn until a keyboard answers: nonzero with Run().modelType set,
// 0 when none did. The ports stay as they are.
int SearchKeyboard(SearchProgress& progress);

}  // namespace su
