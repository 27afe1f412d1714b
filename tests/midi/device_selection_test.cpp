// Device selection and the settings file it writes: the stored pair's check and the keyboard-port check on
// machines with several processors. The MIDI Device dialog's tests are in tests/app/dialogs/.
#include "midi/device_selection.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "base/run_state.h"
#include "base/settings.h"
#include "base/settings_profile.h"
#include "midi/port_session.h"
#include "midi/system_affinity.h"
#include "tests/support/case_name.h"
#include "tests/support/device_choice_fixture.h"

namespace su {
namespace {


class DeviceSelectionTest : public test::DeviceChoiceTest {};

struct SetupCase {
  const char* what;
  std::int32_t in, out;
  int expected;
};

void PrintTo(const SetupCase& c, std::ostream* os) { *os << c.what; }

class CheckDeviceSetupTest : public DeviceSelectionTest, public ::testing::WithParamInterface<SetupCase> {};

TEST_P(CheckDeviceSetupTest, SaysWhetherTheStoredPairNamesExistingDevices) {
  link.FailOutNameQuery(1);
  Choose(GetParam().in, GetParam().out);
  EXPECT_EQ(CheckDeviceSetup(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckDeviceSetupTest,
    ::testing::Values(SetupCase{"nothing stored", -1, -1, 1}, SetupCase{"only the input", 0, -1, 1},
                      SetupCase{"only the output", -1, 0, 1}, SetupCase{"both exist", 2, 0, 0},
                      SetupCase{"input unplugged", 3, 0, 1}, SetupCase{"output unplugged", 0, 2, 1},
                      SetupCase{"output query fails", 0, 1, 1}),
    test::NameFrom(&SetupCase::what));

struct HyperthreadingCase {
  const char* inName;
  const char* outName;
  std::uint64_t systemMask;
  int expected;
};

void PrintTo(const HyperthreadingCase& c, std::ostream* os) {
  *os << "in \"" << c.inName << "\", out \"" << c.outName << "\", processor mask " << c.systemMask;
}

class CheckHyperthreadingTest : public DeviceSelectionTest,
                                public ::testing::WithParamInterface<HyperthreadingCase> {};

TEST_P(CheckHyperthreadingTest, RefusesKeyboardPortsOnlyOnSeveralProcessors) {
  const HyperthreadingCase& c = GetParam();
  link.SetInDevices({c.inName});
  link.SetOutDevices({c.outName});
  InstallAffinityMaskSource([mask = c.systemMask] { return mask; });
  Choose(0, 0);
  EXPECT_EQ(CheckHyperthreading(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, CheckHyperthreadingTest,
    ::testing::Values(HyperthreadingCase{"QK USB IN 1", "Synth Out", 3, 2},
                      HyperthreadingCase{"2- QK USB IN 2", "Synth Out", 3, 2},
                      HyperthreadingCase{"QUAVR USB IN 1 (x)", "Synth Out", 0xFF, 2},
                      HyperthreadingCase{"Synth In", "QUAVR USB OUT 2", 2, 2},
                      HyperthreadingCase{"Synth In", "4- QK USB OUT 1", 2, 2},
                      HyperthreadingCase{"QK USB IN 1", "QK USB OUT 1", 0x100000000ull, 2},
                      HyperthreadingCase{"QK USB IN 1", "QK USB OUT 1", 1, 0},
                      HyperthreadingCase{"QK USB IN 1", "QK USB OUT 1", 0, 0},
                      HyperthreadingCase{"qk usb in 1", "quavr usb out 1", 3, 0},
                      HyperthreadingCase{"QK USB IN 3", "QUAVR USB OUT", 3, 0},
                      HyperthreadingCase{"Synth In", "Synth Out", 0xFFFF, 0}));

TEST_F(DeviceSelectionTest, HyperthreadingCheckFirstAsksWhetherThePairIsSetUp) {
  InstallAffinityMaskSource([] { return std::uint64_t{1}; });
  Choose(0, 5);
  EXPECT_EQ(CheckHyperthreading(), 1);
}

// ---- The settings file ----

struct PathCase {
  const char* program;
  const char* settings;
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << "program \"" << c.program << "\""; }

class SettingsPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(SettingsPathTest, SitsBesideTheProgramWhateverItIsCalled) {
  EXPECT_EQ(SettingsPathFor(GetParam().program), GetParam().settings);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsPathTest,
    ::testing::Values(PathCase{"C:\\Program Files\\Song Up\\SongUploader.exe", "C:\\Program Files\\Song Up\\SongUploader.INI"},
                      PathCase{"D:\\tools\\renamed.v2.EXE", "D:\\tools\\SongUploader.INI"},
                      PathCase{"Z:/mixed\\dir/prog.exe", "Z:/mixed\\dir/SongUploader.INI"},
                      PathCase{"C:prog.exe", "C:SongUploader.INI"},
                      PathCase{"\\\\server\\share\\su.exe", "\\\\server\\share\\SongUploader.INI"},
                      PathCase{"", "SongUploader.INI"}));

TEST_F(DeviceSelectionTest, LoadSettingsReadsTheFourKeysInOrderWithTheirDefaults) {
  profile.values["SONGPORT/IN"] = "3";
  profile.values["SONGPORT/ZT31_TIMEOUT"] = "500";
  LoadSettings();
  const std::string file = "C:\\Tools\\Uploader\\SongUploader.INI|SONGPORT/";
  EXPECT_EQ(profile.reads, (std::vector<std::string>{file + "IN|-1", file + "OUT|-1", file + "DEBUG_ZT52|0",
                                                     file + "ZT31_TIMEOUT|10"}));
  EXPECT_EQ(su::Run().midiInIndex, 3);
  EXPECT_EQ(su::Run().midiOutIndex, -1);
  EXPECT_EQ(su::Run().debugZt52, 0);
  EXPECT_EQ(su::Run().zt31Timeout, 500);
  EXPECT_TRUE(profile.writes.empty());
}

TEST_F(DeviceSelectionTest, WithoutASettingsFileEverythingTakesItsDefaultAndNothingIsWritten) {
  InstallProfileFile(nullptr);
  su::Run().zt31Timeout = 77;
  su::Run().debugZt52 = 1;
  MakeSettingsPath();
  LoadSettings();
  EXPECT_EQ(su::Run().midiInIndex, -1);
  EXPECT_EQ(su::Run().midiOutIndex, -1);
  EXPECT_EQ(su::Run().debugZt52, 0);
  EXPECT_EQ(su::Run().zt31Timeout, 10);
  Choose(1, 1);
  EXPECT_EQ(StorePortChoice(), 1);
}

}  // namespace
}  // namespace su
