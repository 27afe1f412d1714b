#include "cli/ports.h"

namespace su::cli {

namespace {

// "--port 20", or "SONGUPLOADER_PORT=20" when the environment gave it.
std::string Named(const std::string& from, const std::string& value) {
  return from + (from.rfind("--", 0) == 0 ? " " : "=") + value;
}

std::string Listed(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += "\n  " + name;
  return text;
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
  // --port (or SONGUPLOADER_PORT) only counts for a direction nothing else names.
  const bool portUsed = options.inPort.empty() || options.outPort.empty();
  std::string port = portUsed ? options.port : std::string();
  if (!port.empty() && port.find_first_not_of("0123456789") == std::string::npos) {
    // A bare number for both directions: the inputs and the outputs are two lists whose numbers pair
    // unrelated ports, so it means an ALSA client (port 0 of it), as aconnect reads "20".
    bool alsa = false;
    for (const auto* names : {&lists.inputs, &lists.outputs}) {
      for (const std::string& name : *names) alsa = alsa || !ReadPortName(name).address.empty();
    }
    if (!alsa) {
      *error = Named(options.portFrom, port) + ": a number names an ALSA client, and these ports have none; give --in N --out N "
               "(the numbers of songuploader ports) or a name";
      return false;
    }
    port += ":0";
  }
  const std::string inWanted = !options.inPort.empty() ? options.inPort : port;
  const std::string outWanted = !options.outPort.empty() ? options.outPort : port;
  *choice = ChoosePortPair(lists.inputs, lists.outputs, inWanted, outWanted);
  // The variable a wanted port came from, when it was one.
  const bool input = choice->direction == "input";
  const bool ownOption = !(input ? options.inPort : options.outPort).empty();
  const std::string& from = ownOption ? (input ? options.inFrom : options.outFrom) : options.portFrom;
  const std::string see =
      (from.rfind("SONGUPLOADER_", 0) == 0 ? " (from " + from + ")" : std::string()) + " (see songuploader ports)";
  switch (choice->error) {
    case PortChoiceError::None: return true;
    case PortChoiceError::NoPorts:
      *error = "no MIDI ports to reach a keyboard (Midi Through, system ports and our own do not count)" + see;
      break;
    case PortChoiceError::SeveralDevices:
      *error = "more than one MIDI device could be the keyboard; choose one with --port:" + Listed(choice->candidates);
      break;
    case PortChoiceError::NoDevice:
      *error = "no MIDI input and output of one device; choose them with --in and --out, or --port" + see;
      break;
    case PortChoiceError::NeedBoth: *error = "give both --in and --out, or --port"; break;
    case PortChoiceError::NoSuchNumber:
      *error = "no MIDI " + choice->direction + " number " + choice->wanted + see;
      break;
    case PortChoiceError::NoMatch:
      *error = "no MIDI " + choice->direction + " matches \"" + choice->wanted + "\"" + see;
      break;
    case PortChoiceError::SeveralMatch:
      *error = "more than one MIDI " + choice->direction + " matches \"" + choice->wanted +
               "\"; give its address, number or whole name:" + Listed(choice->candidates);
      break;
  }
  return false;
}

std::string BridgeWarning() {
  return "songuploader: warning: the keyboard is reached through the a2jmidid bridge, which drops MIDI messages "
         "longer than 16 bytes: the keyboard will answer, but the song's data blocks will be lost. Use --api alsa.";
}

}  // namespace su::cli
