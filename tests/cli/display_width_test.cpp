// The columns a terminal gives a name, which line up the slot table of `list` on any terminal set to UTF-8.
#include <gtest/gtest.h>

#include <string>

#include <sstream>

#include "cli/display_width.h"
#include "cli/terminal_progress.h"
#include "resources/message_numbers.h"

namespace su::cli {
namespace {

TEST(DisplayColumnsTest, WideNarrowCombiningAndBrokenText) {
  struct Case {
    const char* text;
    std::size_t columns;
  };
  const Case cases[] = {
      {"Morning Waltz", 13},
      {"F\xC3\xBCr Elise", 9},                                   // Latin beyond ASCII: one each
      {"\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF", 6},                // katakana: two each
      {"\xEF\xBD\xB6\xEF\xBE\x80", 2},                            // half-width katakana: one each
      {"\xE6\xA5\xBD\xE6\x9B\xB2", 4},                            // kanji
      {"\xED\x95\x9C", 2},                                        // hangul
      {"\xEF\xBC\xA1", 2},                                        // a full-width letter
      {"\xE2\x80\x90\xE2\x80\xBB", 2},                            // a hyphen and a reference mark: narrow
      {"e\xCC\x81", 1},                                           // e with a combining accent
      {"\xF0\x9F\x8E\xB9", 2},                                    // an emoji beyond the 16-bit range
      {"\xFF" "A", 2},                                            // a byte that is not UTF-8
      {"\xE3\x83", 2},                                            // a character cut short
  };
  for (const Case& c : cases) EXPECT_EQ(DisplayColumns(c.text), c.columns) << c.text;
}

TEST(DisplayColumnsTest, PaddingCountsColumnsNotBytes) {
  EXPECT_EQ(PaddedToColumns("\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF", 8), "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF  ");
  EXPECT_EQ(PaddedToColumns("Longer than four", 4), "Longer than four");
}

TEST(DisplayColumnsTest, CuttingKeepsWholeCharactersWithinTheColumns) {
  EXPECT_EQ(CutToColumns("Morning Waltz", 7), "Morning");
  EXPECT_EQ(CutToColumns("\xE3\x83\x87\xE3\x83\xBC", 3), "\xE3\x83\x87");  // a wide character fits or goes
  EXPECT_EQ(CutToColumns("e\xCC\x81t\xC3\xA9", 2), "e\xCC\x81t");             // a mark stays with its letter
  EXPECT_EQ(CutToColumns("short", 40), "short");
}

// A progress bar with a long song name on a narrow terminal: every redraw fits in one line.
TEST(DisplayColumnsTest, AProgressBarNeverWrapsOnANarrowTerminal) {
  std::ostringstream out, err;
  std::istringstream in;
  Console console{out, err, in, false, true, {}};
  console.errColumns = [] { return std::size_t{40}; };
  {
    TerminalProgress progress(console);
    progress.Label("[1/2 A song whose name is longer than the terminal] ");
    progress.Status(IDS_NOW_SENDING);
    progress.Begin(3);
    for (int i = 0; i < 3; ++i) progress.Step();
  }
  std::istringstream lines(err.str());
  std::string line;
  int drawn = 0;
  while (std::getline(lines, line, '\r')) {
    if (line.empty() || line == "\n") continue;
    ++drawn;
    EXPECT_LT(DisplayColumns(line.substr(0, line.find('\n'))), 40u) << line;
    EXPECT_NE(line.find("/3"), std::string::npos) << line;  // the counts stay, the name gives way
  }
  EXPECT_EQ(drawn, 3);
}

}  // namespace
}  // namespace su::cli
