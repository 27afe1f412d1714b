#include "transfer/family_b/probe.h"

#include "base/run_state.h"
#include "transfer/family_b/frames.h"
#include "transfer/family_b/protocol.h"

namespace su {

int ProbeFamilyB() {
  std::int32_t modelType = -1;
  switch (ReadModelB(family_b::kAddress)) {
    case 1: modelType = 26; break;
    case 2: modelType = 25; break;
    case 3: modelType = 27; break;
    default: return 0;
  }
  Run().modelType = modelType;
  return 1;
}

}  // namespace su
