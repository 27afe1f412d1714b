#include <gtest/gtest.h>

#include "base/messages.h"
#include "resources/resource.h"
#include "resources/strings.h"
#include "tests/support/fake_screen.h"

namespace su {
namespace {

TEST(FormatMessagesTest, SavedMessagePutsThePathOnTheFirstLine) {
  EXPECT_EQ(FormatSavedMessage(TEXT_46, "C:\\Music\\Tune.sq2"), "C:\\Music\\Tune.sq2\nSaved.");
  // A path with a percent sign is not read as a directive.
  EXPECT_EQ(FormatSavedMessage(TEXT_46, "C:\\100%d\\a.sq2"), "C:\\100%d\\a.sq2\nSaved.");
}

TEST(FormatMessagesTest, ErrorCodeIsUnsignedDecimalWithoutBlank) {
  EXPECT_EQ(FormatErrorCodeMessage(TEXT_53, 200), "The error occurred.(200)");
  EXPECT_EQ(FormatErrorCodeMessage(TEXT_53, 0), "The error occurred.(0)");
  EXPECT_EQ(FormatErrorCodeMessage(TEXT_53, 255), "The error occurred.(255)");
}

TEST(FormatMessagesTest, TextsAreCutToTheirBuffers) {
  const std::string longPath = "C:\\" + std::string(300, 'x') + ".sq2";
  const std::string shown = FormatSavedMessage(TEXT_46, longPath);
  EXPECT_EQ(shown.size(), kMessageBufferChars - 1);
  EXPECT_EQ(shown, longPath.substr(0, kMessageBufferChars - 1));
  EXPECT_EQ(FitBuffer("abc", 4), "abc");
  EXPECT_EQ(FitBuffer("abcd", 4), "abc");
  EXPECT_EQ(FitBuffer("abcd", 0), "");
}

class ShownMessagesTest : public ::testing::Test {
 protected:
  test::FakeScreen screen;
  test::ScopedScreen installed{screen};
};

TEST_F(ShownMessagesTest, StatusLineIsSetAndClearedOnControl11000) {
  struct Idle : DialogLogic {
    void OnInit(WindowRef dialog) override {
      SetStatusLine(dialog, IDS_GETTING_INFORMATION);
      afterSet = TheScreen().ControlText(dialog, IDC_STATUS);
      ClearStatusLine(dialog);
      TheScreen().EndDialog(dialog, 0);
    }
    void OnCommand(WindowRef, int) override {}
    std::string afterSet;
  } logic;
  screen.RunDialog(IDD_SEND_C, logic);
  EXPECT_EQ(logic.afterSet, "Now getting information...");
  EXPECT_EQ(screen.Ctl(screen.LastWindowOf(IDD_SEND_C), IDC_STATUS).text, "");
}

}  // namespace
}  // namespace su
