// The config of the virtual MIDI interface, read from the file named by SU_VMIDI_CONFIG. One `key=value`
// per line; blank lines and lines starting with # are ignored; spaces around keys and values are trimmed.
//   in=QK USB IN 1        an input device, in device order (repeat the key for more devices)
//   out=QK USB OUT 1      an output device, in device order
//   refuse_in=0           opening input device 0 fails as if another program had it (repeatable)
//   refuse_out=0          the same for an output device
//   log=Z:\tmp\frames.log every message the program sends is appended as one line of upper-case hex bytes
//   trace=Z:\tmp\vmidi.txt  what the interface did and what it refused, one line each (for debugging)
//   done_ms=1             how long after a send the driver reports it done; "never" for a send time-out
//   timestamps=Z:\tmp\t.txt when each long message was handed in and each answer landed in a buffer, in
//                         microseconds, written when the output port closes (default: not recorded)
//   unplug_after=12       the keyboard is unplugged once the program has handed in 12 long messages: from
//                         then on a long message, a header to prepare, an input buffer and a capabilities
//                         query by port handle are refused with MMSYSERR_NODRIVER, as a real driver refuses
//                         them for a device that is gone, and nothing more arrives after the first refusal
//                         (default: never)
//   unplug_with=F0 44 15 01 7F 0D  the keyboard is unplugged once the program has handed in a long message
//                         beginning with these bytes (hex), as with unplug_after (default: none)
//   unplug_delay_ms=1000  with unplug_after or unplug_with, the keyboard goes this long after that message was handed in
//                         (the trace says at which tick count) instead of at once (default 0)
//   stuck_when_unplugged=yes  once unplugged, resetting and closing a port are refused with MMSYSERR_NODRIVER
//                         too, and the input buffer queued then stays queued on the port, as with a driver
//                         that lost its device mid-way (default: no)
//   replug=yes            once unplugged, the keyboard is plugged in again when the program next opens a
//                         port: it is reached through new ports, and the ports still open from before keep
//                         their handles and what is queued on them and refuse every call; a header one of
//                         them still holds, input or output, is refused by the new ones (default: no)
//   withhold_done=yes     a long message the port holds when the keyboard goes is never reported done: its
//                         header stays queued on the port (default: no)
//   query_error_after=F0 44 14 00 05  once a long message beginning with these bytes (hex) is handed in, the
//                         next capabilities query by port handle answers MMSYSERR_ERROR, once, the keyboard
//                         staying there (default: none)
//   refuse_once=F0 44 15  the first long message that begins with these bytes (hex) is refused with
//                         MMSYSERR_ERROR while the keyboard stays there, as the system sometimes refuses a call
//                         in passing; it never reaches the keyboard (default: none)
// Every other line goes to the virtual keyboard behind the devices (see its config format).
// Without a config file there is one input and one output device and a keyboard with its defaults.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace su::test {

struct VirtualMidiConfig {
  std::vector<std::string> inNames{"Virtual MIDI In"};
  std::vector<std::string> outNames{"Virtual MIDI Out"};
  std::set<std::uint32_t> refuseIn, refuseOut;
  std::string logPath;
  std::string tracePath;
  std::string timestampPath;
  std::optional<std::uint32_t> doneMs = 1;
  std::optional<std::uint32_t> unplugAfter;
  std::vector<std::uint8_t> unplugWith;
  std::uint32_t unplugDelayMs = 0;
  bool stuckWhenUnplugged = false;
  bool replug = false;
  bool withholdDone = false;
  std::vector<std::uint8_t> queryErrorAfter;
  std::vector<std::uint8_t> refuseOnce;
  std::string keyboardText;  // the lines meant for the virtual keyboard
};

// false with a message naming the line when a line of ours cannot be read.
bool ParseVirtualMidiConfig(const std::string& text, VirtualMidiConfig* config, std::string* error);

}  // namespace su::test
