// The device at the far end of a virtual MIDI cable. The virtual keyboard implements it; the native virtual
// link and the test-only winmm.dll both drive it.
#pragma once

#include <cstdint>
#include <vector>

namespace su::test {

// Where a peer puts its answers. `delayMs` is how long after the message it answers (virtual or real time).
class ReplySink {
 public:
  virtual ~ReplySink() = default;
  virtual void Reply(std::vector<std::uint8_t> bytes, std::uint32_t delayMs) = 0;
};

class VirtualPeer {
 public:
  virtual ~VirtualPeer() = default;
  // One complete System Exclusive message that the program sent (F0 ... F7 as sent).
  virtual void OnMessage(const std::vector<std::uint8_t>& message, ReplySink& sink) = 0;
};

}  // namespace su::test
