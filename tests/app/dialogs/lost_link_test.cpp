// What every family does when the link to the keyboard fails under it: a closing frame the driver refuses
// fails the send with message 38 instead of "Complete!", and a keyboard unplugged while the slots are read
// or a song is sent ends the operation with message 38 a few milliseconds of virtual time after the unplugging,
// whatever wait it was in: well before one 3000 ms receive could have run out.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/run_state.h"
#include "resources/resource.h"
#include "resources/strings.h"
#include "tests/support/case_name.h"
#include "tests/support/keyboard_rules.h"
#include "tests/support/link_fixture.h"
#include "tests/support/outcome.h"
#include "app/dialogs/dialog_progress.h"
#include "transfer/family_a/slot_operations.h"
#include "transfer/family_b/slot_operations.h"
#include "transfer/family_c/frames.h"
#include "transfer/family_c/slot_operations.h"
#include "app/dialogs/slot_dialog.h"
#include "transfer/families.h"
#include "transfer/slot_session.h"

namespace su {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::FakeScreen;
using test::KeyboardConfig;
using test::KeyboardFamily;
using test::KeyboardSlot;
using test::Message;
using test::Outcome;
using test::OutcomeOf;

constexpr std::uint8_t kEmptySlot = 5;

// Two songs, the target slot 5 empty, room for the test's song in every family.
KeyboardConfig Keyboard(KeyboardFamily family) {
  KeyboardConfig config;
  config.family = family;
  config.answersIdentity = family == KeyboardFamily::C;
  config.slots = std::vector<KeyboardSlot>(10);
  for (std::size_t slot : {0u, 2u}) {
    config.slots[slot].status = 1;
    config.slots[slot].name = "Song";
    config.slots[slot].size = 700;
    config.slots[slot].contents.assign(700, 0);
  }
  config.freeMemory = 1u << 20;
  config.maxSongSize = 1u << 20;
  return config;
}

Bytes Image() {
  Bytes image(6 * 128 + 1);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 13 + 1);
  return image;
}

void StageSong(const Bytes& image) {
  RunState& run = su::Run();
  run.stagedName = "journey.mid";
  run.songImage.reset(new std::uint8_t[image.size()]);
  std::copy(image.begin(), image.end(), run.songImage.get());
  run.songImageSize = static_cast<std::uint32_t>(image.size());
}

// Frames by family and kind, as the program sends them.
bool IsA(const Bytes& m) { return m.size() > 11 && m[2] == 0x11; }
bool IsB(const Bytes& m) { return m.size() > 8 && m[2] == 0x15; }
bool IsC(const Bytes& m) { return m.size() > 4 && m[2] == 0x14; }
bool SlotReadA(const Bytes& m) { return IsA(m) && m[5] == 0x01 && m[6] == 0x10 && m[7] == 0x00; }
bool BlockA(const Bytes& m) { return IsA(m) && m[5] == 0x04; }
bool FirstClosingA(const Bytes& m) { return IsA(m) && m[5] == 0x07 && m[11] == 0x00; }
bool SecondClosingA(const Bytes& m) { return IsA(m) && m[5] == 0x07 && m[11] == 0x05; }
bool SizeReadB(const Bytes& m) { return IsB(m) && m[5] == 0x01 && m[6] == 0x21 && m.size() > 13 && m[13] == 0x02; }
bool FreeReadB(const Bytes& m) { return IsB(m) && m[5] == 0x01 && m[6] == 0x00 && m.size() > 13 && m[13] == 0x22; }
bool BlockB(const Bytes& m) { return IsB(m) && m[5] == 0x06; }
bool FirstClosingB(const Bytes& m) { return IsB(m) && m[5] == 0x0D; }
bool SecondClosingB(const Bytes& m) { return IsB(m) && m[5] == 0x0E; }
bool SlotReadC(const Bytes& m) { return IsC(m) && m[4] == 0x01; }
bool CloseTransferC(const Bytes& m) { return IsC(m) && m[4] == 0x05; }

// ---------------------------------------------------------------------------------------------------------
// A closing frame the driver refuses

struct ClosingCase {
  const char* name;
  KeyboardFamily family;
  std::function<bool(const Bytes&)> refused;
  std::function<bool(const Bytes&)> lastSent;  // the frame that went out just before the refused one
};
void PrintTo(const ClosingCase& c, std::ostream* os) { *os << c.name; }

class RefusedClosingFrame : public test::LinkTest, public ::testing::WithParamInterface<ClosingCase> {};

TEST_P(RefusedClosingFrame, FailsTheSendWithMessage38AndNoComplete) {
  const ClosingCase& c = GetParam();
  StageSong(Image());
  Connect(Keyboard(c.family));
  OpenPorts();
  link.RefuseSends(c.refused);
  const bool a = c.family == KeyboardFamily::A;
  SlotSession session;
  if (a) {
    SetUpSessionA(session, 21, "journey");
  } else {
    SetUpSessionB(session);
  }
  SlotDialog logic(a ? FamilyA() : FamilyB(), KeyboardSlots{session.modelAddress, session.slotLabels, session.songName});
  const int dialog = a ? IDD_SEND_A : IDD_SEND_B;
  screen.users[dialog].push_back([](FakeScreen& s, WindowRef d) {
    s.ClickRow(d, IDC_SLOT_LIST, kEmptySlot);
    s.Click(d, IDC_SEND);
  });
  EXPECT_EQ(OutcomeOf([&] { return screen.RunDialog(dialog, logic); }), Message(IDS_TIMEOUT));
  for (const std::string& text : screen.BoxTexts()) EXPECT_NE(text, TEXT_40);
  // The refused frame was tried once, after the frame before it, and nothing was sent after it.
  ASSERT_EQ(link.Refused().size(), 1u);
  EXPECT_TRUE(c.refused(link.Refused().front().message));
  EXPECT_EQ(link.Refused().front().sentBefore, link.Sent().size());
  ASSERT_FALSE(link.Sent().empty());
  EXPECT_TRUE(c.lastSent(link.Sent().back()));
}

INSTANTIATE_TEST_SUITE_P(Families, RefusedClosingFrame,
                         ::testing::Values(ClosingCase{"FamilyAFirst", KeyboardFamily::A, FirstClosingA, BlockA},
                                           ClosingCase{"FamilyASecond", KeyboardFamily::A, SecondClosingA, FirstClosingA},
                                           ClosingCase{"FamilyBFirst", KeyboardFamily::B, FirstClosingB, BlockB},
                                           ClosingCase{"FamilyBSecond", KeyboardFamily::B, SecondClosingB, FirstClosingB}),
                         test::NameFrom(&ClosingCase::name));

// ---------------------------------------------------------------------------------------------------------
// The keyboard unplugged

// Passes every message on to the keyboard and unplugs it `delayMs` after the `nth` one that `match` picks.
struct UnplugAfter : test::VirtualPeer {
  test::VirtualKeyboard* keyboard = nullptr;
  test::VirtualLink* link = nullptr;
  std::function<bool(const Bytes&)> match;
  int nth = 1;
  std::uint32_t delayMs = 0;
  int seen = 0;
  void OnMessage(const Bytes& m, test::ReplySink& sink) override {
    keyboard->OnMessage(m, sink);
    if (match(m) && ++seen == nth) link->Unplug(delayMs);
  }
};

enum class Operation { Listing, Sending };

struct UnplugCase {
  const char* name;
  KeyboardFamily family;
  Operation operation;
  std::function<bool(const Bytes&)> match;
  int nth;
  std::uint32_t delayMs;
  std::vector<test::KeyboardRule> rules;  // e.g. an answer that comes late, so the unplugging finds a long wait
};
void PrintTo(const UnplugCase& c, std::ostream* os) { *os << c.name; }

struct YesPrompts : SendPrompts {
  bool ConfirmReplace() override { return true; }
  void NoRoom(int message) override { ADD_FAILURE() << "no room: message " << message; }
};

class UnpluggedKeyboard : public test::LinkTest, public ::testing::WithParamInterface<UnplugCase> {
 protected:
  void Operate(const UnplugCase& c, const Bytes& image) {
    const int box = c.family == KeyboardFamily::A   ? IDD_SEND_A
                    : c.family == KeyboardFamily::B ? IDD_SEND_B
                                                    : IDD_SEND_C;
    DialogProgress progress(screen.OpenBox(box, nullptr, nullptr));
    YesPrompts prompts;
    const auto size = static_cast<std::uint32_t>(image.size());
    SlotSession session;
    switch (c.family) {
      case KeyboardFamily::A:
        SetUpSessionA(session, 21, "journey");
        if (c.operation == Operation::Listing) ReadSlotTableA(session, progress);
        else SendSongToSlotA(session, kEmptySlot, image.data(), size, progress, prompts);
        break;
      case KeyboardFamily::B:
        SetUpSessionB(session);
        if (c.operation == Operation::Listing) ReadSlotTableB(session, progress);
        else SendSongToSlotB(session, kEmptySlot, image.data(), size, progress, prompts);
        break;
      case KeyboardFamily::C: {
        if (c.operation == Operation::Listing) {
          SlotTableC table;
          ReadSlotTableC(SlotLayoutFor(4), table, progress);
        } else {
          SendSongToSlotC(kEmptySlot, image.data(), size, progress, prompts);
        }
        break;
      }
    }
  }
};

// Virtual time is exact: what the program does between the unplugging and its message (ending the exchange,
// handing back its buffers) lets no time pass, while a receive that runs out takes 3000 ms.
constexpr std::uint64_t kAtOnceMs = 5;

TEST_P(UnpluggedKeyboard, EndsWithMessage38AtOnce) {
  const UnplugCase& c = GetParam();
  Connect(Keyboard(c.family));
  for (const test::KeyboardRule& rule : c.rules) keyboard->AddRule(rule);
  UnplugAfter unplug;
  unplug.keyboard = keyboard.get();
  unplug.link = &link;
  unplug.match = c.match;
  unplug.nth = c.nth;
  unplug.delayMs = c.delayMs;
  link.AttachPeer(&unplug);
  OpenPorts();
  const Bytes image = Image();
  EXPECT_EQ(OutcomeOf([&] { Operate(c, image); }), Message(IDS_TIMEOUT));
  ASSERT_TRUE(link.UnpluggedAt().has_value()) << "the operation ended before the unplugging";
  EXPECT_LE(link.Elapsed() - *link.UnpluggedAt(), kAtOnceMs);
  link.AttachPeer(keyboard.get());
}

INSTANTIATE_TEST_SUITE_P(
    Waits, UnpluggedKeyboard,
    ::testing::Values(
        UnplugCase{"FamilyAWhileTheSlotsAreRead", KeyboardFamily::A, Operation::Listing, SlotReadA, 3, 0, {}},
        UnplugCase{"FamilyBWhileTheSlotsAreRead", KeyboardFamily::B, Operation::Listing, SizeReadB, 4, 0, {}},
        UnplugCase{"FamilyBInTheLongFreeMemoryWait", KeyboardFamily::B, Operation::Listing, FreeReadB, 1, 4000,
                   {test::Late(test::kKeyBReadFree, 20000)}},
        UnplugCase{"FamilyCWhileTheSlotsAreRead", KeyboardFamily::C, Operation::Listing, SlotReadC, 2, 0, {}},
        UnplugCase{"FamilyAWhileBlocksAreSent", KeyboardFamily::A, Operation::Sending, BlockA, 3, 0, {}},
        UnplugCase{"FamilyBWhileABlockAnswerIsAwaited", KeyboardFamily::B, Operation::Sending, BlockB, 3, 50,
                   {test::Late(test::kKeyBBlock, 100)}},
        UnplugCase{"FamilyCInTheFinalCheck", KeyboardFamily::C, Operation::Sending, CloseTransferC, 1, 10000,
                   {test::Late(family_c::kCmdCloseTransfer, 60000)}}),
    test::NameFrom(&UnplugCase::name));

}  // namespace
}  // namespace su
