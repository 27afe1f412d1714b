#include "app/dialogs/status_line.h"

#include <gtest/gtest.h>

#include <string>

#include "resources/resource.h"
#include "tests/support/fake_screen.h"

namespace su {
namespace {

class ShownMessagesTest : public ::testing::Test {
 protected:
  test::FakeScreen screen;
  test::ScopedScreen installed{screen};
};

TEST_F(ShownMessagesTest, StatusLineIsSetAndClearedOnControl11000) {
  struct Idle : DialogLogic {
    void OnInit(WindowRef dialog) override {
      SetStatusLine(dialog, IDS_GETTING_INFORMATION);
      afterSet = TheDialogScreen().ControlText(dialog, IDC_STATUS);
      ClearStatusLine(dialog);
      TheDialogScreen().EndDialog(dialog, 0);
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
