#include "cli/stoppable_clock.h"

#include <algorithm>

#include "cli/commands.h"
#include "cli/console.h"

namespace su::cli {

namespace {

constexpr std::uint32_t kStopLookMs = 50;

}  // namespace

bool StoppableClock::StopPending() const { return !stopHandled_ && StopRequestedAtWait(); }

Wake StoppableClock::WaitEventOrInput(EventRef event, EventRef loss, std::uint32_t ms) {
  const std::uint32_t start = inner_.Ticks();
  for (;;) {
    if (StopPending()) return Wake::Messages;
    const std::uint32_t spent = inner_.Ticks() - start;
    const std::uint32_t left = spent >= ms ? 0 : ms - spent;
    const Wake woke = inner_.WaitEventOrInput(event, loss, std::min(left, kStopLookMs));
    if (woke != Wake::Quiet || left <= kStopLookMs) return woke;
  }
}

void StoppableClock::DispatchWindowMessages() {
  inner_.DispatchWindowMessages();
  if (!StopPending()) return;
  stopHandled_ = true;
  StopAtWait();
}

}  // namespace su::cli
