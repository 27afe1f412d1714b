#include "cli/commands/connection.h"

#include <algorithm>
#include <string>

#include "base/run_state.h"
#include "cli/commands/failures.h"
#include "cli/commands/printable.h"
#include "cli/exit_codes.h"
#include "cli/port_lock.h"
#include "cli/ports.h"
#include "cli/slot_cache.h"
#include "cli/terminal_progress.h"
#include "midi/port_session.h"
#include "resources/message_numbers.h"
#include "transfer/keyboard_search.h"
#include "transfer/keyboard_state_file.h"

namespace su::cli {

PortsClosed::~PortsClosed() { CloseMidiPorts(); }

void SetUpMidi(CommandContext& context) {
  std::string error;
  if (!context.setUpMidi(context.options, &error)) throw Stop{kExitPort, error};
  if (context.options.dump && context.dumper == nullptr) {
    context.dumped = &TheDriver();
    context.dumper = std::make_unique<DumpingDriver>(*context.dumped, context.console.err);
    InstallMidi(context.dumper.get(), &TheClock());
  }
}

void Connect(CommandContext& context) {
  const Options& o = context.options;
  if (Interrupted()) throw InterruptedByUser{};
  SetUpMidi(context);
  PortChoice choice;
  std::string error;
  const PortLists lists = ReadPortLists(TheDriver());
  if (!ChoosePorts(lists, o, &choice, &error)) throw Stop{kExitPort, error};
  if (choice.bridge) context.console.err << BridgeWarning() << '\n';
  RunState& run = su::Run();
  run.midiInIndex = choice.in;
  run.midiOutIndex = choice.out;
  context.tried = " (input \"" + lists.inputs[static_cast<std::size_t>(choice.in)] + "\", output \"" +
                  lists.outputs[static_cast<std::size_t>(choice.out)] + "\")";
  if (!HoldPorts(context.portLock, lists.inputs[static_cast<std::size_t>(choice.in)],
                 lists.outputs[static_cast<std::size_t>(choice.out)], o.noWait, context.console.err)) {
    throw Stop{kExitPortsInUse,
               "songuploader: another songuploader is talking to the keyboard on these ports" + context.tried};
  }
  if (OpenMidiPorts() == 0) {
    const std::string busy = RightTrimmed(MessageText(IDS_DEVICE_BUSY));
    throw Stop{kExitPort, FirstLine(busy) + context.tried + busy.substr(FirstLine(busy).size())};
  }
  if (context.progressConsole.drawBar) context.chatter << "Looking for the keyboard connection...\n";
  run.debugZt52 = o.type22 ? 1 : 0;
  // The terminal shows one line for the whole search rather than each attempt, and a line more when the
  // keyboard last found on these ports is silent (so the longer search is explained).
  struct QuietSearch : SearchProgress {
    explicit QuietSearch(std::ostream& chatter) : chatter_(chatter) {}
    void Step() override {}
    void Status(int message) override { chatter_ << MessageText(message) << '\n'; }
    std::ostream& chatter_;
  } quiet(context.chatter);
  FileStateStore remembered(KeyboardStateFile());
  const int found = SearchKeyboard(quiet, SearchMemory{&remembered, o.fresh});
  context.family = found != 0 ? FamilyFor(run.modelType) : nullptr;
  if (context.family == nullptr) {
    throw Stop{kExitNoKeyboard, FirstLine(MessageText(IDS_NO_RESPONSE)) + context.tried};
  }
  context.slots = context.family->slotsOf(run.modelType, "");
  RememberSlots(o, context.slots.labels);
}

std::size_t SlotIndex(CommandContext& context) {
  const Options& o = context.options;
  const std::vector<std::string>& labels = context.slots.labels;
  if (o.slot == "free") {
    // The first slot that holds no song, from the slot table.
    const Listing listing = ReadListing(context);
    for (std::size_t i = 0; i < listing.slots.size(); ++i) {
      if (listing.slots[i].used) continue;
      context.slotLabel = listing.slots[i].label;
      context.result["slot"] = context.slotLabel;
      context.chatter << "Sending into slot " << context.slotLabel << ", the first empty one.\n";
      return i;
    }
    throw Stop{kExitNoMemory, "songuploader: every slot holds a song; delete one, or name a slot to replace"};
  }
  context.slotLabel = o.slot;
  context.result["slot"] = context.slotLabel;
  const auto at = std::find(labels.begin(), labels.end(), o.slot);
  if (at != labels.end()) return static_cast<std::size_t>(at - labels.begin());
  throw Stop{kExitNoSuchSlot, "this keyboard has no slot " + o.slot + " (its slots are " + labels.front() + " to " +
                             labels.back() + ")"};
}

Listing ReadListing(CommandContext& context) {
  Listing listing;
  TerminalProgress progress(context.progressConsole);
  context.family->read(context.slots, listing, progress);
  return listing;
}

}  // namespace su::cli
