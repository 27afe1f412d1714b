// Dialog 148 "Send the Data" of family A against the virtual keyboard over the virtual link, played
// by a recording screen.
#include "app/dialogs/slot_dialog.h"
#include "transfer/families.h"
#include "transfer/slot_session.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/dialogs/dialog_progress.h"
#include "base/run_state.h"
#include "midi/port_session.h"
#include "resources/resource.h"
#include "resources/strings.h"
#include "tests/support/case_name.h"
#include "tests/support/keyboard_rules.h"
#include "tests/support/link_fixture.h"
#include "tests/support/outcome.h"
#include "tests/support/stored_songs.h"
#include "transfer/family_a/frames.h"

namespace su {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Row = std::vector<std::string>;
using test::FakeScreen;
using test::KeyboardConfig;
using test::KeyboardA;
using test::KeyboardSlot;
using test::Message;
using test::Outcome;
using test::Song;
using test::OutcomeOf;
using test::Refuse;
using test::Returned;
using test::Silent;

constexpr std::uint16_t k21 = family_a::kAddressType21;

Bytes Image(std::uint32_t size) {
  Bytes image(size);
  for (std::uint32_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 37 + 11);
  return image;
}

class FamilyADialog : public test::LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    RunState& run = su::Run();
    run.stagedName = "journey.mid";
    image = Image(3000);
    run.songImage.reset(new std::uint8_t[image.size()]);
    std::copy(image.begin(), image.end(), run.songImage.get());
    run.songImageSize = static_cast<std::uint32_t>(image.size());
    Connect(KeyboardA());
    OpenPorts();
  }

  Outcome RunDialog(FakeScreen::User user) {
    session = SlotSession{};
    session.modelAddress = k21;
    session.slotCount = 10;
    for (int i = 0; i < 10; ++i) session.slotLabels.push_back(std::to_string(i));
    session.slots.assign(10, SlotEntry{});
    session.songName = "journey";
    logic = std::make_unique<SlotDialog>(FamilyA(), KeyboardSlots{session.modelAddress, session.slotLabels, session.songName});
    screen.users[IDD_SEND_A].push_back(std::move(user));
    return OutcomeOf([&] { return screen.RunDialog(IDD_SEND_A, *logic); });
  }
  static Row RowOf(FakeScreen& s, WindowRef dialog, int row) { return s.Ctl(dialog, IDC_SLOT_LIST).list.rows.at(row); }
  // The family A messages the keyboard received, by their action-area-parameter key, from `from` on.
  std::vector<int> KeysSince(std::size_t from) const {
    std::vector<int> keys;
    const auto received = keyboard->Received();
    for (std::size_t i = from; i < received.size(); ++i) {
      const Bytes& m = received[i];
      const int key = test::KeyA(m[5], m[6], m[7]);
      if (keys.empty() || keys.back() != key || key != test::kKeyABlock) keys.push_back(key);
    }
    return keys;
  }

  Bytes image;
  SlotSession session;
  std::unique_ptr<SlotDialog> logic;
};

TEST_F(FamilyADialog, ListsTenSlotsWithNamesSizesAndTotals) {
  const Outcome ending = RunDialog([&](FakeScreen& s, WindowRef dialog) {
    EXPECT_EQ(s.ControlText(dialog, IDC_FILE_NAME), "journey.mid");
    EXPECT_EQ(s.ControlText(dialog, IDC_SONG_SIZE), "2");  // 3000 bytes
    const auto& rows = s.Ctl(dialog, IDC_SLOT_LIST).list.rows;
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(RowOf(s, dialog, 0), (Row{"0", "Morning Walt", "4KB"}));
    EXPECT_EQ(RowOf(s, dialog, 1), (Row{"1", "Tune        ", "1KB"}));
    EXPECT_EQ(RowOf(s, dialog, 2), (Row{"2", "", "0KB"}));
    EXPECT_EQ(RowOf(s, dialog, 3), (Row{"3", "(Untitled)", "2KB"}));
    EXPECT_EQ(s.ControlText(dialog, IDC_TOTAL_SIZE), "6");  // 6644 bytes
    EXPECT_EQ(s.ControlText(dialog, IDC_FREE_SIZE), "7");   // 8000 bytes
    EXPECT_EQ(s.Ctl(dialog, IDC_PROGRESS).progressSteps, 10);
    EXPECT_FALSE(s.Ctl(dialog, IDC_DELETE).enabled);  // until a row is clicked
    s.ClickRow(dialog, IDC_SLOT_LIST, 2);
    EXPECT_FALSE(s.Ctl(dialog, IDC_DELETE).enabled);
    s.ClickRow(dialog, IDC_SLOT_LIST, 1);
    EXPECT_TRUE(s.Ctl(dialog, IDC_DELETE).enabled);
    s.Click(dialog, 2);  // Escape (IDCANCEL) does nothing
    EXPECT_FALSE(s.Win(dialog).ended);
    s.Click(dialog, IDC_CANCEL_TRANSFER);
  });
  EXPECT_EQ(ending, Returned(0));
}

TEST_F(FamilyADialog, ReplacingDeletesFirstThenSendsThenWritesTheName) {
  std::size_t before = 0;
  const Outcome ending = RunDialog([&](FakeScreen& s, WindowRef dialog) {
    before = keyboard->Received().size();
    s.ClickRow(dialog, IDC_SLOT_LIST, 1);
    s.Click(dialog, IDC_SEND);
  });
  EXPECT_EQ(ending, Returned(0));
  EXPECT_EQ(screen.BoxTexts(), (std::vector<std::string>{TEXT_39, TEXT_40}));
  const int prepare = test::KeyA(0x00, 0x00, 0x20), ready = test::kKeyAReadReady;
  EXPECT_EQ(KeysSince(before),
            (std::vector<int>{prepare, ready, test::KeyA(0x01, 0x10, 0x00), test::KeyA(0x01, 0x10, 0x03),
                              test::KeyA(0x01, 0x00, 0x22), prepare, ready, test::KeyA(0x00, 0x00, 0x27),
                              test::kKeyABlock, test::kKeyAClosing, test::kKeyAClosing, test::KeyA(0x00, 0x10, 0x04),
                              test::KeyA(0x00, 0x10, 0x05), test::KeyA(0x00, 0x10, 0x06)}));
  const KeyboardSlot slot = keyboard->Slot(1);
  EXPECT_EQ(slot.name.substr(0, 12), "journey     ");
  EXPECT_EQ(slot.contents, image);
}

struct RoomCase {
  const char* name;
  std::uint32_t freeMemory;
  bool sent;
};
void PrintTo(const RoomCase& c, std::ostream* os) { *os << c.name; }

class FamilyADialogRoom : public FamilyADialog, public ::testing::WithParamInterface<RoomCase> {};

TEST_P(FamilyADialogRoom, TheOldSongInTheTargetSlotCountsAsRoom) {
  // Slot 1 holds 500 bytes; the song needs 3000.
  KeyboardConfig config = KeyboardA();
  config.freeMemory = GetParam().freeMemory;
  Connect(config);
  bool stayedOpen = false;
  RunDialog([&](FakeScreen& s, WindowRef dialog) {
    s.ClickRow(dialog, IDC_SLOT_LIST, 1);
    s.Click(dialog, IDC_SEND);
    stayedOpen = !s.Win(dialog).ended;
    if (stayedOpen) {
      EXPECT_TRUE(s.Ctl(dialog, IDC_SEND).enabled);
      EXPECT_TRUE(s.Ctl(dialog, IDC_CANCEL_TRANSFER).enabled);
      EXPECT_FALSE(s.Ctl(dialog, IDC_DELETE).enabled);
      s.Click(dialog, IDC_CANCEL_TRANSFER);
    }
  });
  EXPECT_EQ(stayedOpen, !GetParam().sent);
  EXPECT_EQ(screen.BoxTexts().front(), GetParam().sent ? std::string(TEXT_39) : std::string(TEXT_52));
  EXPECT_EQ(keyboard->CountReceivedA(test::kKeyABlock) > 0, GetParam().sent);
}

INSTANTIATE_TEST_SUITE_P(Memory, FamilyADialogRoom,
                         ::testing::Values(RoomCase{"JustEnoughWithTheOldSong", 2500, true},
                                           RoomCase{"OneByteShort", 2499, false}),
                         test::NameFrom(&RoomCase::name));

TEST_F(FamilyADialog, DeleteAsksDeletesAndReadsTheSlotsAgain) {
  const Outcome ending = RunDialog([&](FakeScreen& s, WindowRef dialog) {
    s.ClickRow(dialog, IDC_SLOT_LIST, 0);
    s.Click(dialog, IDC_DELETE);
    EXPECT_FALSE(s.Ctl(dialog, IDC_DELETE).enabled);
    EXPECT_EQ(RowOf(s, dialog, 0), (Row{"0", "", "0KB"}));
    // Delete is enabled by a used row; the arrow keys then move the selection to an empty one.
    s.ClickRow(dialog, IDC_SLOT_LIST, 1);
    auto& selected = s.Ctl(dialog, IDC_SLOT_LIST).list.selected;
    for (std::size_t i = 0; i < selected.size(); ++i) selected[i] = i == 2;
    s.Click(dialog, IDC_DELETE);  // an empty slot only beeps
    s.Click(dialog, IDC_CANCEL_TRANSFER);
  });
  EXPECT_EQ(ending, Returned(0));
  EXPECT_EQ(screen.BoxTexts(), (std::vector<std::string>{TEXT_49, TEXT_50}));
  EXPECT_EQ(screen.beeps, 1);
  EXPECT_EQ(keyboard->Slot(0).status, 0);
  EXPECT_EQ(keyboard->CountReceivedA(test::KeyA(0x01, 0x00, 0x22)), 2u);  // the first reading and the refresh
}

TEST_F(FamilyADialog, AKeyboardThatIsNotReadyEndsTheSendWithMessage35) {
  keyboard->AddRule(Refuse(test::kKeyAReadReady, 1));
  const Outcome ending = RunDialog([&](FakeScreen& s, WindowRef dialog) { s.Click(dialog, IDC_SEND); });
  EXPECT_EQ(ending, Message(IDS_NOT_READY));
  EXPECT_EQ(keyboard->CountReceivedA(test::kKeyABlock), 0u);
}

}  // namespace
}  // namespace su
