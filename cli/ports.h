// Choosing the MIDI input and output: by number, by part of a name, or the default pair.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/options.h"
#include "midi/midi_driver.h"

namespace su::cli {

struct PortLists {
  std::vector<std::string> inputs;   // by device number
  std::vector<std::string> outputs;
};

struct PortChoice {
  std::int32_t in = -1;
  std::int32_t out = -1;
};

PortLists ReadPortLists(MidiDriver& driver);

// --in and --out (a number, or part of a name that exactly one port carries; a whole name wins over parts),
// --port for both, else the one input and output of the same name, else the only input and output there
// are. false with `error` when no single port answers.
bool ChoosePorts(const PortLists& lists, const Options& options, PortChoice* choice, std::string* error);

}  // namespace su::cli
