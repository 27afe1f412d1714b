// The MIDI Device dialog played through the recording screen: the device lists, Cancel, and OK with a valid or
// an incomplete choice, and what reaches the settings file.
#include "app/dialogs/midi_device_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/run_state.h"
#include "base/settings.h"
#include "resources/resource.h"
#include "tests/support/device_choice_fixture.h"

namespace su {
namespace {

using test::FakeScreen;

class MidiDeviceDialogTest : public test::DeviceChoiceTest {
 protected:
  // The user picks positions in the two lists (-1: leaves that list alone) and presses OK.
  static FakeScreen::User PickAndOk(int in, int out) {
    return [in, out](FakeScreen& s, WindowRef dialog) {
      if (in >= -1) s.Ctl(dialog, IDC_MIDI_IN).comboSelected = in;
      if (out >= -1) s.Ctl(dialog, IDC_MIDI_OUT).comboSelected = out;
      s.Click(dialog, 1);
    };
  }
};

TEST_F(MidiDeviceDialogTest, DialogListsDevicesInOrderAndCancelWritesNothing) {
  link.FailInNameQuery(1);
  screen.users[IDD_MIDI_DEVICE].push_back([](FakeScreen& s, WindowRef dialog) { s.Click(dialog, 2); });
  EXPECT_EQ(ShowMidiDeviceDialog(), -1);
  WindowRef dialog = screen.LastWindowOf(IDD_MIDI_DEVICE);
  EXPECT_EQ(screen.Ctl(dialog, IDC_MIDI_IN).comboItems,
            (std::vector<std::string>{"Synth In", "", "Loop In"}));
  EXPECT_EQ(screen.Ctl(dialog, IDC_MIDI_OUT).comboItems,
            (std::vector<std::string>{"Synth Out", "2- QK USB OUT 1"}));
  EXPECT_EQ(screen.Ctl(dialog, IDC_MIDI_IN).comboSelected, -1);
  EXPECT_EQ(screen.Ctl(dialog, IDC_MIDI_OUT).comboSelected, -1);
  EXPECT_TRUE(profile.writes.empty());
  EXPECT_TRUE(screen.boxes.empty());
}

TEST_F(MidiDeviceDialogTest, ValidChoiceIsStoredAtOnceInputFirst) {
  Choose(2, 1);
  screen.users[IDD_MIDI_DEVICE].push_back([](FakeScreen& s, WindowRef dialog) {
    EXPECT_EQ(s.Ctl(dialog, IDC_MIDI_IN).comboSelected, 2) << "the stored pair is shown selected";
    EXPECT_EQ(s.Ctl(dialog, IDC_MIDI_OUT).comboSelected, 1);
    PickAndOk(1, 0)(s, dialog);
  });
  EXPECT_EQ(ShowMidiDeviceDialog(), 0);
  EXPECT_EQ(profile.writes, (std::vector<std::string>{"C:\\Tools\\Uploader\\SongUploader.INI|SONGPORT/IN=1",
                                                      "C:\\Tools\\Uploader\\SongUploader.INI|SONGPORT/OUT=0"}));
  EXPECT_EQ(su::Run().midiInIndex, 1);
  EXPECT_EQ(su::Run().midiOutIndex, 0);
}

TEST_F(MidiDeviceDialogTest, IncompleteChoiceAsksAndYesKeepsTheDialogWithTheChoiceShown) {
  screen.answers.push_back(kAnswerYes);
  screen.users[IDD_MIDI_DEVICE].push_back([](FakeScreen& s, WindowRef dialog) {
    PickAndOk(2, -2)(s, dialog);
    ASSERT_FALSE(s.Win(dialog).ended) << "Yes to message 29 must keep the dialog open";
    EXPECT_EQ(s.Ctl(dialog, IDC_MIDI_IN).comboSelected, 2);
    PickAndOk(-2, 0)(s, dialog);
  });
  EXPECT_EQ(ShowMidiDeviceDialog(), 0);
  ASSERT_EQ(screen.boxes.size(), 1u);
  EXPECT_EQ(screen.boxes[0].text, screen.Text(29));
  EXPECT_EQ(screen.boxes[0].kind, BoxKind::YesNo);
  EXPECT_EQ(screen.boxes[0].owner, screen.LastWindowOf(IDD_MIDI_DEVICE)) << "the box belongs to the dialog";
  // The pair stored is the one picked over the two presses: the input from the first, the output from the second.
  EXPECT_EQ(profile.writes, (std::vector<std::string>{"C:\\Tools\\Uploader\\SongUploader.INI|SONGPORT/IN=2",
                                                      "C:\\Tools\\Uploader\\SongUploader.INI|SONGPORT/OUT=0"}));
  EXPECT_EQ(su::Run().midiInIndex, 2);
  EXPECT_EQ(su::Run().midiOutIndex, 0);
}

TEST_F(MidiDeviceDialogTest, NoToTheQuestionGivesUpWithoutStoringButKeepsTheIndexes) {
  screen.answers.push_back(kAnswerNo);
  screen.users[IDD_MIDI_DEVICE].push_back(PickAndOk(-1, 1));
  EXPECT_EQ(ShowMidiDeviceDialog(), -1);
  EXPECT_TRUE(profile.writes.empty());
  EXPECT_EQ(su::Run().midiInIndex, -1);
  EXPECT_EQ(su::Run().midiOutIndex, 1);
}

}  // namespace
}  // namespace su
