// What the commands that talk to a keyboard share: the MIDI system made ready, the keyboard found on the
// chosen ports, the slot the command works on and the slots as the keyboard lists them.
#pragma once

#include <cstddef>

#include "cli/commands/context.h"
#include "transfer/slot_list.h"

namespace su::cli {

// Closes the ports however a command ends.
struct PortsClosed {
  ~PortsClosed();
};

// Makes the MIDI driver and clock ready (and --dump's driver in front of them); a MIDI system that cannot be
// used ends the command with a port failure.
void SetUpMidi(CommandContext& context);

// Opens the chosen ports and searches for the keyboard on them: `context.family` and `context.slots` then
// describe the keyboard found.
void Connect(CommandContext& context);

// The slot the command works on (--slot, or "free": the first empty one), as an index of the keyboard's
// slots; sets `context.slotLabel` and the result's "slot".
std::size_t SlotIndex(CommandContext& context);

// The slots as the keyboard lists them, read with the terminal's progress.
Listing ReadListing(CommandContext& context);

}  // namespace su::cli
