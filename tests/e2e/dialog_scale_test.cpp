// Every dialog laid out as the system lays it out at 100%, 150% and 200% scale (96, 144 and 192 DPI, set as
// the prefix's LogPixels before the measuring tool starts): every static text and button label fits its
// rectangle in the dialog's own font, and every control lies inside its dialog.
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/e2e/dialog_actions.h"
#include "tests/e2e/harness.h"
#include "tests/e2e/virtual_stage.h"

namespace su::e2e {
namespace {

constexpr char kDesktopKey[] = "Control Panel\\Desktop";

// Sets the user's LogPixels for the programs started while it lives; puts back what was there.
class ScreenDpi {
 public:
  explicit ScreenDpi(DWORD dpi) {
    RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_, nullptr);
    DWORD size = sizeof old_;
    had_ = RegQueryValueExA(key_, "LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_), &size) == ERROR_SUCCESS;
    RegSetValueExA(key_, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
  }
  ~ScreenDpi() {
    if (had_) RegSetValueExA(key_, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_), sizeof old_);
    else RegDeleteValueA(key_, "LogPixels");
    RegCloseKey(key_);
  }
  ScreenDpi(const ScreenDpi&) = delete;
  ScreenDpi& operator=(const ScreenDpi&) = delete;

 private:
  HKEY key_ = nullptr;
  DWORD old_ = 0;
  bool had_ = false;
};

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  return fields;
}

TEST(DialogScale, DialogsFitAtEveryScale) {
  const std::string folder = NewScratchFolder("dpi");
  for (DWORD dpi : {96u, 144u, 192u}) {
    SCOPED_TRACE("at " + std::to_string(dpi) + " DPI");
    const std::string report = folder + "\\fit-" + std::to_string(dpi) + ".txt";
    {
      ScreenDpi screen(dpi);
      LaunchOptions options;
      options.program = TestFolder() + "dialog_fit.exe";
      options.arguments = {ProgramPath(), report};
      Program tool(options);
      ASSERT_TRUE(tool.Started());
      ASSERT_TRUE(tool.WaitExit(60000));
      ASSERT_EQ(tool.ExitCode(), 0u);
    }
    std::ifstream in(report);
    std::map<int, RECT> dialogs;  // client areas
    int texts = 0;
    for (std::string line; std::getline(in, line);) {
      const std::vector<std::string> f = Fields(line);
      ASSERT_FALSE(f.empty());
      ASSERT_NE(f[0], "X") << line;
      const int dialog = std::stoi(f[1]);
      if (f[0] == "D") {
        EXPECT_EQ(std::stoul(f[2]), dpi) << "dialog " << dialog << " is not laid out at the screen's scale";
        dialogs[dialog] = RECT{0, 0, std::stoi(f[3]), std::stoi(f[4])};
      } else if (f[0] == "S") {
        ++texts;
        const int neededWidth = std::stoi(f[4]), neededHeight = std::stoi(f[5]);
        const int width = std::stoi(f[6]), height = std::stoi(f[7]);
        EXPECT_TRUE(neededWidth <= width && neededHeight <= height)
            << "dialog " << dialog << ": \"" << f[3] << "\" needs " << neededWidth << "x" << neededHeight
            << " pixels and has " << width << "x" << height << " (it wraps or is cut off)";
      } else if (f[0] == "C") {
        const RECT& client = dialogs[dialog];
        const int left = std::stoi(f[3]), top = std::stoi(f[4]), right = std::stoi(f[5]), bottom = std::stoi(f[6]);
        EXPECT_TRUE(left >= 0 && top >= 0 && right <= client.right && bottom <= client.bottom)
            << "dialog " << dialog << ": control " << f[2] << " at (" << left << "," << top << ")-(" << right
            << "," << bottom << ") lies outside the dialog's " << client.right << "x" << client.bottom;
      }
    }
    EXPECT_EQ(dialogs.size(), 9u) << "every dialog of the program is measured";
    EXPECT_GT(texts, 40);
  }
  RemoveFolderTree(folder);
}

// The slot list's columns are set in pixels at 100% scale; the program widens them with the scale, or at 150%
// the song names and sizes would be cut off in columns two thirds as wide as the dialog's text.
TEST(DialogScale, SlotListColumnsGrowWithTheScale) {
  VirtualStage stage("dpi_columns", "in=Virtual MIDI In\nout=Virtual MIDI Out\nmodel=2\nfree=1048576\n");
  ASSERT_TRUE(WriteFileBytes(stage.settings, "[SONGPORT]\r\nIN=0\r\nOUT=0\r\n"));
  ASSERT_TRUE(WriteFileBytes(stage.song, SmallSong()));
  {
    ScreenDpi screen(144);
    Program program(stage.Options());
    ASSERT_TRUE(program.Started());
    HWND selection = program.WaitWindow("Selection");
    ASSERT_NE(selection, nullptr);
    PressButton(selection, IDOK);
    HWND send = program.WaitWindow("Send the Data", 30000);
    ASSERT_NE(send, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return ListRowCount(send, IDC_SLOT_LIST) > 0; }));
    HWND list = Child(send, IDC_SLOT_LIST);
    // No, Data and Size: 40, 100 and 70 pixels at 100%.
    EXPECT_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0), 60);
    EXPECT_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, 1, 0), 150);
    EXPECT_EQ(SendMessageA(list, LVM_GETCOLUMNWIDTH, 2, 0), 105);
    program.Kill();
  }
  RemoveFolderTree(stage.folder);
  RemoveFolderTree(stage.temp);
}

}  // namespace
}  // namespace su::e2e
