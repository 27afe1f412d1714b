#include "transfer/family_a/probe.h"

#include "base/run_state.h"
#include "transfer/family_a/frames.h"
#include "transfer/family_a/protocol.h"

namespace su {

namespace {

constexpr std::uint8_t kModelValueType21 = 2;
constexpr std::uint8_t kModelValueType22 = 5;

}  // namespace

int ProbeFamilyA() {
  RunState& run = Run();
  // Wakes a type-21 keyboard up; whether it says it is ready does not matter to the model check.
  PrepareKeyboardA(family_a::kAddressType21, true);
  if (MatchModelA(family_a::kAddressType21, kModelValueType21)) {
    run.modelType = 21;
    return 1;
  }
  if (run.debugZt52 == 1) {
    PrepareKeyboardA(family_a::kAddressType22, false);
    if (MatchModelA(family_a::kAddressType22, kModelValueType22)) {
      run.modelType = 22;
      return 1;
    }
  }
  return 0;
}

}  // namespace su
