// The keyboard search without any dialog: which way of asking finds each family, and how many attempts are
// reported on the way.
#include "transfer/keyboard_search.h"
#include "transfer/keyboard_state_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/run_state.h"
#include "midi/port_session.h"
#include "resources/message_numbers.h"
#include "tests/converter/temp_dir.h"
#include "tests/support/case_name.h"
#include "tests/support/link_fixture.h"

namespace su {
namespace {

class CountedSteps : public SearchProgress {
 public:
  void Step() override { ++steps; }
  void Status(int message) override { statuses.push_back(message); }
  int steps = 0;
  std::vector<int> statuses;
};

// The remembered keyboards in memory, as a front end's file or page storage would keep them.
class TextStore : public KeyboardStateStore {
 public:
  bool Read(std::string* out) override {
    if (!readable || !written) return false;
    *out = text;
    return true;
  }
  bool Write(const std::string& in) override {
    if (!writable) return false;
    text = in;
    written = true;
    return true;
  }
  std::string text;
  bool written = false;
  bool readable = true;
  bool writable = true;
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

// Which request each frame sent belongs to, by the model address it carries ('C' the identity request, 'A' and
// 'B' the probes), one letter for each run of frames of the same request.
std::string RequestsSent(const std::vector<std::vector<std::uint8_t>>& sent) {
  std::string order;
  for (const std::vector<std::uint8_t>& frame : sent) {
    if (frame.size() < 4) continue;
    const int address = frame[2] << 8 | frame[3];
    const char request = address == 0x1400 ? 'C' : address == 0x1103 ? 'A' : address == 0x1501 ? 'B' : '?';
    if (order.empty() || order.back() != request) order += request;
  }
  return order;
}

struct OrderCase {
  const char* name;
  std::optional<char> remembered;               // the family remembered for the virtual ports
  std::optional<test::KeyboardFamily> present;  // the keyboard on them now
  bool fresh;
  const char* requests;  // as RequestsSent gives them
  std::int32_t modelType;
  std::optional<char> rememberedAfter;
  bool silentShown;  // the status that the remembered keyboard did not answer
};

void PrintTo(const OrderCase& c, std::ostream* os) { *os << c.name; }

class SearchOrder : public test::LinkTest, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(SearchOrder, TheKeyboardLastFoundOnThePortsIsAskedFirstThenEveryOtherInTurn) {
  const OrderCase& c = GetParam();
  if (c.present) {
    test::KeyboardConfig config;
    config.family = *c.present;
    config.answersIdentity = *c.present == test::KeyboardFamily::C;
    Connect(config);
  }
  TextStore store;
  const PortNames ports{"Virtual in", "Virtual out"};
  // Another pair of ports remembers a keyboard too: it must neither be asked first nor forgotten.
  ASSERT_TRUE(Remember(store, {"Other in", "Other out"}, {'A', 21, 5}));
  if (c.remembered) {
    ASSERT_TRUE(Remember(store, ports, {*c.remembered, *c.remembered == 'A' ? 21 : *c.remembered == 'B' ? 25 : 4, 7}));
  }
  ASSERT_EQ(OpenMidiPorts(), 1);
  CountedSteps progress;

  const int found = SearchKeyboard(progress, SearchMemory{&store, c.fresh});

  EXPECT_EQ(found != 0, c.present.has_value());
  EXPECT_EQ(su::Run().modelType, c.modelType);
  EXPECT_EQ(RequestsSent(link.Sent()), c.requests) << "the requests sent, in order";
  EXPECT_EQ(progress.steps, static_cast<int>(std::string(c.requests).size())) << "one step per request";
  EXPECT_EQ(progress.statuses, c.silentShown ? std::vector<int>{IDS_LAST_KEYBOARD_SILENT} : std::vector<int>{});
  const std::optional<RememberedKeyboard> after = Recall(store, ports);
  EXPECT_EQ(after ? std::optional<char>(after->family) : std::nullopt, c.rememberedAfter);
  if (after && found != 0) {
    EXPECT_EQ(after->modelType, c.modelType);
    EXPECT_GT(after->foundAt, 7) << "the time it was found again";
  }
  const std::optional<RememberedKeyboard> other = Recall(store, {"Other in", "Other out"});
  ASSERT_TRUE(other.has_value());
  EXPECT_EQ(other->family, 'A');
}

using Family = test::KeyboardFamily;
INSTANTIATE_TEST_SUITE_P(
    Remembered, SearchOrder,
    ::testing::Values(
        OrderCase{"NothingRememberedTheUsualOrder", std::nullopt, Family::B, false, "CAB", 25, 'B', false},
        OrderCase{"FamilyCRemembered", 'C', Family::C, false, "C", 4, 'C', false},
        OrderCase{"FamilyARememberedItsProbeFirst", 'A', Family::A, false, "A", 21, 'A', false},
        OrderCase{"FamilyBRememberedItsProbeFirst", 'B', Family::B, false, "B", 25, 'B', false},
        OrderCase{"StaleBThenCFoundAndRemembered", 'B', Family::C, false, "BC", 4, 'C', true},
        OrderCase{"StaleAThenTheOthersInTurn", 'A', Family::B, false, "ACB", 25, 'B', true},
        OrderCase{"StaleCThenA", 'C', Family::A, false, "CA", 21, 'A', true},
        OrderCase{"NothingAnswersTheEntryStays", 'B', std::nullopt, false, "BCA", -1, 'B', true},
        OrderCase{"AfreshTheUsualOrderAndReplaced", 'C', Family::B, true, "CAB", 25, 'B', false},
        OrderCase{"AfreshWithNothingForgets", 'B', std::nullopt, true, "CAB", -1, std::nullopt, false}),
    test::NameFrom(&OrderCase::name));

// A store that cannot be read or written costs nothing but the shortcut: the search runs in full and finds.
TEST_F(SearchOrder, AStoreThatFailsIsNoStore) {
  test::KeyboardConfig config;
  config.family = Family::B;
  Connect(config);
  TextStore store;
  ASSERT_TRUE(Remember(store, {"Virtual in", "Virtual out"}, {'B', 25, 7}));
  store.readable = false;
  store.writable = false;
  ASSERT_EQ(OpenMidiPorts(), 1);
  CountedSteps progress;
  EXPECT_EQ(SearchKeyboard(progress, SearchMemory{&store, false}), 1);
  EXPECT_EQ(RequestsSent(link.Sent()), "CAB");
  EXPECT_EQ(su::Run().modelType, 25);
  // Readable again, the entry it kept is the shortcut: the full search above was the failing store's doing.
  store.readable = true;
  CloseMidiPorts();
  ASSERT_EQ(OpenMidiPorts(), 1);
  const std::vector<std::vector<std::uint8_t>> before = link.Sent();
  EXPECT_EQ(SearchKeyboard(progress, SearchMemory{&store, false}), 1);
  const std::vector<std::vector<std::uint8_t>> sent = link.Sent();
  EXPECT_EQ(RequestsSent({sent.begin() + static_cast<long>(before.size()), sent.end()}), "B");
}

// A store that throws, as a front end's storage may (a full disk, storage the browser forbids): the search
// neither fails nor stops, it only loses the shortcut, and an entry the store could not replace or forget is
// still there afterwards.
class ThrowingStore : public TextStore {
 public:
  bool Read(std::string* out) override {
    if (throwOnRead) throw std::runtime_error("storage cannot be read");
    return TextStore::Read(out);
  }
  bool Write(const std::string& in) override {
    if (throwOnWrite) throw std::runtime_error("storage cannot be written");
    return TextStore::Write(in);
  }
  bool throwOnRead = false;
  bool throwOnWrite = false;
};

struct ThrowCase {
  const char* name;
  bool throwOnRead;
  bool throwOnWrite;
  std::optional<char> remembered;               // before the search, for the virtual ports
  std::optional<test::KeyboardFamily> present;
  bool fresh;
  const char* requests;
  int found;
  std::optional<char> rememberedAfter;          // read back with the store working again
};

void PrintTo(const ThrowCase& c, std::ostream* os) { *os << c.name; }

class SearchWithThrowingStore : public test::LinkTest, public ::testing::WithParamInterface<ThrowCase> {};

TEST_P(SearchWithThrowingStore, CostsOnlyTheShortcutAndKeepsTheEntryItCouldNotChange) {
  const ThrowCase& c = GetParam();
  if (c.present) {
    test::KeyboardConfig config;
    config.family = *c.present;
    config.answersIdentity = *c.present == test::KeyboardFamily::C;
    Connect(config);
  }
  ThrowingStore store;
  const PortNames ports{"Virtual in", "Virtual out"};
  if (c.remembered) {
    ASSERT_TRUE(Remember(store, ports, {*c.remembered, 21, 7}));
  }
  store.throwOnRead = c.throwOnRead;
  store.throwOnWrite = c.throwOnWrite;
  ASSERT_EQ(OpenMidiPorts(), 1);
  CountedSteps progress;
  int found = -1;
  EXPECT_NO_THROW(found = SearchKeyboard(progress, SearchMemory{&store, c.fresh}));
  EXPECT_EQ(found, c.found);
  EXPECT_EQ(RequestsSent(link.Sent()), c.requests);
  store.throwOnRead = false;
  store.throwOnWrite = false;
  const std::optional<RememberedKeyboard> after = Recall(store, ports);
  EXPECT_EQ(after ? std::optional<char>(after->family) : std::nullopt, c.rememberedAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Throwing, SearchWithThrowingStore,
    ::testing::Values(
        // Recalling throws: the usual order; remembering the keyboard found reads first, so it throws too.
        ThrowCase{"ReadThrowsTheUsualOrder", true, false, 'A', Family::B, false, "CAB", 1, 'A'},
        // Remembering the keyboard found throws: found all the same, the stale entry stays.
        ThrowCase{"WriteThrowsAfterAFind", false, true, 'A', Family::B, false, "ACB", 1, 'A'},
        // Forgetting after a search afresh that found nothing throws: the entry stays.
        ThrowCase{"WriteThrowsWhenForgetting", false, true, 'B', std::nullopt, true, "CAB", 0, 'B'},
        ThrowCase{"EverythingThrowsStillFound", true, true, std::nullopt, Family::C, false, "C", 1, std::nullopt},
        // The same store working: the keyboard found replaces the stale entry (the cases above are not
        // passing for want of an entry to change).
        ThrowCase{"WorkingStoreReplacesTheEntry", false, false, 'A', Family::B, false, "ACB", 1, 'B'},
        ThrowCase{"WorkingStoreForgets", false, false, 'B', std::nullopt, true, "CAB", 0, std::nullopt}),
    test::NameFrom(&ThrowCase::name));

// The remembered text itself: one entry per pair of ports whatever their names hold, and a text that is not
// ours, or a line of it, is as good as nothing.
TEST(KeyboardMemory, KeepsOneEntryPerPairOfPortsAndIgnoresWhatItCannotRead) {
  TextStore store;
  const PortNames odd{"In\tab\t%25 100%\n", "Out"};
  const PortNames swapped{"Out", "In\tab\t%25 100%\n"};
  ASSERT_TRUE(Remember(store, odd, {'B', 27, 1700000000}));
  ASSERT_TRUE(Remember(store, swapped, {'C', 4, 1}));
  ASSERT_TRUE(Remember(store, odd, {'A', 22, 1800000000}));
  std::optional<RememberedKeyboard> got = Recall(store, odd);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(got->family, 'A');
  EXPECT_EQ(got->modelType, 22);
  EXPECT_EQ(got->foundAt, 1800000000);
  ASSERT_TRUE(Recall(store, swapped).has_value());
  EXPECT_EQ(Recall(store, swapped)->family, 'C');
  EXPECT_FALSE(Recall(store, {"In", "Out"}).has_value());

  ASSERT_TRUE(Forget(store, odd));
  EXPECT_FALSE(Recall(store, odd).has_value());
  EXPECT_TRUE(Recall(store, swapped).has_value());

  for (const char* text : {"", "garbage\nB\t25\t1\tIn\tOut\n", "SongUploader remembered keyboards 1\nX\t25\t1\tIn\tOut\n",
                           "SongUploader remembered keyboards 1\nB\t25\t1\tIn%zz\tOut\n",
                           "SongUploader remembered keyboards 1\nB\t25\t99999999999999999999\tIn\tOut\n"}) {
    store.text = text;
    EXPECT_FALSE(Recall(store, {"In", "Out"}).has_value()) << text;
  }
}

// The file a front end keeps them in: its folder made when missing, and a place that cannot hold a file is
// refused rather than raised.
TEST(KeyboardMemory, TheFileIsMadeWithItsFolderAndAPlaceThatCannotHoldOneIsRefused) {
  test::TempDir dir;
  FileStateStore store(dir.Root() / "state" / "songuploader" / "keyboards");
  std::string text;
  EXPECT_FALSE(store.Read(&text));
  ASSERT_TRUE(Remember(store, {"In", "Out"}, {'B', 26, 3}));
  ASSERT_TRUE(Recall(store, {"In", "Out"}).has_value());
  EXPECT_EQ(Recall(store, {"In", "Out"})->modelType, 26);
  EXPECT_EQ(dir.Names().size(), 3u) << "the folders and the file, no temporary file left beside it";

  FileStateStore blocked(dir.Root() / "state" / "songuploader" / "keyboards" / "below a file");
  EXPECT_FALSE(blocked.Write("text"));
  EXPECT_FALSE(blocked.Read(&text));
}

}  // namespace
}  // namespace su
