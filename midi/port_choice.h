// Which MIDI input and output reach the keyboard, from the two lists of port names a MIDI system gives: the
// default pair, or the ports a user names. One rule for every front end that picks ports itself (the
// command line, the web page): plain names in, a choice or the reason there is none out; the texts shown
// for a reason belong to the front end.
//
// Names are read in the forms the MIDI systems give them:
//   ALSA sequencer  "Client:Port 20:0"            (client name, port name, client:port address)
//   JACK            "client:port", "client-01:port" (a second client of one name gets a suffix)
//   a2jmidid bridge "a2j:Device [20] (capture): Port"  (ALSA ports bridged into JACK)
//   anything else   the whole name (one name for a device's input and output, as on Windows)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace su {

// What a port name says about the port.
struct PortName {
  std::string device;     // the ports of one device share it: the ALSA client number, the JACK client
                          // without its suffix, the bridged device, or the whole name
  std::string client;     // the client's name as a user would type it ("" when the name has none)
  std::string address;    // ALSA "20:0", else ""
  bool bridge = false;    // an ALSA port seen through the a2jmidid bridge
  bool ignored = false;   // never a default choice: Midi Through, system ports, our own ports
};

PortName ReadPortName(const std::string& name);

enum class PortChoiceError {
  None,
  NoPorts,          // no input or no output that could reach a keyboard
  SeveralDevices,   // more than one device could be the keyboard: `candidates` names them
  NoDevice,         // ports there are, but no input and output of one device
  NeedBoth,         // --in without --out or the reverse
  NoSuchNumber,     // `wanted` is a number no port of `direction` carries
  NoMatch,          // no port of `direction` matches `wanted`
  SeveralMatch,     // more than one port of `direction` matches `wanted`: `candidates` names them
};

struct PortChoice {
  std::int32_t in = -1;   // index into the inputs
  std::int32_t out = -1;  // index into the outputs
  bool bridge = false;    // one of them goes through the a2jmidid bridge, which drops messages longer than 16 bytes
  PortChoiceError error = PortChoiceError::None;
  std::string direction;                // "input" or "output" for NoSuchNumber, NoMatch, SeveralMatch
  std::string wanted;                   // what the user asked for
  std::vector<std::string> candidates;  // for SeveralDevices and SeveralMatch
};

// Chooses the pair. `inWanted` and `outWanted` are what the user named ("" for the default): a port number,
// an ALSA address ("20:0"), a whole port name, a client name, or a part of a name only one port carries,
// tried in that order (names without regard to case). The default is the one device with an input and an
// output among the ports that are not ignored, or else the only input and output left.
PortChoice ChoosePortPair(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs,
                          const std::string& inWanted, const std::string& outWanted);

// Where the port called `name` is in `names` now (the list may have shifted since it was read, for
// instance by our own port being created), or -1 when it is gone.
std::int32_t FindPortNow(const std::vector<std::string>& names, const std::string& name);

}  // namespace su
