// The command line's arguments: what each command needs, what it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/options.h"

namespace su::cli {
namespace {

struct ParseCase {
  std::string name;
  std::vector<std::string> args;
  bool ok;
  Command command;
  std::string errorHas;  // part of the error text when !ok
};

class ParseOptionsTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseOptionsTest, ReadsOrRefuses) {
  const ParseCase& c = GetParam();
  Options o;
  std::string error;
  ASSERT_EQ(ParseOptions(c.args, &o, &error), c.ok) << error;
  if (c.ok) {
    EXPECT_EQ(o.command, c.command);
  } else {
    EXPECT_NE(error.find(c.errorHas), std::string::npos) << error;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseOptionsTest,
    ::testing::Values(
        ParseCase{"Ports", {"ports", "--json"}, true, Command::Ports, ""},
        ParseCase{"SendWithSlotAfterTheSong", {"send", "a.mid", "--slot", "3"}, true, Command::Send, ""},
        ParseCase{"SendWithSlotFirstAndEquals", {"--slot=3", "send", "a.mid", "-y"}, true, Command::Send, ""},
        ParseCase{"ConvertWithModel", {"convert", "a.mid", "-o", "a.sq2", "--model", "b"}, true,
                  Command::Convert, ""},
        ParseCase{"HelpWinsOverABrokenLine", {"send", "--help"}, true, Command::Help, ""},
        ParseCase{"Version", {"--version"}, true, Command::Version, ""},
        ParseCase{"Nothing", {}, false, Command::None, "no command"},
        ParseCase{"UnknownCommand", {"upload"}, false, Command::None, "unknown command upload"},
        ParseCase{"UnknownOption", {"list", "--fast"}, false, Command::None, "unknown option --fast"},
        ParseCase{"OptionWithoutValue", {"list", "--in"}, false, Command::None, "--in needs a value"},
        ParseCase{"EmptyValue", {"list", "--port="}, false, Command::None, "--port needs a value"},
        ParseCase{"SendWithoutSong", {"send", "--slot", "1"}, false, Command::None, "needs a song"},
        ParseCase{"SendWithoutSlot", {"send", "a.mid"}, false, Command::None, "needs --slot"},
        ParseCase{"DeleteWithoutSlot", {"delete", "-y"}, false, Command::None, "needs --slot"},
        ParseCase{"SlotOnList", {"list", "--slot", "1"}, false, Command::None, "only for send and delete"},
        ParseCase{"ConvertWithoutOutput", {"convert", "a.mid"}, false, Command::None, "needs -o"},
        ParseCase{"OutputOnSend", {"send", "a.mid", "--slot", "1", "-o", "x"}, false, Command::None,
                  "only for convert"},
        ParseCase{"TwoSongsToConvert", {"convert", "a.mid", "b.mid", "-o", "x.sq2"}, false, Command::None,
                  "unexpected argument b.mid"},
        ParseCase{"SeveralSongsFromASlot", {"send", "a.mid", "b.mid", "--slot", "1"}, true, Command::Send, ""},
        ParseCase{"SeveralSongsIntoNamedSlots", {"send", "a.mid", "b.mid", "--slots=3,7"}, true, Command::Send, ""},
        ParseCase{"FewerSlotsThanSongs", {"send", "a.mid", "b.mid", "--slots", "3"}, false, Command::None,
                  "--slots names 1 slots for 2 songs"},
        ParseCase{"ASlotNamedTwice", {"send", "a.mid", "b.mid", "--slots", "3,3"}, false, Command::None, "each once"},
        ParseCase{"AnEmptySlotName", {"send", "a.mid", "b.mid", "--slots", "3,"}, false, Command::None, "each once"},
        ParseCase{"SlotAndSlots", {"send", "a.mid", "--slot", "1", "--slots", "1"}, false, Command::None,
                  "exclude each other"},
        ParseCase{"SlotsOnDelete", {"delete", "--slots", "1"}, false, Command::None, "--slots is only for send"},
        ParseCase{"StandardInputTwice", {"send", "-", "-", "--slot", "free"}, false, Command::None, "one song only"},
        ParseCase{"InfoOfSeveralSongsForAModel", {"info", "a.mid", "b.mid", "--model", "b", "--json"}, true,
                  Command::Info, ""},
        ParseCase{"InfoWithoutSong", {"info"}, false, Command::None, "info needs a song"},
        ParseCase{"InfoTakesNoSlot", {"info", "a.mid", "--slot", "1"}, false, Command::None, "only for send and delete"},
        ParseCase{"ModelOnSend", {"send", "a.mid", "--slot", "1", "--model", "b"}, false, Command::None,
                  "only for convert and info"},
        ParseCase{"UnknownApi", {"ports", "--api", "oss"}, false, Command::None, "alsa or jack"},
        ParseCase{"CheckTimeout", {"send", "a.mid", "--slot", "1", "--check-timeout=30"}, true, Command::Send, ""},
        ParseCase{"CheckTimeoutOfNothing", {"send", "a.mid", "--slot", "1", "--check-timeout", "0"}, false,
                  Command::None, "seconds from 1"},
        ParseCase{"CheckTimeoutOnList", {"list", "--check-timeout", "5"}, false, Command::None, "only for send"},
        ParseCase{"AnOptionIsNoValue", {"list", "--port", "--yes"}, false, Command::None, "--port needs a value"},
        ParseCase{"DashesEndTheOptions", {"convert", "-o", "-", "--", "-a.mid"}, true, Command::Convert, ""},
        ParseCase{"AfterDashesAnOptionIsAWord", {"list", "--", "--yes"}, false, Command::None,
                  "unexpected argument --yes"},
        ParseCase{"ShortOptionsInOneWord", {"send", "a.mid", "--slot", "1", "-yq"}, true, Command::Send, ""},
        ParseCase{"OutputJoinedToItsOption", {"convert", "a.mid", "-oa.sq2"}, true, Command::Convert, ""},
        ParseCase{"AnUnknownShortOptionInAWord", {"list", "-yz"}, false, Command::None, "unknown option -z"},
        ParseCase{"ModelCodeTooLong", {"convert", "a.mid", "-o", "a.sq2", "--model", "abc"}, false, Command::None,
                  "at most 2"}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return info.param.name; });

// Several songs keep their order, and --slots gives one label per song in that order.
TEST(ParseOptionsSongs, SongsAndNamedSlotsKeepTheirOrder) {
  Options o;
  std::string error;
  ASSERT_TRUE(ParseOptions({"send", "c.mid", "--slots", "7,3,40", "a.mid", "b.mid"}, &o, &error)) << error;
  EXPECT_EQ(o.songs, (std::vector<std::string>{"c.mid", "a.mid", "b.mid"}));
  EXPECT_EQ(o.slots, (std::vector<std::string>{"7", "3", "40"}));
  EXPECT_EQ(o.song, "c.mid");
  EXPECT_TRUE(SendsSeveral(o));
  ASSERT_TRUE(ParseOptions({"send", "a.mid", "--slot", "free"}, &o, &error)) << error;
  EXPECT_FALSE(SendsSeveral(o));  // one song: the single send as it always was
}

}  // namespace
}  // namespace su::cli
