// The one rule for names on a terminal: no control character reaches it, every other character stays.
#include <gtest/gtest.h>

#include <string>

#include "cli/printable.h"

namespace su::cli {
namespace {

struct PrintableCase {
  std::string name;
  std::string text;
  bool keepLines;
  std::string shown;
};

class PrintableTest : public ::testing::TestWithParam<PrintableCase> {};

TEST_P(PrintableTest, ControlCharactersShowAsQuestionMarks) {
  const PrintableCase& c = GetParam();
  EXPECT_EQ(Printable(c.text, c.keepLines), c.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PrintableTest,
    ::testing::Values(
        PrintableCase{"TitleSequence", "a\x1b]0;owned\x07.mid", false, "a?]0;owned?.mid"},
        PrintableCase{"Delete", "a\x7f", false, "a?"},
        PrintableCase{"LineEndsInANameAreControls", "a\nb\tc", false, "a?b?c"},
        PrintableCase{"LineEndsOfAMessageStay", "a\nb\tc\r", true, "a\nb\tc?"},
        // U+009B is the one-character form of ESC [ on terminals that obey C1 controls.
        PrintableCase{"C1ControlAsUtf8IsOneQuestionMark", "a\xc2\x9b" "31mb", false, "a?31mb"},
        PrintableCase{"NoBreakSpaceStays", "a\xc2\xa0" "b", false, "a\xc2\xa0" "b"},
        PrintableCase{"AccentsAndKanaStay", "\xc3\xa9t\xc3\xa9 \xef\xbd\xb1", false, "\xc3\xa9t\xc3\xa9 \xef\xbd\xb1"},
        PrintableCase{"ALoneHighByteIsNoControl", "a\x9b" "b", false, "a\x9b" "b"},
        PrintableCase{"ATrailingLeadByteStays", "a\xc2", false, "a\xc2"}),
    [](const ::testing::TestParamInfo<PrintableCase>& info) { return info.param.name; });

}  // namespace
}  // namespace su::cli
