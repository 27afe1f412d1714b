// Dialog 138 "Send the Data" and the family C flow against the virtual keyboard over the virtual link, with
// a recording screen playing the user.
#include "app/dialogs/family_c/send_dialog.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/dialogs/family_c/flow.h"
#include "base/errors.h"
#include "base/run_state.h"
#include "midi/port_session.h"
#include "resources/resource.h"
#include "resources/strings.h"
#include "tests/converter/smf_builder.h"
#include "tests/support/case_name.h"
#include "tests/support/keyboard_rules.h"
#include "tests/support/link_fixture.h"
#include "tests/support/outcome.h"
#include "transfer/family_c/frames.h"
#include "transfer/family_c/slot_layout.h"

namespace su {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Row = std::vector<std::string>;
using test::FakeScreen;
using test::KeyboardConfig;
using test::KeyboardRule;
using test::Refuse;
using test::Silent;
using test::KeyboardSlot;
using test::VirtualKeyboard;
using test::Coded;
using test::Message;
using test::Outcome;
using test::OutcomeOf;
using test::Returned;

KeyboardSlot Song(const std::string& name, std::uint32_t size) {
  KeyboardSlot slot;
  slot.status = 1;
  slot.name = name;
  slot.size = size;
  return slot;
}

// A keyboard with 15 slots (enough for every layout): slot 0 "Song" of 4096 bytes, slot 1 a nameless song
// of 500 bytes, slot 2 "Third" of 2048 bytes, the rest empty.
KeyboardConfig StandardKeyboard() {
  KeyboardConfig config;
  config.slots = std::vector<KeyboardSlot>(15);
  config.slots[0] = Song("Song", 4096);
  config.slots[1] = Song("", 500);
  config.slots[2] = Song("Third", 2048);
  config.freeMemory = 1u << 20;
  return config;
}

class FamilyCDialogTest : public test::LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    su::Run().stagedName = "song.mid";
    SetImage(3000);
    Connect(StandardKeyboard());  // tests that need another keyboard connect it in its place
    OpenPorts();
  }

  void SetImage(std::uint32_t size) {
    RunState& run = su::Run();
    run.songImage.reset(new std::uint8_t[size == 0 ? 1 : size]);
    for (std::uint32_t i = 0; i < size; ++i) run.songImage[i] = static_cast<std::uint8_t>(i * 7 + 3);
    run.songImageSize = size;
  }
  Bytes Image() const {
    const RunState& run = su::Run();
    return Bytes(run.songImage.get(), run.songImage.get() + run.songImageSize);
  }

  // Runs dialog 138 for `modelType` with `user` acting once the first reading is shown.
  Outcome RunDialog(std::int32_t modelType, FakeScreen::User user) {
    layout = SlotLayoutFor(modelType);
    table = SlotTableC{};
    logic = std::make_unique<SendDialogC>(layout);
    screen.users[IDD_SEND_C].push_back(std::move(user));
    return OutcomeOf([&] { return screen.RunDialog(IDD_SEND_C, *logic); });
  }

  static Row RowOf(FakeScreen& s, WindowRef dialog, int row) { return s.Ctl(dialog, IDC_SLOT_LIST).list.rows.at(row); }
  // Moves the list selection without a click, as the arrow keys do.
  static void SelectWithKeys(FakeScreen& s, WindowRef dialog, int row) {
    auto& selected = s.Ctl(dialog, IDC_SLOT_LIST).list.selected;
    for (std::size_t i = 0; i < selected.size(); ++i) selected[i] = static_cast<int>(i) == row;
  }
  static bool Enabled(FakeScreen& s, WindowRef dialog, int control) { return s.Ctl(dialog, control).enabled; }

  bool SentMessage(const Bytes& message) const {
    for (const Bytes& sent : link.Sent())
      if (sent == message) return true;
    return false;
  }

  SlotLayout layout;
  SlotTableC table;
  std::unique_ptr<SendDialogC> logic;
};

// ---------------------------------------------------------------------------------------------------------
// Opening and the first reading

TEST_F(FamilyCDialogTest, OpeningShowsTheSongAndReadsEverySlotIntoTheList) {
  const Outcome ending = RunDialog(4, [&](FakeScreen& s, WindowRef dialog) {
    EXPECT_TRUE(s.Win(dialog).visible);
    const FakeScreen::ListState& list = s.Ctl(dialog, IDC_SLOT_LIST).list;
    EXPECT_TRUE(list.fullRowSelect);
    EXPECT_EQ(list.columns, (Row{"No", "Data", "Size"}));
    EXPECT_EQ(list.columnWidths, (std::vector<int>{40, 100, 70}));
    EXPECT_EQ(s.ControlText(dialog, IDC_FILE_NAME), "song.mid");
    EXPECT_EQ(s.ControlText(dialog, IDC_SONG_SIZE), "2");  // 3000 bytes

    ASSERT_EQ(list.rows.size(), 10u);
    EXPECT_EQ(RowOf(s, dialog, 0), (Row{"30", "Song", "4KB"}));
    EXPECT_EQ(RowOf(s, dialog, 1), (Row{"31", TEXT_IN_USE_MARKER, "1KB"}));
    EXPECT_EQ(RowOf(s, dialog, 2), (Row{"32", "Third", "2KB"}));
    EXPECT_EQ(RowOf(s, dialog, 3), (Row{"33", "", "0KB"}));
    EXPECT_EQ(RowOf(s, dialog, 9)[0], "39");
    EXPECT_EQ(list.selected, (std::vector<bool>{true, false, false, false, false, false, false, false, false, false}));

    // 4096 + 500 + 2048 bytes in use, 1 MB free, both rounded down to kilobytes.
    EXPECT_EQ(s.ControlText(dialog, IDC_TOTAL_SIZE), "6");
    EXPECT_EQ(s.ControlText(dialog, IDC_FREE_SIZE), "1024");
    EXPECT_EQ(s.ControlText(dialog, IDC_STATUS), "");
    EXPECT_FALSE(Enabled(s, dialog, IDC_DELETE));  // row 0 is selected, yet Delete waits for a click
    EXPECT_TRUE(Enabled(s, dialog, IDC_SEND));
    const FakeScreen::Control& bar = s.Ctl(dialog, IDC_PROGRESS);
    EXPECT_EQ(bar.progressHigh, 10);
    EXPECT_EQ(bar.progressSteps, 10);
    EXPECT_EQ(bar.progressPos, 0);
    s.Click(dialog, IDC_CANCEL_TRANSFER);
  });
  EXPECT_EQ(ending, Returned(0));
  EXPECT_EQ(keyboard->CountReceived(family_c::kCmdReadSlotInfo), 10u);
  EXPECT_EQ(keyboard->CountReceived(family_c::kCmdReadFreeSpace), 1u);
  EXPECT_TRUE(screen.boxes.empty());
}

struct ListingCase {
  std::int32_t modelType;
  Row firstRow;
  std::string lastLabel;
  std::size_t rows;
};

void PrintTo(const ListingCase& c, std::ostream* os) { *os << "model type " << c.modelType; }

class ListingByModelTest : public FamilyCDialogTest, public ::testing::WithParamInterface<ListingCase> {};

TEST_P(ListingByModelTest, RowsFollowTheModelsLayoutAndTheBarStepsOncePerSlot) {
  const ListingCase& c = GetParam();
  RunDialog(c.modelType, [&](FakeScreen& s, WindowRef dialog) {
    const auto& rows = s.Ctl(dialog, IDC_SLOT_LIST).list.rows;
    ASSERT_EQ(rows.size(), c.rows);
    EXPECT_EQ(rows.front(), c.firstRow);
    EXPECT_EQ(rows.back()[0], c.lastLabel);
    EXPECT_EQ(s.Ctl(dialog, IDC_PROGRESS).progressSteps, static_cast<int>(c.rows));
    s.Click(dialog, IDC_CANCEL_TRANSFER);
  });
  EXPECT_EQ(keyboard->CountReceived(family_c::kCmdReadSlotInfo), c.rows);
}

INSTANTIATE_TEST_SUITE_P(Models, ListingByModelTest,
                         ::testing::Values(ListingCase{18, {"65", "Song", "4KB"}, "79", 15},
                                           ListingCase{10, {"0", "Song", "4KB"}, "9", 10},
                                           ListingCase{28, {"101", "Song", "4KB"}, "105", 5},
                                           ListingCase{13, {"60", "Song", "4KB"}, "64", 5}),
                         [](const ::testing::TestParamInfo<ListingCase>& info) {
                           return "ModelType" + std::to_string(info.param.modelType);
                         });

TEST_F(FamilyCDialogTest, SmallAndOddSizesFollowTheKilobyteRule) {
  KeyboardConfig config = StandardKeyboard();
  config.slots[0] = Song("Tiny", 1);
  config.slots[1] = Song("Almost", 1023);
  config.slots[2] = KeyboardSlot{};
  config.freeMemory = 1023;
  Connect(config);
  RunDialog(4, [&](FakeScreen& s, WindowRef dialog) {
    EXPECT_EQ(RowOf(s, dialog, 0)[2], "1KB");
    EXPECT_EQ(RowOf(s, dialog, 1)[2], "1KB");
    EXPECT_EQ(RowOf(s, dialog, 2), (Row{"32", "", "0KB"}));
    EXPECT_EQ(s.ControlText(dialog, IDC_TOTAL_SIZE), "1");  // 1024 bytes in all
    EXPECT_EQ(s.ControlText(dialog, IDC_FREE_SIZE), "0");   // 1023 bytes free
    s.Click(dialog, IDC_CANCEL_TRANSFER);
  });
}

TEST_F(FamilyCDialogTest, ClickingARowEnablesDeleteOnlyForASlotThatHoldsASong) {
  RunDialog(4, [&](FakeScreen& s, WindowRef dialog) {
    s.ClickRow(dialog, IDC_SLOT_LIST, 1);
    EXPECT_TRUE(Enabled(s, dialog, IDC_DELETE));
    s.ClickRow(dialog, IDC_SLOT_LIST, -1);  // beside the rows: nothing changes
    EXPECT_TRUE(Enabled(s, dialog, IDC_DELETE));
    s.ClickRow(dialog, IDC_SLOT_LIST, 5);
    EXPECT_FALSE(Enabled(s, dialog, IDC_DELETE));
    s.ClickRow(dialog, IDC_SLOT_LIST, 0);
    EXPECT_TRUE(Enabled(s, dialog, IDC_DELETE));
    // Escape and unknown commands do nothing; the dialog stays.
    s.Click(dialog, 2);
    s.Click(dialog, 1);
    EXPECT_FALSE(s.Win(dialog).ended);
    s.Click(dialog, IDC_CANCEL_TRANSFER);
  });
  EXPECT_EQ(keyboard->CountReceived(family_c::kCmdDeleteSong), 0u);
}

TEST_F(FamilyCDialogTest, AKeyboardThatStopsAnsweringDuringTheReadingEndsWithMessage38) {
  KeyboardConfig config = StandardKeyboard();
  config.rules.push_back(Silent(family_c::kCmdReadSlotInfo, 3));
  Connect(config);
  EXPECT_EQ(RunDialog(4, [](FakeScreen&, WindowRef) { FAIL() << "the dialog should have ended"; }),
            Message(IDS_TIMEOUT));
  EXPECT_EQ(keyboard->CountReceived(family_c::kCmdReadSlotInfo), 4u);
}

// ---------------------------------------------------------------------------------------------------------
// Send

TEST_F(FamilyCDialogTest, SendIntoAnEmptySlotDeliversTheImageShowsCompleteAndEnds) {
  const Outcome ending = RunDialog(4, [&](FakeScreen& s, WindowRef dialog) {
    s.ClickRow(dialog, IDC_SLOT_LIST, 4);
    s.Click(dialog, IDC_SEND);
  });
  EXPECT_EQ(ending, Returned(0));
  WindowRef dialog = screen.LastWindowOf(IDD_SEND_C);
  ASSERT_EQ(screen.BoxTexts(), std::vector<std::string>{TEXT_40});
  EXPECT_EQ(screen.boxes[0].owner, dialog);
  EXPECT_EQ(screen.boxes[0].kind, BoxKind::Ok);
  EXPECT_EQ(keyboard->Slot(4).contents, Image());
  EXPECT_EQ(keyboard->Slot(4).size, 3000u);
  EXPECT_FALSE(screen.IsOpen(screen.LastWindowOf(IDD_SENDING)));
  // The buttons stay disabled to the end: the dialog ends from the sending state.
  EXPECT_FALSE(Enabled(screen, dialog, IDC_SEND));
  EXPECT_FALSE(Enabled(screen, dialog, IDC_CANCEL_TRANSFER));
}

TEST_F(FamilyCDialogTest, SendWithNoSelectedRowGoesToSlotZeroAfterAskingToReplace) {
  screen.answers.push_back(kAnswerYes);
  RunDialog(4, [&](FakeScreen& s, WindowRef dialog) {
    SelectWithKeys(s, dialog, -1);
    s.Click(dialog, IDC_SEND);
  });
  EXPECT_EQ(screen.BoxTexts(), (std::vector<std::string>{TEXT_39, TEXT_40}));
  EXPECT_EQ(keyboard->Slot(0).contents, Image());
}

TEST_F(FamilyCDialogTest, DecliningToReplaceSendsNothingAndRestoresTheButtons) {
  screen.answers = {kAnswerNo, kAnswerYes};
  const Outcome ending = RunDialog(4, [&](FakeScreen& s, WindowRef dialog) {
    s.ClickRow(dialog, IDC_SLOT_LIST, 2);  // "Third"; Delete becomes enabled
    s.Click(dialog, IDC_SEND);
    EXPECT_FALSE(s.Win(dialog).ended);
    EXPECT_EQ(keyboard->CountReceived(family_c::kCmdAnnounceSong), 0u);
    EXPECT_TRUE(Enabled(s, dialog, IDC_SEND));
    EXPECT_TRUE(Enabled(s, dialog, IDC_CANCEL_TRANSFER));
    EXPECT_FALSE(Enabled(s, dialog, IDC_DELETE));
    s.Click(dialog, IDC_SEND);  // asked again; Yes this time
  });
  EXPECT_EQ(ending, Returned(0));
  ASSERT_EQ(screen.boxes.size(), 3u);
  EXPECT_EQ(screen.boxes[0].text, TEXT_39);
  EXPECT_EQ(screen.boxes[0].kind, BoxKind::YesNo);
  EXPECT_EQ(screen.boxes[0].owner, nullptr);
  EXPECT_EQ(screen.boxes[2].text, TEXT_40);
  EXPECT_EQ(keyboard->Slot(2).contents, Image());
}

TEST_F(FamilyCDialogTest, AKeyboardShortOfMemoryShowsMessage52AndTheDialogStays) {
  KeyboardConfig config = StandardKeyboard();
  config.freeMemory = 100;
  Connect(config);
  RunDialog(4, [&](FakeScreen& s, WindowRef dialog) {
    s.ClickRow(dialog, IDC_SLOT_LIST, 5);
    s.Click(dialog, IDC_SEND);
    EXPECT_FALSE(s.Win(dialog).ended);
    EXPECT_TRUE(Enabled(s, dialog, IDC_SEND));
    EXPECT_TRUE(Enabled(s, dialog, IDC_CANCEL_TRANSFER));
    EXPECT_FALSE(Enabled(s, dialog, IDC_DELETE));
    s.Click(dialog, IDC_CANCEL_TRANSFER);
  });
  ASSERT_EQ(screen.BoxTexts(), std::vector<std::string>{TEXT_52});
  EXPECT_EQ(screen.boxes[0].kind, BoxKind::Warning);
  EXPECT_EQ(screen.boxes[0].owner, nullptr);
  EXPECT_EQ(keyboard->Slot(5).status, 0);
}

// ---------------------------------------------------------------------------------------------------------
// Delete

TEST_F(FamilyCDialogTest, DeleteOnAnEmptySlotOnlyBeeps) {
  RunDialog(4, [&](FakeScreen& s, WindowRef dialog) {
    s.ClickRow(dialog, IDC_SLOT_LIST, 0);  // enables Delete
    SelectWithKeys(s, dialog, 6);          // the selection moves on; Delete stays enabled
    s.Click(dialog, IDC_DELETE);
    s.Click(dialog, IDC_CANCEL_TRANSFER);
  });
  EXPECT_EQ(screen.beeps, 1);
  EXPECT_TRUE(screen.boxes.empty());
  EXPECT_EQ(keyboard->CountReceived(family_c::kCmdDeleteSong), 0u);
}

TEST_F(FamilyCDialogTest, AnsweringNoToTheDeleteQuestionKeepsTheSong) {
  screen.answers.push_back(kAnswerNo);
  RunDialog(4, [&](FakeScreen& s, WindowRef dialog) {
    s.ClickRow(dialog, IDC_SLOT_LIST, 0);
    s.Click(dialog, IDC_DELETE);
    s.Click(dialog, IDC_CANCEL_TRANSFER);
  });
  ASSERT_EQ(screen.BoxTexts(), std::vector<std::string>{TEXT_49});
  EXPECT_EQ(screen.boxes[0].owner, screen.LastWindowOf(IDD_SEND_C));
  EXPECT_EQ(screen.beeps, 0);
  EXPECT_EQ(keyboard->CountReceived(family_c::kCmdDeleteSong), 0u);
  EXPECT_EQ(keyboard->Slot(0).status, 1);
}

TEST_F(FamilyCDialogTest, DeletingTheThirdRowSendsItsPositionThenRereadsTheSlots) {
  RunDialog(4, [&](FakeScreen& s, WindowRef dialog) {
    s.ClickRow(dialog, IDC_SLOT_LIST, 2);
    s.Click(dialog, IDC_DELETE);
    EXPECT_EQ(RowOf(s, dialog, 2), (Row{"32", "", "0KB"}));
    EXPECT_EQ(s.ControlText(dialog, IDC_TOTAL_SIZE), "4");  // 4096 + 500 bytes left
    EXPECT_FALSE(Enabled(s, dialog, IDC_DELETE));
    s.Click(dialog, IDC_CANCEL_TRANSFER);
  });
  WindowRef dialog = screen.LastWindowOf(IDD_SEND_C);
  // The slot's position, not its label "32", goes to the keyboard.
  EXPECT_TRUE(SentMessage({0xF0, 0x44, 0x14, 0x00, 0x09, 0x02, 0xF7}));
  EXPECT_EQ(keyboard->Slot(2).status, 0);
  EXPECT_EQ(screen.BoxTexts(), (std::vector<std::string>{TEXT_49, TEXT_50}));
  EXPECT_EQ(screen.boxes[1].owner, dialog);
  WindowRef deleting = screen.LastWindowOf(IDD_DELETING);
  ASSERT_NE(deleting, nullptr);
  EXPECT_EQ(screen.Win(deleting).owner, dialog);
  EXPECT_FALSE(screen.IsOpen(deleting));
  // The opening reading and the one after the delete.
  EXPECT_EQ(keyboard->CountReceived(family_c::kCmdReadSlotInfo), 20u);
}

struct DeleteFailureCase {
  const char* what;
  KeyboardRule rule;
  Outcome ending;
};

void PrintTo(const DeleteFailureCase& c, std::ostream* os) { *os << c.what; }

class DeleteFailureTest : public FamilyCDialogTest, public ::testing::WithParamInterface<DeleteFailureCase> {};

TEST_P(DeleteFailureTest, EndsTheDialogWithTheFailureAndClosesTheDeletingBox) {
  const DeleteFailureCase& c = GetParam();
  KeyboardConfig config = StandardKeyboard();
  config.rules.push_back(c.rule);
  Connect(config);
  const Outcome ending = RunDialog(4, [&](FakeScreen& s, WindowRef dialog) {
    s.ClickRow(dialog, IDC_SLOT_LIST, 0);
    s.Click(dialog, IDC_DELETE);
    ADD_FAILURE() << "the delete should have ended the dialog";
  });
  EXPECT_EQ(ending, c.ending);
  EXPECT_FALSE(screen.IsOpen(screen.LastWindowOf(IDD_DELETING)));
  EXPECT_EQ(keyboard->Slot(0).status, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, DeleteFailureTest,
    ::testing::Values(
        // A refusal with code 0 is the keyboard's error code, not "not ready".
        DeleteFailureCase{"refused, code 0", Refuse(family_c::kCmdDeleteSong, 0), Coded(0)},
        DeleteFailureCase{"refused, code 5", Refuse(family_c::kCmdDeleteSong, 5), Coded(5)},
        DeleteFailureCase{"no answer", Silent(family_c::kCmdDeleteSong), Message(IDS_TIMEOUT)}),
    test::NameFrom(&DeleteFailureCase::what));

TEST_F(FamilyCDialogTest, DeleteWaitPassesOverUnrelatedFramesBeforeTheAnswer) {
  RunDialog(4, [&](FakeScreen& s, WindowRef dialog) {
    keyboard->SetJunk({test::JunkFrame::OtherAddress, test::JunkFrame::BrokenFraming, test::JunkFrame::TooShort,
                       test::JunkFrame::OtherCode},
                      1);
    s.ClickRow(dialog, IDC_SLOT_LIST, 0);
    s.Click(dialog, IDC_DELETE);
    s.Click(dialog, IDC_CANCEL_TRANSFER);
  });
  EXPECT_EQ(keyboard->Slot(0).status, 0);
  EXPECT_EQ(screen.BoxTexts(), (std::vector<std::string>{TEXT_49, TEXT_50}));
}

// ---------------------------------------------------------------------------------------------------------
// Commands that arrive while the dialog waits for the keyboard

TEST_F(FamilyCDialogTest, ButtonsPressedDuringAnExchangeAreIgnoredUntilItEnds) {
  KeyboardConfig config = StandardKeyboard();
  config.replyDelayMs = 200;
  Connect(config);
  // During the opening reading the user presses Send, Delete, Cancel and sets off another refresh; each
  // arrives as a window message dispatched inside a wait.
  auto press = [&](int control) {
    return [this, control] {
      WindowRef dialog = screen.LastWindowOf(IDD_SEND_C);
      if (control == IDC_SLOT_LIST) {
        screen.ClickRow(dialog, IDC_SLOT_LIST, 0);
      } else {
        screen.Click(dialog, control);
      }
    };
  };
  link.PostWindowMessage(100, press(IDC_SEND));
  link.PostWindowMessage(500, press(IDC_REFRESH));
  link.PostWindowMessage(900, press(IDC_SLOT_LIST));
  link.PostWindowMessage(1300, press(IDC_DELETE));
  link.PostWindowMessage(1700, press(IDC_CANCEL_TRANSFER));

  const Outcome ending = RunDialog(4, [&](FakeScreen& s, WindowRef dialog) {
    EXPECT_FALSE(s.Win(dialog).ended);
    EXPECT_FALSE(Enabled(s, dialog, IDC_DELETE));
    s.Click(dialog, IDC_CANCEL_TRANSFER);
  });
  EXPECT_EQ(ending, Returned(0));
  EXPECT_GE(link.Dispatched(), 5);
  EXPECT_EQ(keyboard->CountReceived(family_c::kCmdReadSlotInfo), 10u);
  EXPECT_EQ(keyboard->CountReceived(family_c::kCmdAnnounceSong), 0u);
  EXPECT_EQ(keyboard->CountReceived(family_c::kCmdDeleteSong), 0u);
  EXPECT_TRUE(screen.boxes.empty());
}

// ---------------------------------------------------------------------------------------------------------
// RunFamilyC: conversion, loading and the dialog

class RunFamilyCTest : public FamilyCDialogTest {
 protected:
  void SetUp() override {
    FamilyCDialogTest::SetUp();
    dir = std::filesystem::temp_directory_path() /
          ("family_c_flow_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    RunState& run = su::Run();
    run.stagedPath = (dir / "song.mid").string();
    run.modelType = 4;
    run.modelCode = "2";
    ReleaseSongImage(run);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    FamilyCDialogTest::TearDown();
  }
  void WriteStaged(const Bytes& bytes) {
    std::ofstream out(su::Run().stagedPath, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  Outcome Flow() { return OutcomeOf(RunFamilyC); }

  std::filesystem::path dir;
};

TEST_F(RunFamilyCTest, ConvertsLoadsTheImageAndSendsItIntoTheChosenSlot) {
  WriteStaged(test::OneNoteSong());
  screen.users[IDD_SEND_C].push_back([&](FakeScreen& s, WindowRef dialog) {
    EXPECT_EQ(s.Ctl(dialog, IDC_SLOT_LIST).list.rows.size(), 10u);
    EXPECT_EQ(s.ControlText(dialog, IDC_SONG_SIZE), "1");  // a small image shows as 1 kilobyte
    s.ClickRow(dialog, IDC_SLOT_LIST, 3);
    s.Click(dialog, IDC_SEND);
  });
  EXPECT_EQ(Flow(), Returned(1));
  EXPECT_EQ(screen.convertingShown, 1);
  EXPECT_EQ(screen.convertingClosed, 1);
  EXPECT_EQ(su::Run().convertedPath, (dir / "song.sq0").string());
  ASSERT_GT(su::Run().songImageSize, 0u);
  EXPECT_EQ(keyboard->Slot(3).contents, Image());
  EXPECT_EQ(screen.BoxTexts(), std::vector<std::string>{TEXT_40});
}

TEST_F(RunFamilyCTest, ConversionFailuresEndTheRunBeforeTheDialogOpens) {
  EXPECT_EQ(Flow(), Message(IDS_DATA_NOT_FOUND));  // no staged file at all
  WriteStaged({'n', 'o', 't', ' ', 'm', 'i', 'd', 'i'});
  EXPECT_EQ(Flow(), Message(IDS_FILE_BROKEN));
  EXPECT_TRUE(screen.dialogsRun.empty());
  EXPECT_TRUE(link.Sent().empty());
}

}  // namespace
}  // namespace su
