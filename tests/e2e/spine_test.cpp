// The run sequence end to end: the single-instance guard, the source path and the Selection dialog.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "resources/strings.h"
#include "tests/e2e/harness.h"

namespace su::e2e {
namespace {

// A song file of our own in a scratch folder, and an isolated temporary folder for the work directories.
struct Scene {
  std::string folder = NewScratchFolder("spine");
  std::string temp = NewScratchFolder("spine_temp");
  std::string song = folder + "\\Song One.mid";

  Scene() { EXPECT_TRUE(WriteFileBytes(song, std::string("MThd\0\0\0\6\0\0\0\1\0\x60", 14))); }
  ~Scene() {
    RemoveFolderTree(folder);
    RemoveFolderTree(temp);
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  LaunchOptions With(std::vector<std::string> arguments) const {
    LaunchOptions options;
    options.arguments = std::move(arguments);
    options.tempFolder = temp;
    return options;
  }
};

std::string Describe(HWND dialog) {
  std::string text;
  for (const ChildInfo& child : Children(dialog))
    text += std::to_string(child.id) + " " + child.className + " \"" + child.text + "\"\n";
  return text;
}

TEST(Spine, SecondInstanceEndsAtOnceAndSilently) {
  Scene scene;
  Program first(scene.With({scene.song}));
  ASSERT_TRUE(first.Started());
  HWND selection = first.WaitWindow("Selection");
  ASSERT_NE(selection, nullptr) << "the first instance never showed the Selection dialog";

  Program second(scene.With({scene.song}));
  ASSERT_TRUE(second.Started());
  EXPECT_TRUE(second.WaitExit(10000)) << "a second instance kept running beside the first";
  EXPECT_EQ(second.ExitCode(), 0u);
  EXPECT_TRUE(second.Windows().empty());

  // The first run is unaffected: its dialog is still there and still answers.
  EXPECT_TRUE(first.Running());
  EXPECT_EQ(first.FindWindowTitled("Selection"), selection);
  EXPECT_EQ(WorkDirectories(scene.temp).size(), 1u) << "the second instance staged a copy of its own";
  PressButton(selection, IDCANCEL);
  EXPECT_TRUE(first.WaitExit());
}

TEST(Spine, MissingSourceShowsMessage30AndNoSelection) {
  Scene scene;
  Program program(scene.With({scene.folder + "\\no such song.mid"}));
  ASSERT_TRUE(program.Started());
  HWND box = program.WaitMessageBox();
  ASSERT_NE(box, nullptr) << "no message box for a missing source file";
  EXPECT_EQ(MessageBoxText(box), TEXT_30) << Describe(box);
  EXPECT_EQ(program.FindWindowTitled("Selection"), nullptr);
  EXPECT_EQ(GetDlgItem(box, IDYES), nullptr) << "message 30 is an OK box";
  AnswerMessageBox(box, IDOK);
  EXPECT_TRUE(program.WaitExit());
  EXPECT_EQ(program.ExitCode(), 0u);
  EXPECT_TRUE(WorkDirectories(scene.temp).empty()) << "a work directory was made for a missing file";
}

TEST(Spine, PathLongerThanTheFieldIsRefusedWithMessage30) {
  Scene scene;
  // An existing file reached through a path longer than 259 characters: never cut to another path.
  std::string longPath = scene.folder;
  while (longPath.size() < 300) longPath += "\\.";
  longPath += "\\Song One.mid";
  Program program(scene.With({longPath}));
  ASSERT_TRUE(program.Started());
  HWND box = program.WaitMessageBox();
  ASSERT_NE(box, nullptr) << "no message box for a " << longPath.size() << "-character path";
  EXPECT_EQ(MessageBoxText(box), TEXT_30);
  EXPECT_EQ(program.FindWindowTitled("Selection"), nullptr);
  AnswerMessageBox(box, IDOK);
  EXPECT_TRUE(program.WaitExit());
  EXPECT_TRUE(WorkDirectories(scene.temp).empty());
}

TEST(Spine, CancelInSelectionLeavesNoWorkDirectory) {
  Scene scene;
  Program program(scene.With({scene.song, "ignored second argument"}));
  ASSERT_TRUE(program.Started());
  HWND selection = program.WaitWindow("Selection");
  ASSERT_NE(selection, nullptr);
  // While the dialog is open the copy sits in exactly one work directory, under the source's own name.
  const std::vector<std::string> during = WorkDirectories(scene.temp);
  ASSERT_EQ(during.size(), 1u);
  EXPECT_NE(GetFileAttributesA((scene.temp + "\\" + during[0] + "\\Song One.mid").c_str()),
            INVALID_FILE_ATTRIBUTES);
  PressButton(selection, IDCANCEL);
  EXPECT_TRUE(program.WaitExit());
  EXPECT_EQ(program.ExitCode(), 0u);
  EXPECT_TRUE(WorkDirectories(scene.temp).empty()) << "Cancel left the work directory behind";
  EXPECT_NE(GetFileAttributesA(scene.song.c_str()), INVALID_FILE_ATTRIBUTES) << "the user's song was touched";
}

TEST(Spine, SelectionControlsMatchTheTemplate) {
  Scene scene;
  Program program(scene.With({scene.song}));
  ASSERT_TRUE(program.Started());
  HWND selection = program.WaitWindow("Selection");
  ASSERT_NE(selection, nullptr);

  struct Expected {
    int id;
    const char* className;
    const char* text;
  };
  const Expected expected[] = {
      {IDC_SEND_TO_KEYBOARD, "Button", "Send the data to the keyboard."},
      {IDC_SAVE_AS_FILE, "Button", "Save the data as a \"SQ2\" file."},
      {IDOK, "Button", "OK"},
      {IDCANCEL, "Button", "Cancel"},
  };
  const std::vector<ChildInfo> children = Children(selection);
  ASSERT_EQ(children.size(), std::size(expected)) << Describe(selection);
  for (std::size_t i = 0; i < children.size(); ++i) {
    SCOPED_TRACE("control " + std::to_string(expected[i].id));
    EXPECT_EQ(children[i].id, expected[i].id) << "creation order differs";
    EXPECT_STRCASEEQ(children[i].className.c_str(), expected[i].className);
    EXPECT_EQ(children[i].text, expected[i].text);
  }
  EXPECT_EQ(children[0].style & BS_TYPEMASK, BS_AUTORADIOBUTTON);
  EXPECT_EQ(children[1].style & BS_TYPEMASK, BS_AUTORADIOBUTTON);
  EXPECT_EQ(children[2].style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_TRUE(IsChecked(selection, IDC_SEND_TO_KEYBOARD)) << "sending is the first choice";
  EXPECT_FALSE(IsChecked(selection, IDC_SAVE_AS_FILE));
  EXPECT_NE(GetMenu(selection), nullptr) << "the Selection dialog carries the Setup menu";
  EXPECT_EQ(StyleOf(selection) & WS_SYSMENU, 0) << "the dialog has no system menu";

  // The radio buttons answer a click.
  ClickButton(selection, IDC_SAVE_AS_FILE);
  EXPECT_TRUE(WaitUntil([&] { return IsChecked(selection, IDC_SAVE_AS_FILE); }, 5000));
  EXPECT_FALSE(IsChecked(selection, IDC_SEND_TO_KEYBOARD));
  PressButton(selection, IDCANCEL);
  EXPECT_TRUE(program.WaitExit());
}

TEST(Spine, SetupMenuOpensTheDeviceDialogAndReturnsToSelection) {
  Scene scene;
  Program program(scene.With({scene.song}));
  ASSERT_TRUE(program.Started());
  HWND selection = program.WaitWindow("Selection");
  ASSERT_NE(selection, nullptr);
  ChooseMenuCommand(selection, IDM_SETUP);
  HWND device = program.WaitWindow("MIDI Device");
  ASSERT_NE(device, nullptr) << "Setup(&S) did not open the MIDI Device dialog";
  PressButton(device, IDCANCEL);
  ASSERT_TRUE(WaitUntil([&] { return program.FindWindowTitled("MIDI Device") == nullptr; }));
  // Still waiting for OK or Cancel.
  EXPECT_TRUE(program.Running());
  EXPECT_EQ(program.FindWindowTitled("Selection"), selection);
  PressButton(selection, IDCANCEL);
  EXPECT_TRUE(program.WaitExit());
  EXPECT_TRUE(WorkDirectories(scene.temp).empty());
}

TEST(Spine, OpenFileDialogChoosesTheSourceWhenNoArgumentIsGiven) {
  Scene scene;
  Program program(scene.With({}));
  ASSERT_TRUE(program.Started());
  HWND open = program.WaitFileDialog();
  ASSERT_NE(open, nullptr) << "no open-file dialog without an argument";
  ASSERT_TRUE(FillFileDialog(open, scene.song)) << Describe(open);
  HWND selection = program.WaitWindow("Selection");
  ASSERT_NE(selection, nullptr) << "the chosen file did not lead to the Selection dialog";
  EXPECT_EQ(WorkDirectories(scene.temp).size(), 1u);
  PressButton(selection, IDCANCEL);
  EXPECT_TRUE(program.WaitExit());
  EXPECT_TRUE(WorkDirectories(scene.temp).empty());
}

TEST(Spine, CancelledOpenFileDialogEndsQuietly) {
  Scene scene;
  Program program(scene.With({}));
  ASSERT_TRUE(program.Started());
  HWND open = program.WaitFileDialog();
  ASSERT_NE(open, nullptr);
  PressButton(open, IDCANCEL);
  EXPECT_TRUE(program.WaitExit());
  EXPECT_EQ(program.FindMessageBox(), nullptr);
  EXPECT_TRUE(WorkDirectories(scene.temp).empty());
}

}  // namespace
}  // namespace su::e2e
