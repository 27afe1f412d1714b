// The virtual keyboard as a WebAssembly module for the test-and-demo-only Web MIDI stand-in (standin.js).
// One keyboard at a time: standin.js configures it from a config text (the demo files' format: `in=`/`out=`
// name the ports, every other line describes the keyboard), hands it each System Exclusive message the page
// sends, and collects the answers with their delays, which it then delivers in real time as a browser would.
//
// The interface is plain C over the module's memory: strings and byte arrays go in through buffers that
// standin.js allocates, and come back through one result buffer (vk_result / vk_result_size) that stays valid
// until the next call.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tools/virtual_keyboard/virtual_keyboard.h"
#include "tools/virtual_midi/vmidi_config.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Answers of one message, in the order the keyboard gave them.
class Collector : public su::test::ReplySink {
 public:
  void Reply(Bytes bytes, std::uint32_t delayMs) override { replies.emplace_back(std::move(bytes), delayMs); }
  std::vector<std::pair<Bytes, std::uint32_t>> replies;
};

std::unique_ptr<su::test::VirtualKeyboard> gKeyboard;
su::test::VirtualMidiConfig gPorts;
Collector gAnswers;
std::string gResult;

void Put32(std::string* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A run of bytes (a text or a message) as its length followed by the bytes.
void PutText(std::string* out, const std::string& text) {
  Put32(out, static_cast<std::uint32_t>(text.size()));
  out->append(text);
}

}  // namespace

extern "C" {

// Replaces the keyboard with one described by `text`. 1 on success; 0 with the offending line in the result.
EMSCRIPTEN_KEEPALIVE int vk_configure(const char* text) {
  su::test::VirtualMidiConfig ports;
  std::string error;
  if (!su::test::ParseVirtualMidiConfig(text, &ports, &error)) {
    gResult = error;
    return 0;
  }
  su::test::KeyboardConfig config;
  if (!su::test::ParseKeyboardConfig(ports.keyboardText, &config, &error)) {
    gResult = error;
    return 0;
  }
  gPorts = std::move(ports);
  gKeyboard = std::make_unique<su::test::VirtualKeyboard>(std::move(config));
  gAnswers.replies.clear();
  gResult.clear();
  return 1;
}

// The ports of the last config: input names, then output names, then the refused inputs and outputs.
EMSCRIPTEN_KEEPALIVE void vk_ports() {
  gResult.clear();
  Put32(&gResult, static_cast<std::uint32_t>(gPorts.inNames.size()));
  for (const std::string& name : gPorts.inNames) PutText(&gResult, name);
  Put32(&gResult, static_cast<std::uint32_t>(gPorts.outNames.size()));
  for (const std::string& name : gPorts.outNames) PutText(&gResult, name);
  Put32(&gResult, static_cast<std::uint32_t>(gPorts.refuseIn.size()));
  for (std::uint32_t index : gPorts.refuseIn) Put32(&gResult, index);
  Put32(&gResult, static_cast<std::uint32_t>(gPorts.refuseOut.size()));
  for (std::uint32_t index : gPorts.refuseOut) Put32(&gResult, index);
}

// Hands one whole System Exclusive message to the keyboard. The result holds its answers: a count, then for
// each its delay in milliseconds, its length and its bytes.
EMSCRIPTEN_KEEPALIVE void vk_message(const std::uint8_t* bytes, std::uint32_t size) {
  gAnswers.replies.clear();
  if (gKeyboard) gKeyboard->OnMessage(Bytes(bytes, bytes + size), gAnswers);
  gResult.clear();
  Put32(&gResult, static_cast<std::uint32_t>(gAnswers.replies.size()));
  for (const auto& [answer, delay] : gAnswers.replies) {
    Put32(&gResult, delay);
    PutText(&gResult, std::string(answer.begin(), answer.end()));
  }
  gAnswers.replies.clear();
}

// The slots as the keyboard holds them: a count, then each slot's status, size, name and contents.
EMSCRIPTEN_KEEPALIVE void vk_slots() {
  gResult.clear();
  const std::size_t count = gKeyboard ? gKeyboard->SlotCount() : 0;
  Put32(&gResult, static_cast<std::uint32_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    const su::test::KeyboardSlot slot = gKeyboard->Slot(i);
    Put32(&gResult, slot.status);
    Put32(&gResult, slot.size);
    PutText(&gResult, slot.name);
    PutText(&gResult, std::string(slot.contents.begin(), slot.contents.end()));
  }
}

// The keyboard's free memory, the protocol faults it noticed in what it received, and the transfers it took.
EMSCRIPTEN_KEEPALIVE void vk_state() {
  gResult.clear();
  if (!gKeyboard) return;
  Put32(&gResult, gKeyboard->FreeMemory());
  const std::vector<std::string> faults = gKeyboard->Faults();
  Put32(&gResult, static_cast<std::uint32_t>(faults.size()));
  for (const std::string& fault : faults) PutText(&gResult, fault);
  Put32(&gResult, gKeyboard->Restarts());
}

// A keyboard that hung after its songs (silent_after_songs=) answers again.
EMSCRIPTEN_KEEPALIVE void vk_resume() {
  if (gKeyboard) gKeyboard->Resume();
}

EMSCRIPTEN_KEEPALIVE const char* vk_result() { return gResult.data(); }
EMSCRIPTEN_KEEPALIVE std::uint32_t vk_result_size() { return static_cast<std::uint32_t>(gResult.size()); }

}  // extern "C"
