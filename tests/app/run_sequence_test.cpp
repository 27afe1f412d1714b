#include <gtest/gtest.h>

#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "base/errors.h"
#include "app/run_sequence.h"
#include "base/run_state.h"
#include "resources/resource.h"
#include "resources/strings.h"
#include "tests/app/fake_shell_system.h"
#include "tests/support/case_name.h"
#include "tests/support/fake_screen.h"

namespace su {
namespace {

// What the stand-in flows did, in order, and what they are told to do.
struct Calls {
  std::vector<std::string> order;
  int connectResult = 1;
  int modelType = 4;
  int raiseNumber = 0;      // raised by the family flow when not 0
  int raiseCode = -1;       // keyboard error raised by the family flow when 0..255
  bool raiseOther = false;  // an unexpected failure inside the flow
  std::string modelCodeSeenAtSelection;
};
Calls gCalls;

int FakeMakeSettingsPath() { gCalls.order.push_back("settingsPath"); return 1; }
int FakeLoadSettings() {
  gCalls.order.push_back("loadSettings");
  su::Run().modelCode = "ff";  // left over, must be cleared before the choice
  su::Run().modelInfoValid = 1;
  return 1;
}
int FakeDeviceDialog() { gCalls.order.push_back("deviceDialog"); return 0; }
int FakeSave() { gCalls.order.push_back("save"); return 1; }
int FakeConnect() {
  gCalls.order.push_back("connect");
  su::Run().modelType = gCalls.modelType;
  return gCalls.connectResult;
}
int Family(const char* name) {
  gCalls.order.push_back(name);
  su::Run().songImage.reset(new std::uint8_t[4]);
  su::Run().songImageSize = 4;
  if (gCalls.raiseNumber != 0) RaiseMessage(gCalls.raiseNumber);
  if (gCalls.raiseCode >= 0) RaiseKeyboardError(static_cast<std::uint8_t>(gCalls.raiseCode));
  if (gCalls.raiseOther) throw std::bad_alloc();
  return 1;
}
int FakeFamilyA() { return Family("familyA"); }
int FakeFamilyB() { return Family("familyB"); }
int FakeFamilyC() { return Family("familyC"); }
void FakeClosePorts() { gCalls.order.push_back("closePorts"); }

RunFlows AllFlows() {
  RunFlows flows;
  flows.makeSettingsPath = FakeMakeSettingsPath;
  flows.loadSettings = FakeLoadSettings;
  flows.showMidiDeviceDialog = FakeDeviceDialog;
  flows.saveSongFile = FakeSave;
  flows.connectKeyboard = FakeConnect;
  flows.runFamilyA = FakeFamilyA;
  flows.runFamilyB = FakeFamilyB;
  flows.runFamilyC = FakeFamilyC;
  flows.closeMidiPorts = FakeClosePorts;
  return flows;
}

constexpr int kOk = 1;      // the OK button of a dialog
constexpr int kCancel = 2;  // its Cancel button
const char* kSong = "E:\\Songs\\Tune.mid";

class RunSequenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    su::Run() = RunState{};
    gCalls = Calls{};
    system.directories = {"C:\\", "C:\\Temp\\", "E:\\", "E:\\Songs\\"};
    system.files[kSong] = {"MThd", false};
  }
  void TearDown() override { su::Run() = RunState{}; }

  // The user presses `button` in the Selection dialog, after clicking `radio` when it is not 0.
  void UserChooses(int radio, int button) {
    screen.users[IDD_SELECTION].push_back([radio, button](test::FakeScreen& s, WindowRef dialog) {
      gCalls.modelCodeSeenAtSelection = su::Run().modelCode;
      if (radio != 0) s.Click(dialog, radio);
      s.Click(dialog, button);
    });
  }

  // Clean-up ran: ports closed, no work directory, no song image, mutex released.
  void ExpectCleanedUp() {
    EXPECT_FALSE(gCalls.order.empty());
    if (!gCalls.order.empty()) {
      EXPECT_EQ(gCalls.order.back(), "closePorts");
    }
    EXPECT_TRUE(system.Inside("C:\\Temp\\").empty()) << "a work directory was left behind";
    EXPECT_TRUE(su::Run().workDir.empty());
    EXPECT_EQ(su::Run().songImage, nullptr);
    EXPECT_EQ(su::Run().songImageSize, 0u);
    EXPECT_FALSE(system.mutexHeld);
  }

  test::FakeScreen screen;
  test::ScopedScreen installedScreen{screen};
  test::FakeShellSystem system;
  test::ScopedSystem installedSystem{system};
};

TEST_F(RunSequenceTest, SecondInstanceShowsNothingAndReleasesItsHandle) {
  system.otherInstanceRunning = true;
  EXPECT_EQ(RunSequence(kSong, AllFlows()), 0);
  EXPECT_TRUE(screen.boxes.empty());
  EXPECT_TRUE(screen.dialogsRun.empty());
  EXPECT_EQ(system.mutexReleases, 1);
  ExpectCleanedUp();
}

TEST_F(RunSequenceTest, MissingOrOverlongSourceShowsMessage30Only) {
  const std::string overlong = "E:\\Songs\\" + std::string(260, 'a') + ".mid";
  system.files[overlong] = {"MThd", false};  // exists, but does not fit the path field
  for (const std::string& path : {std::string("E:\\Songs\\gone.mid"), overlong}) {
    SCOPED_TRACE(path.size());
    screen.boxes.clear();
    EXPECT_EQ(RunSequence(path.c_str(), AllFlows()), 0);
    ASSERT_EQ(screen.boxes.size(), 1u);
    EXPECT_EQ(screen.boxes[0].text, TEXT_30);
    EXPECT_EQ(screen.boxes[0].kind, BoxKind::Ok);
    EXPECT_EQ(screen.boxes[0].owner, nullptr);
    EXPECT_TRUE(screen.dialogsRun.empty()) << "the Selection dialog was shown";
    ExpectCleanedUp();
  }
}

TEST_F(RunSequenceTest, PathOfExactly259CharactersIsAccepted) {
  // The length is in the song's folder: the staged copy, under a short work directory, fits as well.
  std::string path = "E:\\Songs\\";
  path += std::string(259 - path.size() - 6, 'b') + "\\b.mid";
  ASSERT_EQ(path.size(), 259u);
  system.files[path] = {"MThd", false};
  UserChooses(0, kCancel);
  RunSequence(path.c_str(), AllFlows());
  EXPECT_TRUE(screen.boxes.empty());
  EXPECT_EQ(screen.dialogsRun, std::vector<int>{IDD_SELECTION});
}

TEST_F(RunSequenceTest, NoArgumentAsksForTheSource) {
  screen.openPaths.push_back(kSong);
  UserChooses(0, kCancel);
  RunSequence(nullptr, AllFlows());
  EXPECT_EQ(su::Run().sourcePath, kSong);
  EXPECT_EQ(screen.dialogsRun, std::vector<int>{IDD_SELECTION});
}

TEST_F(RunSequenceTest, CancelledOpenDialogEndsWithoutMessage) {
  RunSequence(nullptr, AllFlows());
  EXPECT_TRUE(screen.boxes.empty());
  EXPECT_TRUE(screen.dialogsRun.empty());
  ExpectCleanedUp();
}

// What the user chooses in the Selection dialog and how the flows answer, and the flows that run in turn.
struct ChoiceCase {
  const char* name;
  int radio;   // clicked before the button when not 0
  int button;
  int connectResult;
  int modelType;
  bool familyAMissing;  // a build without family A
  std::int32_t selection;
  std::vector<std::string> order;
};

void PrintTo(const ChoiceCase& c, std::ostream* os) { *os << c.name; }

class ChoiceTest : public RunSequenceTest, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(ChoiceTest, RunsTheFlowsInTurnQuietlyAndCleansUp) {
  const ChoiceCase& c = GetParam();
  gCalls.connectResult = c.connectResult;
  gCalls.modelType = c.modelType;
  RunFlows flows = AllFlows();
  if (c.familyAMissing) flows.runFamilyA = nullptr;
  UserChooses(c.radio, c.button);
  RunSequence(kSong, flows);
  EXPECT_EQ(gCalls.order, c.order);
  EXPECT_EQ(su::Run().selection, c.selection);
  EXPECT_TRUE(gCalls.modelCodeSeenAtSelection.empty()) << "model fields were not cleared before the choice";
  EXPECT_EQ(su::Run().modelInfoValid, 0);
  EXPECT_TRUE(screen.boxes.empty());
  ExpectCleanedUp();
}

const std::vector<std::string> kUpToConnect = {"settingsPath", "loadSettings", "connect", "closePorts"};

INSTANTIATE_TEST_SUITE_P(
    Choices, ChoiceTest,
    ::testing::Values(
        ChoiceCase{"CancelEndsAfterStagingAndSettings", 0, kCancel, 1, 4, false, 1,
                   {"settingsPath", "loadSettings", "closePorts"}},
        ChoiceCase{"OkWithoutTouchingTheRadioButtonsSends", 0, kOk, 1, 4, false, 1,
                   {"settingsPath", "loadSettings", "connect", "familyC", "closePorts"}},
        ChoiceCase{"SaveRunsTheSaveFlowOnly", IDC_SAVE_AS_FILE, kOk, 1, 4, false, 2,
                   {"settingsPath", "loadSettings", "save", "closePorts"}},
        ChoiceCase{"ConnectGivingUpEndsTheRun", 0, kOk, 0, 4, false, 1, kUpToConnect},
        ChoiceCase{"FamilyNotInThisBuildEndsTheRun", 0, kOk, 1, 21, true, 1, kUpToConnect}),
    test::NameFrom(&ChoiceCase::name));

TEST_F(RunSequenceTest, SetupMenuOpensTheDeviceDialogAndKeepsSelectionOpen) {
  screen.users[IDD_SELECTION].push_back([](test::FakeScreen& s, WindowRef dialog) {
    s.Click(dialog, IDM_SETUP);
    EXPECT_FALSE(s.Win(dialog).ended);
    s.Click(dialog, IDC_SAVE_AS_FILE);
    s.Click(dialog, IDC_SEND_TO_KEYBOARD);
    s.Click(dialog, kOk);
  });
  RunSequence(kSong, AllFlows());
  EXPECT_EQ(gCalls.order, (std::vector<std::string>{"settingsPath", "loadSettings", "deviceDialog", "connect",
                                                    "familyC", "closePorts"}));
}

struct DispatchCase {
  int modelType;
  const char* family;
};

void PrintTo(const DispatchCase& c, std::ostream* os) { *os << "model type " << c.modelType; }

class DispatchTest : public RunSequenceTest, public ::testing::WithParamInterface<DispatchCase> {};

TEST_P(DispatchTest, ModelTypeChoosesTheFamily) {
  gCalls.modelType = GetParam().modelType;
  UserChooses(0, kOk);
  RunSequence(kSong, AllFlows());
  ASSERT_GE(gCalls.order.size(), 2u);
  EXPECT_EQ(gCalls.order[gCalls.order.size() - 2], GetParam().family);
}

INSTANTIATE_TEST_SUITE_P(Models, DispatchTest,
                         ::testing::Values(DispatchCase{21, "familyA"}, DispatchCase{22, "familyA"},
                                           DispatchCase{25, "familyB"}, DispatchCase{26, "familyB"},
                                           DispatchCase{27, "familyB"}, DispatchCase{4, "familyC"},
                                           DispatchCase{20, "familyC"}, DispatchCase{23, "familyC"},
                                           DispatchCase{24, "familyC"}, DispatchCase{28, "familyC"}),
                         [](const ::testing::TestParamInfo<DispatchCase>& info) {
                           return "ModelType" + std::to_string(info.param.modelType);
                         });

// A failure inside the family flow, and the warning box it ends the run with.
struct FailureCase {
  const char* name;
  int raiseNumber;
  int raiseCode;
  bool raiseOther;
  std::string shown;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class FlowFailureTest : public RunSequenceTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FlowFailureTest, IsShownAsAWarningWithoutOwnerThenCleanedUp) {
  gCalls.raiseNumber = GetParam().raiseNumber;
  gCalls.raiseCode = GetParam().raiseCode;
  gCalls.raiseOther = GetParam().raiseOther;
  UserChooses(0, kOk);
  RunSequence(kSong, AllFlows());
  ASSERT_EQ(screen.boxes.size(), 1u);
  EXPECT_EQ(screen.boxes[0].text, GetParam().shown);
  EXPECT_EQ(screen.boxes[0].kind, BoxKind::Warning);
  EXPECT_EQ(screen.boxes[0].owner, nullptr);
  ExpectCleanedUp();
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FlowFailureTest,
    ::testing::Values(FailureCase{"RaisedMessage", IDS_TIMEOUT, -1, false, TEXT_38},
                      FailureCase{"KeyboardErrorAsMessage53WithItsCode", 0, 200, false, "The error occurred.(200)"},
                      // Anything else that goes wrong in a flow still ends with a message.
                      FailureCase{"UnexpectedFailure", 0, -1, true, TEXT_44}),
    test::NameFrom(&FailureCase::name));

TEST_F(RunSequenceTest, FailureBeforeTheChosenFlowStillCleansUp) {
  screen.users[IDD_SELECTION].push_back([](test::FakeScreen&, WindowRef) { throw std::bad_alloc(); });
  EXPECT_EQ(RunSequence(kSong, AllFlows()), 0);
  ExpectCleanedUp();
}

TEST_F(RunSequenceTest, SelectionDialogChecksTheCurrentChoice) {
  su::Run().selection = 2;
  screen.users[IDD_SELECTION].push_back([](test::FakeScreen& s, WindowRef dialog) {
    EXPECT_TRUE(s.Ctl(dialog, IDC_SAVE_AS_FILE).checked);
    EXPECT_FALSE(s.Ctl(dialog, IDC_SEND_TO_KEYBOARD).checked);
    s.Click(dialog, kCancel);
  });
  RunSequence(kSong, AllFlows());
  EXPECT_EQ(screen.dialogsRun, std::vector<int>{IDD_SELECTION});
}

}  // namespace
}  // namespace su
