#include "tests/transfer/keyboard_answers_harness.h"

#include <algorithm>

#include "base/run_state.h"
#include "midi/port_session.h"
#include "resources/resource.h"
#include "transfer/family_c/frames.h"

namespace su::test::answers {

namespace {

constexpr std::uint32_t kFirstFrameDelays[4] = {1, 40, 2990, 3500};
constexpr std::uint32_t kCancelDelays[4] = {10000, 2, 1500, 3100};
// Nothing here may take an hour of virtual time: every wait of the program ends within seconds once the
// input is used up.
constexpr std::uint32_t kVirtualHour = 3600u * 1000u;

}  // namespace

void Fail(const char* operation, const std::string& what) {
  std::fprintf(stderr, "keyboard answers: %s: %s\n", operation, what.c_str());
  std::abort();
}

std::unique_ptr<std::uint8_t[]> MakeImage() {
  std::unique_ptr<std::uint8_t[]> image(new std::uint8_t[kImageSize]);
  for (std::uint32_t i = 0; i < kImageSize; ++i) image[i] = static_cast<std::uint8_t>(i * 37 + 11);
  return image;
}

void ReturnsFlag(const char* name, int result) {
  if (result != 0 && result != 1) Fail(name, "returned " + std::to_string(result));
}

bool IsLowerHex(const std::string& text) {
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

void ScriptPeer::OnMessage(const std::vector<std::uint8_t>& message, ReplySink& sink) {
  CheckSent(message);
  addressHigh_ = message[2];
  addressLow_ = message[3];
  if (++messages_ > maxMessages_) Fail("link", "the program sent more messages than its operations can");

  const std::uint8_t turn = Next(0);
  const int count = turn & 3;
  std::uint32_t delay = kFirstFrameDelays[(turn >> 2) & 3];
  const std::uint32_t gap = (turn & 0x10) != 0 ? 0 : 1;
  for (int i = 0; i < count && !Used(); ++i) {
    sink.Reply(Frame(), delay);
    delay += gap;
  }

  const WindowRef box = screen_.LastWindowOf(IDD_SENDING);
  if (box != nullptr && box != cancelScheduledFor_ && screen_.IsOpen(box)) {
    cancelScheduledFor_ = box;
    FakeScreen* screen = &screen_;
    link_.PostWindowMessage(kCancelDelays[(turn >> 5) & 3], [screen, box] {
      if (screen->IsOpen(box)) screen->PressSendingCancel(box);
    });
  }
}

std::vector<std::uint8_t> ScriptPeer::Frame() {
  const std::uint8_t head = Next(0);
  std::size_t length = head & 0x7F;
  if (length == 0x7F) length += 4u * Next(0);
  const bool framed = (head & 0x80) != 0;
  std::vector<std::uint8_t> frame;
  if (framed) frame = {family_c::kSysExStart, family_c::kMakerId, addressHigh_, addressLow_};
  const std::size_t take = std::min(length, size_ - at_);
  // Byte by byte: gcc 12 misreads a range insert into a vector that may still be empty here.
  for (std::size_t i = 0; i < take; ++i) frame.push_back(data_[at_ + i]);
  at_ += take;
  if (framed) frame.push_back(family_c::kSysExEnd);
  return frame;
}

// Whatever the keyboard said before, the program only ever sends whole frames with seven-bit data between F0
// and F7, to its family's model address: 0x1400 for family C, 0x1103 or 0x1102 with 7F in byte 4 for
// family A, 0x1501 with 7F in byte 4 for family B.
void ScriptPeer::CheckSent(const std::vector<std::uint8_t>& m) const {
  if (m.size() < 6 || m.front() != 0xF0 || m.back() != 0xF7) Fail("link", "a sent message is not one frame");
  bool head = false;
  switch (family_) {
    case Family::C: head = m[2] == 0x14 && m[3] == 0x00; break;
    case Family::A: head = m[2] == 0x11 && (m[3] == 0x03 || m[3] == 0x02) && m.size() >= 13 && m[4] == 0x7F; break;
    case Family::B: head = m[2] == 0x15 && m[3] == 0x01 && m.size() >= 11 && m[4] == 0x7F; break;
  }
  if (m[1] != 0x44 || !head) Fail("link", "a sent message has the wrong head");
  for (std::size_t i = 1; i + 1 < m.size(); ++i)
    if (m[i] >= 0x80) Fail("link", "a sent message carries a byte with bit 7 set inside the frame");
}

Harness::Harness(const std::uint8_t* data, std::size_t size, Family family, std::size_t maxMessages)
    : peer_(data, size, family, maxMessages, link_, screen_) {
  Run() = RunState{};
  SetScreen(&screen_);
  link_.SetInDevices({"Virtual in"});
  link_.SetOutDevices({"Virtual out"});
  link_.AttachPeer(&peer_);
  InstallMidi(&link_, &link_);
  Run().midiInIndex = 0;
  Run().midiOutIndex = 0;
  if (OpenMidiPorts() != 1 || StartMidiInput() != 1) Fail("set-up", "the ports did not open");
  link_.PostWindowMessage(kVirtualHour, [] { Fail("link", "still waiting after an hour of virtual time"); });
}

Harness::~Harness() {
  CloseMidiPorts();
  InstallMidi(nullptr, nullptr);
  SetScreen(nullptr);
  Run() = RunState{};
}

void Harness::Ended(const char* name, const std::string& outcome) {
  if (trace_)
    std::fprintf(stderr, "  %-28s %s (%llu ms)\n", name, outcome.c_str(),
                 static_cast<unsigned long long>(link_.Elapsed()));
  if (!link_.Misuse().empty()) Fail(name, "driver misuse: " + link_.Misuse().front());
  for (int id : {IDD_SENDING, IDD_DELETING}) {
    const WindowRef box = screen_.LastWindowOf(id);
    if (box != nullptr && screen_.IsOpen(box)) Fail(name, "box " + std::to_string(id) + " left open");
  }
}

}  // namespace su::test::answers
