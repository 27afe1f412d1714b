// The port choice over port lists as the MIDI systems give them on real machines.
#include "midi/port_choice.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace su {
namespace {

using Names = std::vector<std::string>;

struct ChoiceCase {
  std::string name;
  Names inputs;
  Names outputs;
  std::string in, out;  // what the user named ("" for the default)
  std::int32_t chosenIn, chosenOut;
  PortChoiceError error;
  bool bridge;
  Names candidates{};  // what the user is offered when the choice is theirs
};

const Names kAlsaDesktop = {"Midi Through:Midi Through Port-0 14:0", "USB Keyboard:USB Keyboard MIDI 1 20:0"};
const Names kTwoKeyboards = {"Midi Through:Midi Through Port-0 14:0", "USB Keyboard:USB Keyboard MIDI 1 20:0",
                             "Digital Piano:Digital Piano MIDI 1 24:0"};
const Names kTwinKeyboards = {"USB Keyboard:USB Keyboard MIDI 1 20:0", "USB Keyboard:USB Keyboard MIDI 1 24:0"};
const Names kTwoPortKeyboard = {"Midi Through:Midi Through Port-0 14:0", "USB Keyboard:USB Keyboard MIDI 1 20:0",
                                "USB Keyboard:USB Keyboard MIDI 2 20:1"};
const Names kA2jIn = {"a2j:Midi Through [14] (capture): Midi Through Port-0",
                      "a2j:USB Keyboard [20] (capture): USB Keyboard MIDI 1"};
const Names kA2jOut = {"a2j:Midi Through [14] (playback): Midi Through Port-0",
                       "a2j:USB Keyboard [20] (playback): USB Keyboard MIDI 1"};
// The keyboard player's two JACK clients: the second of one name is given a suffix.
const Names kJackIn = {"system:midi_capture_1", "virtual keyboard:SU Keyboard In"};
const Names kJackOut = {"system:midi_playback_1", "virtual keyboard-01:SU Keyboard Out"};
// Another run of ours (or our own ports, once opened) is never the keyboard.
const Names kJackOwnIn = {"songuploader-01:out", "virtual keyboard:SU Keyboard In"};
const Names kJackOwnOut = {"songuploader:in", "virtual keyboard-01:SU Keyboard Out"};
const Names kAlsaOwn = {"Midi Through:Midi Through Port-0 14:0", "songuploader:in 128:0",
                        "USB Keyboard:USB Keyboard MIDI 1 20:0"};

void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.name; }

using E = PortChoiceError;

class PortChoiceTable : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(PortChoiceTable, ChoosesThePairOrSaysWhyNot) {
  const ChoiceCase& c = GetParam();
  const PortChoice choice = ChoosePortPair(c.inputs, c.outputs, c.in, c.out);
  EXPECT_EQ(choice.error, c.error);
  EXPECT_EQ(choice.in, c.chosenIn);
  EXPECT_EQ(choice.out, c.chosenOut);
  EXPECT_EQ(choice.bridge, c.bridge);
  EXPECT_EQ(choice.candidates, c.candidates);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, PortChoiceTable,
    ::testing::Values(
        ChoiceCase{"MidiThroughIsPassedOver", kAlsaDesktop, kAlsaDesktop, "", "", 1, 1, E::None, false},
        ChoiceCase{"OnlyMidiThroughIsNoPort", {kAlsaDesktop[0]}, {kAlsaDesktop[0]}, "", "", -1, -1, E::NoPorts, false},
        ChoiceCase{"TwoKeyboardsAreForTheUser", kTwoKeyboards, kTwoKeyboards, "", "", -1, -1, E::SeveralDevices, false,
                   {kTwoKeyboards[1], kTwoKeyboards[2]}},
        ChoiceCase{"ByAlsaAddress", kTwoKeyboards, kTwoKeyboards, "24:0", "24:0", 2, 2, E::None, false},
        ChoiceCase{"ByClientName", kTwoKeyboards, kTwoKeyboards, "digital piano", "Digital Piano", 2, 2, E::None, false},
        ChoiceCase{"ByAUniquePart", kTwoKeyboards, kTwoKeyboards, "Keyb", "Keyb", 1, 1, E::None, false},
        ChoiceCase{"APartOfTwoDevices", kTwoKeyboards, kTwoKeyboards, "MIDI 1", "MIDI 1", -1, -1, E::SeveralMatch, false,
                   {kTwoKeyboards[1], kTwoKeyboards[2]}},
        ChoiceCase{"ANumberOfNoPort", kTwoKeyboards, kTwoKeyboards, "3", "0", -1, -1, E::NoSuchNumber, false},
        ChoiceCase{"NothingMatches", kTwoKeyboards, kTwoKeyboards, "QK USB", "QK USB", -1, -1, E::NoMatch, false},
        ChoiceCase{"OneDirectionOnly", kTwoKeyboards, kTwoKeyboards, "20:0", "", -1, -1, E::NeedBoth, false},
        ChoiceCase{"TwinsByClientNameAreAmbiguous", kTwinKeyboards, kTwinKeyboards, "USB Keyboard", "USB Keyboard", -1,
                   -1, E::SeveralMatch, false, kTwinKeyboards},
        ChoiceCase{"TwinsByAddress", kTwinKeyboards, kTwinKeyboards, "24:0", "24:0", 1, 1, E::None, false},
        ChoiceCase{"ADevicesFirstPort", kTwoPortKeyboard, kTwoPortKeyboard, "", "", 1, 1, E::None, false},
        ChoiceCase{"TheBridgeIsFoundAndSaid", kA2jIn, kA2jOut, "", "", 1, 1, E::None, true},
        ChoiceCase{"BridgedByName", kA2jIn, kA2jOut, "USB Keyboard", "USB Keyboard", 1, 1, E::None, true},
        ChoiceCase{"JackSystemPortsAndTheClientSuffix", kJackIn, kJackOut, "", "", 1, 1, E::None, false},
        ChoiceCase{"JackClientNameAcrossTheSuffix", kJackIn, kJackOut, "virtual keyboard", "virtual keyboard", 1, 1,
                   E::None, false},
        ChoiceCase{"OurOwnJackPorts", kJackOwnIn, kJackOwnOut, "", "", 1, 1, E::None, false},
        ChoiceCase{"OurOwnPartIsNotAMatch", kJackOwnIn, kJackOwnOut, "upload", "upload", -1, -1, E::NoMatch, false},
        ChoiceCase{"OurOwnAlsaPorts", kAlsaOwn, kAlsaOwn, "", "", 2, 2, E::None, false},
        ChoiceCase{"OneNameForBothAsOnWindows", {"USB Keyboard"}, {"Wavetable Synth", "USB Keyboard"}, "", "", 0, 1,
                   E::None, false},
        ChoiceCase{"TheOnlyInputAndOutput", {"Piano In"}, {"Piano Out"}, "", "", 0, 0, E::None, false},
        ChoiceCase{"NoDeviceWithBoth", {"Piano In", "Drum In"}, {"Piano Out"}, "", "", -1, -1, E::NoDevice, false}),
    [](const ::testing::TestParamInfo<ChoiceCase>& info) { return info.param.name; });

TEST(PortChoiceTest, APortIsFoundByNameAfterTheListShifted) {
  const std::string keyboard = "virtual keyboard-01:SU Keyboard Out";
  // Our own input port was created between reading the list and opening the output.
  EXPECT_EQ(FindPortNow({"songuploader:in", keyboard}, keyboard), 1);
  EXPECT_EQ(FindPortNow({"songuploader:in"}, keyboard), -1);
  // The choice names the keyboard, never the port that took its number.
  const PortChoice choice = ChoosePortPair(kJackIn, kJackOut, "", "");
  ASSERT_EQ(choice.error, E::None);
  EXPECT_EQ(FindPortNow({"system:midi_playback_1", "songuploader:in", keyboard}, kJackOut[choice.out]), 2);
}

TEST(PortChoiceTest, NamesAreReadForTheirDevice) {
  const PortName alsa = ReadPortName("USB Keyboard:USB Keyboard MIDI 2 20:1");
  EXPECT_EQ(alsa.client, "USB Keyboard");
  EXPECT_EQ(alsa.address, "20:1");
  EXPECT_EQ(alsa.device, ReadPortName("USB Keyboard:USB Keyboard MIDI 1 20:0").device);
  EXPECT_NE(alsa.device, ReadPortName("USB Keyboard:USB Keyboard MIDI 1 24:0").device);
  EXPECT_TRUE(ReadPortName("System:Announce 0:1").ignored);
  const PortName bridged = ReadPortName(kA2jOut[1]);
  EXPECT_EQ(bridged.client, "USB Keyboard");
  EXPECT_EQ(bridged.device, ReadPortName(kA2jIn[1]).device);
  EXPECT_TRUE(bridged.bridge);
}

}  // namespace
}  // namespace su
