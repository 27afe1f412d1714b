// Every dialog laid out as the system lays it out at 100%, 150% and 200% scale (96, 144 and 192 DPI, set as
// the prefix's LogPixels before the measuring tool starts): every static text and button label fits its
// rectangle in the dialog's own font, and every control lies inside its dialog.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"

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

}  // namespace
}  // namespace su::e2e
