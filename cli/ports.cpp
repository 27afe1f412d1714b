#include "cli/ports.h"

#include <algorithm>
#include <cctype>

namespace su::cli {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && text.size() < 9 &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

// The one port `wanted` names in `names`, or -1 with `error` set.
std::int32_t Find(const std::vector<std::string>& names, const std::string& wanted, const char* direction,
                  std::string* error) {
  if (AllDigits(wanted)) {
    const long number = std::stol(wanted);
    if (number < static_cast<long>(names.size())) return static_cast<std::int32_t>(number);
    *error = std::string("no MIDI ") + direction + " number " + wanted;
    return -1;
  }
  std::vector<std::int32_t> whole, parts;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (Lower(names[i]) == Lower(wanted)) whole.push_back(static_cast<std::int32_t>(i));
    if (Lower(names[i]).find(Lower(wanted)) != std::string::npos) parts.push_back(static_cast<std::int32_t>(i));
  }
  if (whole.size() == 1) return whole[0];
  if (parts.size() == 1) return parts[0];
  *error = std::string(parts.empty() ? "no MIDI " : "more than one MIDI ") + direction + " matches \"" + wanted +
           "\" (see songuploader ports)";
  return -1;
}

}  // namespace

PortLists ReadPortLists(MidiDriver& driver) {
  PortLists lists;
  const std::uint32_t ins = driver.InDeviceCount();
  for (std::uint32_t i = 0; i < ins; ++i) {
    std::string name;
    driver.InDeviceName(static_cast<std::int32_t>(i), &name);
    lists.inputs.push_back(name);
  }
  const std::uint32_t outs = driver.OutDeviceCount();
  for (std::uint32_t i = 0; i < outs; ++i) {
    std::string name;
    driver.OutDeviceName(static_cast<std::int32_t>(i), &name);
    lists.outputs.push_back(name);
  }
  return lists;
}

bool ChoosePorts(const PortLists& lists, const Options& options, PortChoice* choice, std::string* error) {
  const std::string inWanted = !options.inPort.empty() ? options.inPort : options.port;
  const std::string outWanted = !options.outPort.empty() ? options.outPort : options.port;
  PortChoice chosen;
  if (inWanted.empty() && outWanted.empty()) {
    // The default: one name carried by exactly one input and one output, or a single input and output.
    for (std::size_t i = 0; i < lists.inputs.size(); ++i) {
      const std::string& name = lists.inputs[i];
      if (std::count(lists.inputs.begin(), lists.inputs.end(), name) != 1) continue;
      if (std::count(lists.outputs.begin(), lists.outputs.end(), name) != 1) continue;
      if (chosen.in >= 0) {
        chosen = PortChoice{};
        break;
      }
      chosen.in = static_cast<std::int32_t>(i);
      chosen.out = static_cast<std::int32_t>(
          std::find(lists.outputs.begin(), lists.outputs.end(), name) - lists.outputs.begin());
    }
    if (chosen.in < 0 && lists.inputs.size() == 1 && lists.outputs.size() == 1) chosen = PortChoice{0, 0};
    if (chosen.in < 0) {
      *error = lists.inputs.empty() || lists.outputs.empty()
                   ? "no MIDI ports to reach a keyboard (see songuploader ports)"
                   : "choose the ports with --in and --out, or --port (see songuploader ports)";
      return false;
    }
    *choice = chosen;
    return true;
  }
  if (inWanted.empty() || outWanted.empty()) {
    *error = "give both --in and --out, or --port";
    return false;
  }
  chosen.in = Find(lists.inputs, inWanted, "input", error);
  if (chosen.in < 0) return false;
  chosen.out = Find(lists.outputs, outWanted, "output", error);
  if (chosen.out < 0) return false;
  *choice = chosen;
  return true;
}

}  // namespace su::cli
