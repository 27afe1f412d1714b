// The keyboard search without any dialog: which way of asking finds each family, and how many attempts are
// reported on the way.
#include "transfer/keyboard_search.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>

#include "base/run_state.h"
#include "midi/port_session.h"
#include "tests/support/case_name.h"
#include "tests/support/link_fixture.h"

namespace su {
namespace {

class CountedSteps : public SearchProgress {
 public:
  void Step() override { ++steps; }
  int steps = 0;
};

struct SearchCase {
  const char* name;
  std::optional<test::KeyboardFamily> family;  // empty: nothing answers
  int found;
  std::int32_t modelType;
  int steps;  // attempts reported: the identity request, then each probe tried
};

void PrintTo(const SearchCase& c, std::ostream* os) { *os << c.name; }

class KeyboardSearch : public test::LinkTest, public ::testing::WithParamInterface<SearchCase> {};
class KeyboardSearchGone : public test::LinkTest {};

TEST_P(KeyboardSearch, AsksInTurnUntilAKeyboardAnswersAndReportsEachAttempt) {
  const SearchCase& c = GetParam();
  if (c.family) {
    test::KeyboardConfig config;
    config.family = *c.family;
    config.answersIdentity = *c.family == test::KeyboardFamily::C;
    Connect(config);
  }
  ASSERT_EQ(OpenMidiPorts(), 1);
  CountedSteps progress;

  EXPECT_EQ(SearchKeyboard(progress) != 0, c.found != 0);
  EXPECT_EQ(su::Run().modelType, c.modelType);
  EXPECT_EQ(progress.steps, c.steps);
  EXPECT_TRUE(link.InStarted()) << "the search starts the input itself";
}

INSTANTIATE_TEST_SUITE_P(
    Families, KeyboardSearch,
    ::testing::Values(SearchCase{"FamilyCByTheIdentityRequest", test::KeyboardFamily::C, 1, 4, 1},
                      SearchCase{"FamilyAByItsProbe", test::KeyboardFamily::A, 1, 21, 2},
                      SearchCase{"FamilyBByItsProbe", test::KeyboardFamily::B, 1, 25, 3},
                      SearchCase{"NothingAfterAllThree", std::nullopt, 0, -1, 3}),
    test::NameFrom(&SearchCase::name));

// A keyboard unplugged while it is looked for answered nothing: no failure is raised, so the user can be asked
// to set up the device and retry, and the search ends at the unplugging rather than after three attempts.
TEST_F(KeyboardSearchGone, AKeyboardUnpluggedDuringTheSearchIsNothingFound) {
  test::KeyboardConfig config;
  config.family = test::KeyboardFamily::B;
  Connect(config);
  ASSERT_EQ(OpenMidiPorts(), 1);
  link.Unplug(1000);
  CountedSteps progress;
  int found = -1;
  EXPECT_NO_THROW(found = SearchKeyboard(progress));
  EXPECT_EQ(found, 0);
  EXPECT_EQ(link.Elapsed(), 1000u);
}

}  // namespace
}  // namespace su
