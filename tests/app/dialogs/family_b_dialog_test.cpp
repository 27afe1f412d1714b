// Dialog 150 "Send the Data" of family B against the virtual keyboard over the virtual link, played
// by a recording screen.
#include "app/dialogs/slot_dialog.h"
#include "transfer/families.h"
#include "transfer/slot_session.h"

#include <gtest/gtest.h>

#include <algorithm>
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
#include "transfer/family_b/frames.h"

namespace su {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Row = std::vector<std::string>;
using test::FakeScreen;
using test::KeyboardConfig;
using test::KeyboardB;
using test::KeyboardSlot;
using test::Message;
using test::Outcome;
using test::Song;
using test::OutcomeOf;
using test::Returned;

constexpr std::uint16_t kB = family_b::kAddress;

Bytes Image(std::uint32_t size) {
  Bytes image(size);
  for (std::uint32_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 29 + 5);
  return image;
}

class FamilyBDialog : public test::LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    SetImage(4000);
    su::Run().stagedName = "evening.mid";
    Connect(KeyboardB());
    OpenPorts();
  }
  void SetImage(std::uint32_t size) {
    image = Image(size);
    RunState& run = su::Run();
    run.songImage.reset(new std::uint8_t[size]);
    std::copy(image.begin(), image.end(), run.songImage.get());
    run.songImageSize = size;
  }
  Outcome RunDialog(FakeScreen::User user) {
    session = SlotSession{};
    session.modelAddress = kB;
    session.slotCount = 10;
    for (int i = 0; i < 10; ++i) session.slotLabels.push_back(std::to_string(61 + i));
    session.slots.assign(10, SlotEntry{});
    logic = std::make_unique<SlotDialog>(FamilyB(), KeyboardSlots{session.modelAddress, session.slotLabels, session.songName});
    screen.users[IDD_SEND_B].push_back(std::move(user));
    return OutcomeOf([&] { return screen.RunDialog(IDD_SEND_B, *logic); });
  }
  static Row RowOf(FakeScreen& s, WindowRef dialog, int row) { return s.Ctl(dialog, IDC_SLOT_LIST).list.rows.at(row); }

  Bytes image;
  SlotSession session;
  std::unique_ptr<SlotDialog> logic;
};

TEST_F(FamilyBDialog, ListsSlots61To70WithTheTotalAndTheLargestSong) {
  const Outcome ending = RunDialog([&](FakeScreen& s, WindowRef dialog) {
    ASSERT_EQ(s.Ctl(dialog, IDC_SLOT_LIST).list.rows.size(), 10u);
    EXPECT_EQ(RowOf(s, dialog, 0), (Row{"61", "Evening Song", "4KB"}));
    EXPECT_EQ(RowOf(s, dialog, 2), (Row{"63", "abc         ", "1KB"}));
    EXPECT_EQ(RowOf(s, dialog, 9), (Row{"70", "", "0KB"}));
    EXPECT_EQ(s.ControlText(dialog, IDC_TOTAL_SIZE), "4");      // 5001 bytes
    EXPECT_EQ(s.ControlText(dialog, IDC_MAX_SONG_SIZE), "3");   // 4000 bytes
    s.Click(dialog, IDC_CANCEL_TRANSFER);
  });
  EXPECT_EQ(ending, Returned(0));

  // A total of a few bytes still shows 1; nothing at all shows 0.
  for (const auto& [slots, shown] : {std::pair<int, const char*>{1, "1"}, {0, "0"}}) {
    KeyboardConfig config = KeyboardB();
    config.slots = std::vector<KeyboardSlot>(10);
    if (slots == 1) config.slots[5] = Song("tiny", 3);
    Connect(config);
    RunDialog([&](FakeScreen& s, WindowRef dialog) {
      EXPECT_EQ(s.ControlText(dialog, IDC_TOTAL_SIZE), shown);
      s.Click(dialog, IDC_CANCEL_TRANSFER);
    });
  }
}

struct SizeCase {
  const char* name;
  std::uint32_t imageSize;
  bool sent;
};
void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.name; }

class FamilyBDialogSize : public FamilyBDialog, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(FamilyBDialogSize, OnlyTheLargestSongDecidesAndAReplacementDeletesNothing) {
  SetImage(GetParam().imageSize);
  bool stayedOpen = false;
  RunDialog([&](FakeScreen& s, WindowRef dialog) {
    s.ClickRow(dialog, IDC_SLOT_LIST, 0);  // holds 5000 bytes, more than the song
    s.Click(dialog, IDC_SEND);
    stayedOpen = !s.Win(dialog).ended;
    if (stayedOpen) s.Click(dialog, IDC_CANCEL_TRANSFER);
  });
  EXPECT_EQ(stayedOpen, !GetParam().sent);
  EXPECT_EQ(screen.BoxTexts(), GetParam().sent ? (std::vector<std::string>{TEXT_39, TEXT_40})
                                               : (std::vector<std::string>{TEXT_59}));
  EXPECT_EQ(keyboard->CountReceivedB(test::kKeyBDelete), 0u);
  if (GetParam().sent) {
    EXPECT_EQ(keyboard->Slot(0).contents, image);
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, FamilyBDialogSize,
                         ::testing::Values(SizeCase{"ExactlyTheLargest", 4000, true},
                                           SizeCase{"OneByteMore", 4001, false}),
                         test::NameFrom(&SizeCase::name));

TEST_F(FamilyBDialog, DeleteWaitsForTheKeyboardAndReadsTheSlotsOnlyAfterItsMessage) {
  std::size_t readsBeforeMessage = 0;
  screen.answers = {kAnswerYes};
  const Outcome ending = RunDialog([&](FakeScreen& s, WindowRef dialog) {
    s.ClickRow(dialog, IDC_SLOT_LIST, 0);
    readsBeforeMessage = keyboard->CountReceivedB(test::kKeyBReadMaxSong);
    s.Click(dialog, IDC_DELETE);
    EXPECT_EQ(RowOf(s, dialog, 0), (Row{"61", "", "0KB"}));
    EXPECT_FALSE(s.Ctl(dialog, IDC_DELETE).enabled);
    s.Click(dialog, IDC_CANCEL_TRANSFER);
  });
  EXPECT_EQ(ending, Returned(0));
  EXPECT_EQ(screen.BoxTexts(), (std::vector<std::string>{TEXT_49, TEXT_50}));
  EXPECT_EQ(keyboard->CountReceivedB(test::kKeyBDelete), 1u);
  EXPECT_EQ(keyboard->CountReceivedB(test::kKeyBReadMaxSong), readsBeforeMessage + 1);
  EXPECT_EQ(keyboard->CountReceivedB(test::kKeyBReadFree), 3u);  // two readings and the delete's wait
}

}  // namespace
}  // namespace su
