#include "midi/port_choice.h"

#include <algorithm>
#include <cctype>

namespace su {

namespace {

constexpr char kOwnClient[] = "songuploader";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

bool StartsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

// "20:0": a client and a port number.
bool IsAddress(const std::string& text) {
  const std::size_t colon = text.find(':');
  return colon != std::string::npos && AllDigits(text.substr(0, colon)) && AllDigits(text.substr(colon + 1));
}

// A JACK client's name without the "-01" a second client of the same name is given.
std::string WithoutSuffix(const std::string& client) {
  const std::size_t dash = client.rfind('-');
  if (dash == std::string::npos || dash == 0 || !AllDigits(client.substr(dash + 1))) return client;
  return client.substr(0, dash);
}

bool IsOwnClient(const std::string& client) { return client == kOwnClient || StartsWith(client, std::string(kOwnClient) + "-"); }

bool IsThrough(const std::string& client) { return StartsWith(Lower(client), "midi through"); }

// An ALSA port behind a bridge into JACK: "Device [20] (capture): Port" from a2jmidid, "Device:(capture_0)
// Port" from a sound server's MIDI bridge. The device is the part before the direction.
bool ReadBridged(const std::string& port, std::string* device) {
  for (const char* direction : {" (capture)", " (playback)", ":(capture", ":(playback"}) {
    const std::size_t at = port.find(direction);
    if (at != std::string::npos) {
      *device = port.substr(0, at);
      return true;
    }
  }
  return false;
}

// The ALSA client number in "Device [20]", cut away for the name a user types.
std::string WithoutClientNumber(const std::string& device) {
  const std::size_t open = device.rfind(" [");
  if (open == std::string::npos || device.back() != ']') return device;
  return device.substr(0, open);
}

}  // namespace

PortName ReadPortName(const std::string& name) {
  PortName port;
  // The ALSA sequencer: "Client:Port 20:0".
  const std::size_t space = name.rfind(' ');
  const std::size_t colon = name.find(':');
  if (space != std::string::npos && colon != std::string::npos && colon < space &&
      IsAddress(name.substr(space + 1))) {
    port.address = name.substr(space + 1);
    port.client = name.substr(0, colon);
    port.device = "alsa " + port.address.substr(0, port.address.find(':'));
    port.ignored = port.address.substr(0, port.address.find(':')) == "0" || port.client == "System" ||
                   IsThrough(port.client) || IsOwnClient(port.client);
    return port;
  }
  // JACK: "client:port", bridged ALSA ports behind a bridge client.
  if (colon != std::string::npos && colon > 0) {
    const std::string client = WithoutSuffix(name.substr(0, colon));
    const std::string rest = name.substr(colon + 1);
    std::string device;
    if ((client == "a2j" || client == "Midi-Bridge") && ReadBridged(rest, &device)) {
      port.bridge = client == "a2j";
      port.client = WithoutClientNumber(device);
      port.device = client + ":" + device;
      port.ignored = IsThrough(port.client) || IsOwnClient(port.client);
      return port;
    }
    port.client = client;
    port.device = "jack " + client;
    port.ignored = client == "system" || IsThrough(client) || IsOwnClient(client);
    return port;
  }
  port.device = name;
  port.ignored = IsThrough(name) || StartsWith(name, kOwnClient);
  return port;
}

namespace {

struct Found {
  std::int32_t index = -1;
  PortChoiceError error = PortChoiceError::None;
  std::vector<std::string> candidates;
};

// The ports among `matches` (indexes into `names`): the first when they all belong to one device (a
// device's first port is its main one), else SeveralMatch.
Found OneDevice(const std::vector<std::string>& names, const std::vector<std::int32_t>& matches) {
  Found found;
  if (matches.empty()) return found;
  const std::string device = ReadPortName(names[static_cast<std::size_t>(matches[0])]).device;
  for (const std::int32_t i : matches) {
    if (ReadPortName(names[static_cast<std::size_t>(i)]).device != device) {
      found.error = PortChoiceError::SeveralMatch;
      for (const std::int32_t j : matches) found.candidates.push_back(names[static_cast<std::size_t>(j)]);
      return found;
    }
  }
  found.index = matches[0];
  return found;
}

// The one port `wanted` names in `names`.
Found Find(const std::vector<std::string>& names, const std::string& wanted) {
  Found found;
  if (AllDigits(wanted)) {
    if (wanted.size() < 9 && std::stol(wanted) < static_cast<long>(names.size())) {
      found.index = static_cast<std::int32_t>(std::stol(wanted));
    } else {
      found.error = PortChoiceError::NoSuchNumber;
    }
    return found;
  }
  const std::string lower = Lower(wanted);
  std::vector<std::int32_t> address, whole, client, part;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const PortName port = ReadPortName(names[i]);
    const auto index = static_cast<std::int32_t>(i);
    if (!port.address.empty() && port.address == wanted) address.push_back(index);
    if (Lower(names[i]) == lower) whole.push_back(index);
    if (!port.client.empty() && Lower(port.client) == lower) client.push_back(index);
    // Our own ports only by their whole name: a part of a name means a device.
    if (Lower(names[i]).find(lower) != std::string::npos && !IsOwnClient(port.client)) part.push_back(index);
  }
  for (const std::vector<std::int32_t>* matches : {&address, &whole, &client, &part}) {
    if (matches->empty()) continue;
    if (matches == &whole && whole.size() > 1) continue;  // the same name twice: let the client decide
    return OneDevice(names, *matches);
  }
  found.error = PortChoiceError::NoMatch;
  return found;
}

PortChoice DefaultPair(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs) {
  PortChoice choice;
  std::vector<std::int32_t> ins, outs;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    if (!ReadPortName(inputs[i]).ignored) ins.push_back(static_cast<std::int32_t>(i));
  }
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (!ReadPortName(outputs[i]).ignored) outs.push_back(static_cast<std::int32_t>(i));
  }
  if (ins.empty() || outs.empty()) {
    choice.error = PortChoiceError::NoPorts;
    return choice;
  }
  // The devices with an input and an output, in the order of the inputs; each with its first of both.
  std::vector<std::pair<std::int32_t, std::int32_t>> pairs;
  std::vector<std::string> seen;
  for (const std::int32_t in : ins) {
    const std::string device = ReadPortName(inputs[static_cast<std::size_t>(in)]).device;
    if (std::find(seen.begin(), seen.end(), device) != seen.end()) continue;
    seen.push_back(device);
    for (const std::int32_t out : outs) {
      if (ReadPortName(outputs[static_cast<std::size_t>(out)]).device == device) {
        pairs.emplace_back(in, out);
        break;
      }
    }
  }
  if (pairs.size() > 1) {
    choice.error = PortChoiceError::SeveralDevices;
    for (const auto& pair : pairs) choice.candidates.push_back(inputs[static_cast<std::size_t>(pair.first)]);
    return choice;
  }
  if (pairs.empty()) {
    if (ins.size() != 1 || outs.size() != 1) {
      choice.error = PortChoiceError::NoDevice;
      return choice;
    }
    pairs.emplace_back(ins[0], outs[0]);
  }
  choice.in = pairs[0].first;
  choice.out = pairs[0].second;
  return choice;
}

}  // namespace

PortChoice ChoosePortPair(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs,
                          const std::string& inWanted, const std::string& outWanted) {
  PortChoice choice;
  if (inWanted.empty() && outWanted.empty()) {
    choice = DefaultPair(inputs, outputs);
  } else if (inWanted.empty() || outWanted.empty()) {
    choice.error = PortChoiceError::NeedBoth;
  } else {
    for (const bool input : {true, false}) {
      const std::string& wanted = input ? inWanted : outWanted;
      const Found found = Find(input ? inputs : outputs, wanted);
      if (found.index < 0) {
        choice.error = found.error;
        choice.direction = input ? "input" : "output";
        choice.wanted = wanted;
        choice.candidates = found.candidates;
        return choice;
      }
      (input ? choice.in : choice.out) = found.index;
    }
  }
  if (choice.error == PortChoiceError::None) {
    choice.bridge = ReadPortName(inputs[static_cast<std::size_t>(choice.in)]).bridge ||
                    ReadPortName(outputs[static_cast<std::size_t>(choice.out)]).bridge;
  }
  return choice;
}

std::int32_t FindPortNow(const std::vector<std::string>& names, const std::string& name) {
  const auto at = std::find(names.begin(), names.end(), name);
  return at == names.end() ? -1 : static_cast<std::int32_t>(at - names.begin());
}

}  // namespace su
