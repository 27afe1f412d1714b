// ports: the MIDI inputs and outputs, with the pair a command would use marked.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/commands/connection.h"
#include "cli/commands/context.h"
#include "cli/commands/json_output.h"
#include "cli/commands/printable.h"
#include "cli/ports.h"
#include "midi/port_session.h"

namespace su::cli {

void RunPorts(CommandContext& context) {
  SetUpMidi(context);
  const PortLists lists = ReadPortLists(TheDriver());
  // The pair a command would use with these options (with none, the default), marked with "*".
  PortChoice choice;
  std::string unused;
  if (!ChoosePorts(lists, context.options, &choice, &unused)) choice = PortChoice{};
  std::ostream& out = context.console.out;
  if (context.options.json) {
    auto array = [](const std::vector<std::string>& names, std::int32_t chosen) {
      Json ports = Json::array();
      for (std::size_t i = 0; i < names.size(); ++i) {
        ports.push_back({{"number", i}, {"name", names[i]}, {"chosen", static_cast<std::int32_t>(i) == chosen}});
      }
      return ports;
    };
    PrintJson(out, {{"inputs", array(lists.inputs, choice.in)}, {"outputs", array(lists.outputs, choice.out)}});
    context.jsonPrinted = true;
    return;
  }
  auto print = [&](const char* title, const std::vector<std::string>& names, std::int32_t chosen) {
    out << title << '\n';
    for (std::size_t i = 0; i < names.size(); ++i) {
      out << (static_cast<std::int32_t>(i) == chosen ? "* " : "  ") << i << "  " << Printable(names[i]) << '\n';
    }
  };
  print("Inputs:", lists.inputs, choice.in);
  print("Outputs:", lists.outputs, choice.out);
}

}  // namespace su::cli
