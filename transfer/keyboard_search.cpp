#include "transfer/keyboard_search.h"

#include <ctime>
#include <exception>
#include <optional>
#include <string>

#include "base/run_state.h"
#include "midi/identification.h"
#include "midi/port_session.h"
#include "resources/message_numbers.h"
#include "transfer/family_a/probe.h"
#include "transfer/family_b/probe.h"

namespace su {

namespace {

// One way of asking, and the family whose keyboards answer it.
struct Request {
  char family;
  int (*ask)();
};

// The usual order: the identity request that most keyboards answer, then the probes of the families that
// answer none (family A's first: its probe writes, and has always been sent before family B's).
constexpr Request kUsualOrder[] = {{'C', IdentifyKeyboard}, {'A', ProbeFamilyA}, {'B', ProbeFamilyB}};

const Request* RequestOf(char family) {
  for (const Request& request : kUsualOrder) {
    if (request.family == family) return &request;
  }
  return nullptr;
}

// The names of the open ports, as the key of what is remembered; none when the driver cannot name them.
std::optional<PortNames> OpenPortNames() {
  PortNames names;
  const RunState& run = Run();
  if (!TheDriver().InDeviceName(run.midiInIndex, &names.in)) return std::nullopt;
  if (!TheDriver().OutDeviceName(run.midiOutIndex, &names.out)) return std::nullopt;
  return names;
}

// What is remembered only ever shortens a search: a store that fails in any way counts as no store.
std::optional<RememberedKeyboard> RecallSafely(KeyboardStateStore& store, const PortNames& ports) {
  try {
    return Recall(store, ports);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

void RememberSafely(KeyboardStateStore& store, const PortNames& ports, const RememberedKeyboard& keyboard) {
  try {
    Remember(store, ports, keyboard);
  } catch (const std::exception&) {
    // Not remembered: the next search asks every way in turn.
  }
}

void ForgetSafely(KeyboardStateStore& store, const PortNames& ports) {
  try {
    Forget(store, ports);
  } catch (const std::exception&) {
    // Still remembered: the next search asks it first once more, then every way in turn.
  }
}

}  // namespace

int SearchKeyboard(SearchProgress& progress, const SearchMemory& memory) {
  std::optional<PortNames> ports;
  std::optional<RememberedKeyboard> remembered;
  if (memory.store != nullptr) {
    ports = OpenPortNames();
    if (ports && !memory.fresh) remembered = RecallSafely(*memory.store, *ports);
  }
  const Request* first = remembered ? RequestOf(remembered->family) : nullptr;

  // A failed start shows up as a silent keyboard: the identification then times out.
  StartMidiInput();
  // A device that goes away while it is looked for answered nothing: the user may plug it in and retry.
  char answered = 0;
  const int found = NothingIfUnplugged([&] {
    if (first != nullptr) {
      progress.Step();
      if (first->ask() != 0) {
        answered = first->family;
        return 1;
      }
      progress.Status(IDS_LAST_KEYBOARD_SILENT);
    }
    for (const Request& request : kUsualOrder) {
      // The remembered request has just had its full time: asking it again would only cost another.
      if (&request == first) continue;
      progress.Step();
      if (request.ask() != 0) {
        answered = request.family;
        return 1;
      }
    }
    return 0;
  });

  if (ports) {
    if (found != 0) {
      RememberedKeyboard keyboard;
      keyboard.family = answered;
      keyboard.modelType = Run().modelType;
      keyboard.foundAt = static_cast<std::int64_t>(std::time(nullptr));
      RememberSafely(*memory.store, *ports, keyboard);
    } else if (memory.fresh) {
      // A search afresh replaces the entry: with nothing found there is nothing left to ask first.
      ForgetSafely(*memory.store, *ports);
    }
  }
  return found;
}

}  // namespace su
