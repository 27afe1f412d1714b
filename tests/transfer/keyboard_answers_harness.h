// What the keyboard-answer fuzz targets share: a keyboard that answers every message with the next turn of
// the fuzz input, and a harness that runs one family's operations against it in turn, each on its own, and
// checks after each that it ended with a value or with a failure from the string table and left the driver,
// the boxes and the run state in order.
//
// The input is a script of the keyboard's answers, read front to back as the program sends its messages.
// For every message the program sends, one turn byte:
//   bits 0-1  how many frames answer it (0: silence)
//   bits 2-3  when the first frame arrives: 1, 40, 2990 or 3500 ms after the message (3500 is after the
//             receive time-out, so that answer meets whatever the program does next)
//   bit 4     the frames arrive in the same instant (only the first finds a buffer) instead of 1 ms apart
//   bits 5-6  while box 139 is up: when the user presses its Cancel (10 s, 2 ms, 1500 ms or 3100 ms after)
// then, for every frame, one head byte:
//   bit 7     the body is framed: F0 44 and the model address of the message it answers (14 00 for family C,
//             11 03 or 11 02 for family A, 15 01 for family B) in front of it and F7 behind it
//   bits 0-6  the body's length; 127 means 127 + 4 * the next byte (up to 1147 bytes, past the 1024-byte
//             input buffer)
// and the body. Once the input is used up the keyboard is silent; the closing wait of a transfer, which has
// no time-out of its own, then ends through Cancel in box 139, pressed at the latest 10 s after the closing
// message, when every answer to it has long arrived. make_keyboard_corpus.py writes seeds in this format. A
// failure of an invariant aborts with a line saying which; each target's seeds are replayed as a plain test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/screen.h"
#include "tests/support/fake_screen.h"
#include "tests/support/virtual_link.h"

namespace su::test::answers {

// Which family's operations a target runs: the only model addresses its messages may carry.
enum class Family { A, B, C };

[[noreturn]] void Fail(const char* operation, const std::string& what);

// The song image every send operation sends: 260 bytes, three blocks.
constexpr std::uint32_t kImageSize = 260;
std::unique_ptr<std::uint8_t[]> MakeImage();

// A result that may only be 0 or 1.
void ReturnsFlag(const char* name, int result);
bool IsLowerHex(const std::string& text);

// The keyboard: answers every message with the next turn of the input.
class ScriptPeer : public VirtualPeer {
 public:
  ScriptPeer(const std::uint8_t* data, std::size_t size, Family family, std::size_t maxMessages,
             VirtualLink& link, FakeScreen& screen)
      : data_(data), size_(size), family_(family), maxMessages_(maxMessages), link_(link), screen_(screen) {}

  void OnMessage(const std::vector<std::uint8_t>& message, ReplySink& sink) override;

 private:
  bool Used() const { return at_ >= size_; }
  std::uint8_t Next(std::uint8_t otherwise) { return Used() ? otherwise : data_[at_++]; }
  std::vector<std::uint8_t> Frame();
  void CheckSent(const std::vector<std::uint8_t>& m) const;

  const std::uint8_t* data_;
  std::size_t size_;
  Family family_;
  std::size_t maxMessages_;
  std::size_t at_ = 0;
  std::size_t messages_ = 0;
  VirtualLink& link_;
  FakeScreen& screen_;
  WindowRef cancelScheduledFor_ = nullptr;
  std::uint8_t addressHigh_ = 0x14;
  std::uint8_t addressLow_ = 0x00;
};

// The ports open over the virtual link to the script keyboard, the run state fresh; all undone at the end.
// `maxMessages` is the most messages the target's operations may send for any input.
class Harness {
 public:
  Harness(const std::uint8_t* data, std::size_t size, Family family, std::size_t maxMessages);
  ~Harness();
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;

  // Runs `operation`; a raised message must be in the string table and a keyboard error must be a refusal.
  // Afterwards the driver must not have been misused and no progress box may be left open.
  template <typename Operation>
  void Attempt(const char* name, Operation operation) {
    std::string outcome = "returned";
    try {
      operation();
    } catch (const RaisedMessage& raised) {
      if (screen_.Text(raised.number).empty())
        Fail(name, "raised message " + std::to_string(raised.number) + ", which is not in the string table");
      outcome = "message " + std::to_string(raised.number);
    } catch (const APP_EXCEPTION& error) {
      if (error.kind != kKeyboardRefused) Fail(name, "a keyboard error of kind " + std::to_string(error.kind));
      outcome = "keyboard error " + std::to_string(error.code);
    }
    Ended(name, outcome);
  }

  FakeScreen& Screen() { return screen_; }

 private:
  void Ended(const char* name, const std::string& outcome);

  // KEYBOARD_ANSWERS_TRACE=1 prints how each operation ended, to check what a seed reaches.
  const bool trace_ = std::getenv("KEYBOARD_ANSWERS_TRACE") != nullptr;
  VirtualLink link_;
  FakeScreen screen_;
  ScriptPeer peer_;
};

}  // namespace su::test::answers
