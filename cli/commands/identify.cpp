// identify: the keyboard found on the ports, its family, slots and model code.
#include <string>
#include <vector>

#include "base/run_state.h"
#include "cli/commands/connection.h"
#include "cli/commands/context.h"
#include "cli/commands/json_output.h"

namespace su::cli {

void RunIdentify(CommandContext& context) {
  PortsClosed closed;
  Connect(context);
  const RunState& run = su::Run();
  const FamilyEntry& family = *context.family;
  const std::vector<std::string>& labels = context.slots.labels;
  if (context.options.json) {
    PrintJson(context.console.out, {{"modelType", run.modelType},
                                    {"family", std::string(1, family.letter)},
                                    {"slotCount", labels.size()},
                                    {"slots", labels},
                                    {"modelCode", family.modelCode()}});
    context.jsonPrinted = true;
    return;
  }
  context.console.out << "Model type: " << run.modelType << "\nFamily: " << family.letter << "\nSlots: "
                      << labels.size() << " (" << labels.front() << " to " << labels.back()
                      << ")\nModel code: " << family.modelCode() << '\n';
}

}  // namespace su::cli
