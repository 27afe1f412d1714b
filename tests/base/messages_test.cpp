#include <gtest/gtest.h>

#include "base/messages.h"
#include "resources/strings.h"

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

}  // namespace
}  // namespace su
