// The command line's side of choosing the MIDI input and output: reading the lists from the driver, and the
// texts for a choice that cannot be made (the rule itself is midi/port_choice.h).
#pragma once

#include <string>
#include <vector>

#include "cli/options.h"
#include "midi/midi_driver.h"
#include "midi/port_choice.h"

namespace su::cli {

struct PortLists {
  std::vector<std::string> inputs;   // by device number
  std::vector<std::string> outputs;
};

PortLists ReadPortLists(MidiDriver& driver);

// The pair --in, --out and --port name, or the default pair; false with `error` saying why there is none.
bool ChoosePorts(const PortLists& lists, const Options& options, PortChoice* choice, std::string* error);

// The warning for ports behind the a2jmidid bridge, which loses the song's data blocks.
std::string BridgeWarning();

}  // namespace su::cli
