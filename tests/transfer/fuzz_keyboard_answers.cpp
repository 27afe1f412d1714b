// Fuzz target for the keyboard's side of the link: whatever bytes come back, in whatever number and at
// whatever moment, every family C and family A operation ends with a value or with a failure from the string
// table, and leaves the driver, the boxes and the run state in order (family B too).
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
// message, when every answer to it has long arrived.
//
// Per input the operations run in turn, each on its own: IdentifyKeyboard, ReadSlotInfo for four slots,
// ReadFreeSpace, AnnounceSong, SendSongImage of a 260-byte image (three blocks) and the delete of the slot
// list's selected song; then the family A operations at model address 0x1103: PrepareKeyboardA (quiet, then
// not), MatchModelA, ReadSlotInfoA for slot 0 (size and name), slot 9 (size and name) and slot 1 (used flag
// only), ReadFreeSpaceA, DeleteSlotA, SendSongImageA of the same image, WriteSongNameA, and ProbeFamilyA
// with both model addresses; then the family B operations: ReadModelB, ReadSlotInfoB for slot 0 (size and
// name) and slot 9 (size only), ReadFreeSpaceB, ReadMaxSongSizeB, DeleteSlotB, SendSongImageB of the same
// image and ProbeFamilyB. make_keyboard_corpus.py writes seeds in this format. A failure of an invariant
// aborts with a line saying which; the replay of the seeds runs this same function as a plain test.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/dialogs/dialog_progress.h"
#include "app/dialogs/slot_dialog.h"
#include "base/errors.h"
#include "base/run_state.h"
#include "base/screen.h"
#include "midi/identification.h"
#include "midi/port_session.h"
#include "resources/resource.h"
#include "tests/support/fake_screen.h"
#include "tests/support/virtual_link.h"
#include "transfer/family_a/frames.h"
#include "transfer/family_a/probe.h"
#include "transfer/family_a/protocol.h"
#include "transfer/family_b/frames.h"
#include "transfer/family_b/probe.h"
#include "transfer/family_b/protocol.h"
#include "transfer/family_c/frames.h"
#include "transfer/family_c/protocol.h"
#include "transfer/family_c/slot_layout.h"
#include "transfer/families.h"

namespace {

using su::test::FakeScreen;
using su::test::ReplySink;
using su::test::VirtualLink;
using su::test::VirtualPeer;

[[noreturn]] void Fail(const char* operation, const std::string& what) {
  std::fprintf(stderr, "keyboard answers: %s: %s\n", operation, what.c_str());
  std::abort();
}

constexpr std::uint32_t kFirstFrameDelays[4] = {1, 40, 2990, 3500};
constexpr std::uint32_t kCancelDelays[4] = {10000, 2, 1500, 3100};
constexpr std::uint32_t kImageSize = 260;
constexpr std::uint8_t kDeleteRow = 2;
// Nothing here may take an hour of virtual time: every wait of the program ends within seconds once the
// input is used up.
constexpr std::uint32_t kVirtualHour = 3600u * 1000u;
// The most messages one input may draw from the program. Family C: identity, four slot reads, free space,
// announce, three blocks sent up to six times each, the closing message and the delete. Family A: two
// prepares, the model read, two slot reads of five messages and one of one, free space, delete, three blocks
// in each of six starts, two closing frames, three name pieces, and the probe's five messages. Family B: the
// model read, two slot reads of two messages and one, free space, the largest song, delete, three blocks, two
// closing frames and the probe's model read.
constexpr std::size_t kMaxMessages = (1 + 4 + 1 + 1 + 3 * 6 + 1 + 1) + (2 + 2 + 1 + 5 + 5 + 1 + 1 + 1 + 3 * 6 + 2 + 3 + 5) +
                                     (1 + 2 + 1 + 1 + 1 + 1 + 3 + 2 + 1);

// The keyboard: answers every message with the next turn of the input.
class ScriptPeer : public VirtualPeer {
 public:
  ScriptPeer(const std::uint8_t* data, std::size_t size, VirtualLink& link, FakeScreen& screen)
      : data_(data), size_(size), link_(link), screen_(screen) {}

  void OnMessage(const std::vector<std::uint8_t>& message, ReplySink& sink) override {
    CheckSent(message);
    addressHigh_ = message[2];
    addressLow_ = message[3];
    if (++messages_ > kMaxMessages) Fail("link", "the program sent more messages than its operations can");

    const std::uint8_t turn = Next(0);
    const int count = turn & 3;
    std::uint32_t delay = kFirstFrameDelays[(turn >> 2) & 3];
    const std::uint32_t gap = (turn & 0x10) != 0 ? 0 : 1;
    for (int i = 0; i < count && !Used(); ++i) {
      sink.Reply(Frame(), delay);
      delay += gap;
    }

    const su::WindowRef box = screen_.LastWindowOf(IDD_SENDING);
    if (box != nullptr && box != cancelScheduledFor_ && screen_.IsOpen(box)) {
      cancelScheduledFor_ = box;
      FakeScreen* screen = &screen_;
      link_.PostWindowMessage(kCancelDelays[(turn >> 5) & 3], [screen, box] {
        if (screen->IsOpen(box)) screen->PressSendingCancel(box);
      });
    }
  }

 private:
  bool Used() const { return at_ >= size_; }
  std::uint8_t Next(std::uint8_t otherwise) { return Used() ? otherwise : data_[at_++]; }

  std::vector<std::uint8_t> Frame() {
    const std::uint8_t head = Next(0);
    std::size_t length = head & 0x7F;
    if (length == 0x7F) length += 4u * Next(0);
    const bool framed = (head & 0x80) != 0;
    std::vector<std::uint8_t> frame;
    if (framed) frame = {su::family_c::kSysExStart, su::family_c::kMakerId, addressHigh_, addressLow_};
    const std::size_t take = std::min(length, size_ - at_);
    // Byte by byte: gcc 12 misreads a range insert into a vector that may still be empty here.
    for (std::size_t i = 0; i < take; ++i) frame.push_back(data_[at_ + i]);
    at_ += take;
    if (framed) frame.push_back(su::family_c::kSysExEnd);
    return frame;
  }

  // Whatever the keyboard said before, the program only ever sends whole frames to model address 0x1400, or
  // to a family A address with 7F in byte 4, with seven-bit data between F0 and F7.
  static void CheckSent(const std::vector<std::uint8_t>& m) {
    if (m.size() < 6 || m.front() != 0xF0 || m.back() != 0xF7) Fail("link", "a sent message is not one frame");
    const bool familyC = m[2] == 0x14 && m[3] == 0x00;
    const bool familyA = m[2] == 0x11 && (m[3] == 0x03 || m[3] == 0x02) && m.size() >= 13 && m[4] == 0x7F;
    const bool familyB = m[2] == 0x15 && m[3] == 0x01 && m.size() >= 11 && m[4] == 0x7F;
    if (m[1] != 0x44 || !(familyC || familyA || familyB)) Fail("link", "a sent message has the wrong head");
    for (std::size_t i = 1; i + 1 < m.size(); ++i)
      if (m[i] >= 0x80) Fail("link", "a sent message carries a byte with bit 7 set inside the frame");
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
  std::size_t messages_ = 0;
  VirtualLink& link_;
  FakeScreen& screen_;
  su::WindowRef cancelScheduledFor_ = nullptr;
  std::uint8_t addressHigh_ = 0x14;
  std::uint8_t addressLow_ = 0x00;
};

bool IsLowerHex(const std::string& text) {
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

class Harness {
 public:
  Harness(const std::uint8_t* data, std::size_t size) : peer_(data, size, link_, screen_) {
    su::Run() = su::RunState{};
    su::SetScreen(&screen_);
    link_.SetInDevices({"Virtual in"});
    link_.SetOutDevices({"Virtual out"});
    link_.AttachPeer(&peer_);
    su::InstallMidi(&link_, &link_);
    su::Run().midiInIndex = 0;
    su::Run().midiOutIndex = 0;
    if (su::OpenMidiPorts() != 1 || su::StartMidiInput() != 1) Fail("set-up", "the ports did not open");
    link_.PostWindowMessage(kVirtualHour, [] { Fail("link", "still waiting after an hour of virtual time"); });
  }
  ~Harness() {
    su::CloseMidiPorts();
    su::InstallMidi(nullptr, nullptr);
    su::SetScreen(nullptr);
    su::Run() = su::RunState{};
  }
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;

  void RunAll() {
    Attempt("IdentifyKeyboard", [&] { Identify(); });
    const std::uint8_t slots[] = {0, 1, 14};
    for (std::uint8_t slot : slots) Attempt("ReadSlotInfo", [&] { ReadSlot(slot); });
    Attempt("ReadSlotInfo (status only)", [&] {
      const int status = su::ReadSlotInfo(3, nullptr, nullptr);
      if (status < 0 || status > 0xFF) Fail("ReadSlotInfo (status only)", "status outside a byte");
    });
    Attempt("ReadFreeSpace", [&] { su::ReadFreeSpace(); });
    Attempt("AnnounceSong", [&] {
      const int accepted = su::AnnounceSong(kDeleteRow, kImageSize);
      if (accepted != 1 && accepted != -1) Fail("AnnounceSong", "returned " + std::to_string(accepted));
    });
    const su::WindowRef dialog = screen_.OpenBox(IDD_SEND_C, nullptr, nullptr);
    Attempt("SendSongImage", [&] { SendImage(dialog); });
    Attempt("DeleteSelectedSlot", [&] { Delete(dialog); });
    RunFamilyA(dialog);
    RunFamilyB(dialog);
  }

 private:
  template <typename Operation>
  void Attempt(const char* name, Operation operation) {
    std::string outcome = "returned";
    try {
      operation();
    } catch (const su::RaisedMessage& raised) {
      if (screen_.Text(raised.number).empty())
        Fail(name, "raised message " + std::to_string(raised.number) + ", which is not in the string table");
      outcome = "message " + std::to_string(raised.number);
    } catch (const su::APP_EXCEPTION& error) {
      if (error.kind != su::kKeyboardRefused) Fail(name, "a keyboard error of kind " + std::to_string(error.kind));
      outcome = "keyboard error " + std::to_string(error.code);
    }
    if (trace_) std::fprintf(stderr, "  %-28s %s (%llu ms)\n", name, outcome.c_str(),
                             static_cast<unsigned long long>(link_.Elapsed()));
    if (!link_.Misuse().empty()) Fail(name, "driver misuse: " + link_.Misuse().front());
    for (int id : {IDD_SENDING, IDD_DELETING}) {
      const su::WindowRef box = screen_.LastWindowOf(id);
      if (box != nullptr && screen_.IsOpen(box)) Fail(name, "box " + std::to_string(id) + " left open");
    }
  }

  void Identify() {
    const int found = su::IdentifyKeyboard();
    const su::RunState& run = su::Run();
    if (run.modelCode.size() > 2 || !IsLowerHex(run.modelCode))
      Fail("IdentifyKeyboard", "model code \"" + run.modelCode + "\"");
    if (run.modelInfoValid == 1 && (run.modelInfo.size() != 8 || !IsLowerHex(run.modelInfo)))
      Fail("IdentifyKeyboard", "model information \"" + run.modelInfo + "\"");
    if (run.modelInfoValid != 0 && run.modelInfoValid != 1) Fail("IdentifyKeyboard", "modelInfoValid not 0 or 1");
    if (found == 1) {
      if (run.modelType < 4 || run.modelType > 28)
        Fail("IdentifyKeyboard", "model type " + std::to_string(run.modelType));
    } else if (found == 0) {
      if (run.modelInfoValid != 0 || !run.modelInfo.empty())
        Fail("IdentifyKeyboard", "model information kept for a keyboard not found");
    } else {
      Fail("IdentifyKeyboard", "returned " + std::to_string(found));
    }
  }

  static void ReadSlot(std::uint8_t slot) {
    // Exactly the field's size on the heap, so a write past it is caught; filled so a missing zero shows.
    std::unique_ptr<char[]> name(new char[su::kSlotNameSize]);
    std::memset(name.get(), 'x', su::kSlotNameSize);
    std::uint32_t size = 0xDEADBEEF;
    const int status = su::ReadSlotInfo(slot, &size, name.get());
    if (std::getenv("KEYBOARD_ANSWERS_TRACE") != nullptr)
      std::fprintf(stderr, "  slot %u: status %d, size %u, name \"%s\"\n", slot, status, size, name.get());
    if (std::memchr(name.get(), 0, su::kSlotNameSize) == nullptr)
      Fail("ReadSlotInfo", "the name is not terminated within its 32 bytes");
    if (status < 0 || status > 0xFF) Fail("ReadSlotInfo", "status " + std::to_string(status));
    if (status == 1 && name[0] == '\0') Fail("ReadSlotInfo", "a slot with a song has neither name nor marker");
    if (status != 1 && (size != 0 || name[0] != '\0'))
      Fail("ReadSlotInfo", "a slot without a song has a size or a name");
  }

  void SendImage(su::WindowRef dialog) {
    std::unique_ptr<std::uint8_t[]> image(new std::uint8_t[kImageSize]);
    for (std::uint32_t i = 0; i < kImageSize; ++i) image[i] = static_cast<std::uint8_t>(i * 37 + 11);
    su::DialogProgress progress(dialog);
    su::SendSongImage(progress, image.get(), kImageSize);
  }

  void Delete(su::WindowRef dialog) {
    screen_.ListSetup(dialog, IDC_SLOT_LIST);
    for (int row = 0; row < su::kMaxSlotsC; ++row) screen_.ListInsertRow(dialog, IDC_SLOT_LIST, row, "");
    screen_.ListSelectRow(dialog, IDC_SLOT_LIST, kDeleteRow);
    // The user says Yes to message 49, so the delete either happens or raises.
    const int deleted = su::AskAndDelete(dialog, [] { su::FamilyC().erase({}, kDeleteRow); });
    if (deleted != 1) Fail("DeleteSelectedSlot", "returned " + std::to_string(deleted) + " after a Yes");
  }

  void RunFamilyA(su::WindowRef dialog) {
    constexpr std::uint16_t address = su::family_a::kAddressType21;
    Attempt("PrepareKeyboardA (quiet)", [&] { ReturnsFlag("PrepareKeyboardA", su::PrepareKeyboardA(address, true)); });
    Attempt("PrepareKeyboardA", [&] {
      if (su::PrepareKeyboardA(address, false) != 1) Fail("PrepareKeyboardA", "returned other than 1");
    });
    Attempt("MatchModelA", [&] { su::MatchModelA(address, 2); });
    for (std::uint8_t slot : {0, 9}) Attempt("ReadSlotInfoA", [&] { ReadSlotA(address, slot); });
    Attempt("ReadSlotInfoA (used only)", [&] { ReturnsFlag("ReadSlotInfoA", su::ReadSlotInfoA(address, 1, nullptr, nullptr)); });
    Attempt("ReadFreeSpaceA", [&] { su::ReadFreeSpaceA(address); });
    Attempt("DeleteSlotA", [&] { ReturnsFlag("DeleteSlotA", su::DeleteSlotA(address, 4)); });
    Attempt("SendSongImageA", [&] {
      std::unique_ptr<std::uint8_t[]> image(new std::uint8_t[kImageSize]);
      for (std::uint32_t i = 0; i < kImageSize; ++i) image[i] = static_cast<std::uint8_t>(i * 37 + 11);
      su::DialogProgress progress(dialog);
      su::SendSongImageA(address, 4, progress, image.get(), kImageSize);
    });
    Attempt("WriteSongNameA", [&] { su::WriteSongNameA(address, 4, "A fuzzed song name", 18); });
    Attempt("ProbeFamilyA", [&] {
      su::Run().debugZt52 = 1;
      su::Run().modelType = -1;
      const int found = su::ProbeFamilyA();
      const std::int32_t type = su::Run().modelType;
      if (found == 1 ? (type != 21 && type != 22) : (found != 0 || type != -1))
        Fail("ProbeFamilyA", "returned " + std::to_string(found) + " with model type " + std::to_string(type));
    });
  }

  void RunFamilyB(su::WindowRef dialog) {
    constexpr std::uint16_t address = su::family_b::kAddress;
    Attempt("ReadModelB", [&] { su::ReadModelB(address); });
    Attempt("ReadSlotInfoB", [&] { ReadSlotB(address, 0, true); });
    Attempt("ReadSlotInfoB (size only)", [&] { ReadSlotB(address, 9, false); });
    Attempt("ReadFreeSpaceB", [&] { su::ReadFreeSpaceB(address); });
    Attempt("ReadMaxSongSizeB", [&] { su::ReadMaxSongSizeB(address); });
    Attempt("DeleteSlotB", [&] { ReturnsFlag("DeleteSlotB", su::DeleteSlotB(address, 4)); });
    Attempt("SendSongImageB", [&] {
      std::unique_ptr<std::uint8_t[]> image(new std::uint8_t[kImageSize]);
      for (std::uint32_t i = 0; i < kImageSize; ++i) image[i] = static_cast<std::uint8_t>(i * 37 + 11);
      su::DialogProgress progress(dialog);
      su::SendSongImageB(address, 4, progress, image.get(), kImageSize);
    });
    Attempt("ProbeFamilyB", [&] {
      su::Run().modelType = -1;
      const int found = su::ProbeFamilyB();
      const std::int32_t type = su::Run().modelType;
      if (found == 1 ? (type < 25 || type > 27) : (found != 0 || type != -1))
        Fail("ProbeFamilyB", "returned " + std::to_string(found) + " with model type " + std::to_string(type));
    });
  }

  static void ReadSlotB(std::uint16_t address, std::uint8_t slot, bool withName) {
    std::unique_ptr<char[]> name(new char[su::kSlotNameSizeB]);
    std::memset(name.get(), 'x', su::kSlotNameSizeB);
    std::uint32_t size = 0xDEADBEEF;
    const int used = su::ReadSlotInfoB(address, slot, &size, withName ? name.get() : nullptr);
    ReturnsFlag("ReadSlotInfoB", used);
    if ((used == 1) != (size != 0)) Fail("ReadSlotInfoB", "the used flag does not follow the size");
    if (!withName) return;
    if (std::memchr(name.get(), 0, su::kSlotNameSizeB) == nullptr)
      Fail("ReadSlotInfoB", "the name is not terminated within its 13 bytes");
    if (used == 0 && name[0] != '\0') Fail("ReadSlotInfoB", "an empty slot has a name");
  }

  static void ReturnsFlag(const char* name, int result) {
    if (result != 0 && result != 1) Fail(name, "returned " + std::to_string(result));
  }

  static void ReadSlotA(std::uint16_t address, std::uint8_t slot) {
    // Exactly the field's size on the heap, so a write past it is caught; filled so a missing zero shows.
    std::unique_ptr<char[]> name(new char[su::kSlotNameSizeA]);
    std::memset(name.get(), 'x', su::kSlotNameSizeA);
    std::uint32_t size = 0xDEADBEEF;
    const int used = su::ReadSlotInfoA(address, slot, &size, name.get());
    ReturnsFlag("ReadSlotInfoA", used);
    if (std::memchr(name.get(), 0, su::kSlotNameSizeA) == nullptr)
      Fail("ReadSlotInfoA", "the name is not terminated within its 13 bytes");
    if (used == 0 && (size != 0 || name[0] != '\0')) Fail("ReadSlotInfoA", "an empty slot has a size or a name");
    if (std::strcmp(name.get(), "(Untitled)") == 0) return;
    for (const char* c = name.get(); *c != '\0'; ++c) {
      const auto byte = static_cast<unsigned char>(*c);
      if (byte < 0x20 || byte > 0x7F) Fail("ReadSlotInfoA", "a name shows a character outside 20..7F");
    }
  }

  // KEYBOARD_ANSWERS_TRACE=1 prints how each operation ended, to check what a seed reaches.
  const bool trace_ = std::getenv("KEYBOARD_ANSWERS_TRACE") != nullptr;
  VirtualLink link_;
  FakeScreen screen_;
  ScriptPeer peer_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Harness harness(data, size);
  harness.RunAll();
  return 0;
}
