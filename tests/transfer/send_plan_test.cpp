// Several songs in one go: where each goes and whether it fits (the room rule of a single send, song after
// song), and sending a plan over one connection to the virtual keyboard of each family.
#include "transfer/send_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "resources/message_numbers.h"
#include "tests/support/keyboard_rules.h"
#include "tests/support/link_fixture.h"
#include "tests/support/outcome.h"
#include "tests/support/plan_model.h"

namespace su {
namespace {

using test::KeyboardFamily;

// Slots 0 and 2 hold songs of 1000 and 300 bytes; the other four are empty.
Listing SixSlots(std::uint32_t freeSize, std::uint32_t maxSongSize) {
  Listing listing;
  for (int i = 0; i < 6; ++i) listing.slots.push_back(SlotRow{std::to_string(30 + i), false, "", 0});
  listing.slots[0] = SlotRow{"30", true, "Waltz", 1000};
  listing.slots[2] = SlotRow{"32", true, "Tune", 300};
  listing.freeSize = freeSize;
  listing.maxSongSize = maxSongSize;
  return listing;
}

PlannedSong Song(std::uint32_t size) {
  PlannedSong song;
  song.name = "song" + std::to_string(size);
  song.size = size;
  return song;
}

struct Planned {
  int slot;  // -1: no slot left
  bool fits;
  bool replaces;
};
bool operator==(const Planned& a, const Planned& b) {
  return a.slot == b.slot && a.fits == b.fits && a.replaces == b.replaces;
}
void PrintTo(const Planned& p, std::ostream* os) {
  *os << "{slot " << p.slot << (p.fits ? ", fits" : ", does not fit") << (p.replaces ? ", replaces}" : "}");
}

struct PlanCase {
  const char* name;
  const FamilyEntry& (*family)();
  Listing listing;
  std::vector<std::uint32_t> sizes;
  SlotRequest request;
  std::vector<Planned> expected;
};
void PrintTo(const PlanCase& c, std::ostream* os) { *os << c.name; }

class Plans : public ::testing::TestWithParam<PlanCase> {};

TEST_P(Plans, GiveEachSongASlotAndSayWhetherItFits) {
  const PlanCase& c = GetParam();
  std::vector<PlannedSong> songs;
  for (std::uint32_t size : c.sizes) songs.push_back(Song(size));
  const SendPlan plan = MakePlan(c.family(), c.listing, songs, c.request);
  std::vector<Planned> got;
  for (const PlannedSong& song : plan.songs) {
    got.push_back(Planned{song.hasSlot ? static_cast<int>(song.slot) : -1, song.fits, song.replaces});
  }
  EXPECT_EQ(got, c.expected);
}

using Kind = SlotRequest::Kind;

INSTANTIATE_TEST_SUITE_P(
    Table, Plans,
    ::testing::Values(
        // Free memory 2000: 900 and 900 fit in turn, then 300 finds only 200 left.
        PlanCase{"FamilyCTheRunningTotalAgainstTheFreeMemory", FamilyC, SixSlots(2000, 0), {900, 900, 300},
                 {Kind::FirstFree, 0, {}}, {{1, true, false}, {3, true, false}, {4, false, false}}},
        // A song that does not fit does not take the room of the ones after it.
        PlanCase{"ASongThatDoesNotFitLeavesItsRoomToTheNext", FamilyC, SixSlots(1000, 0), {1500, 800},
                 {Kind::FirstFree, 0, {}}, {{1, false, false}, {3, true, false}}},
        // Family A sends whole words: 999 bytes take 1000, and the room is exactly that.
        PlanCase{"FamilyAAnOddSizeTakesItsPaddingByte", FamilyA, SixSlots(1000, 0), {999, 1}, {Kind::FirstFree, 0, {}},
                 {{1, true, false}, {3, false, false}}},
        // Family B holds each song on its own against the largest song it takes.
        PlanCase{"FamilyBEachSongAgainstTheLargestSong", FamilyB, SixSlots(0, 4000), {4000, 4000, 4001},
                 {Kind::FirstFree, 0, {}}, {{1, true, false}, {3, true, false}, {4, false, false}}},
        // Replacing the song in slot 0 frees its 1000 bytes for the song that takes its place.
        PlanCase{"ReplacingMakesRoom", FamilyC, SixSlots(500, 0), {1400, 100}, {Kind::From, 0, {}},
                 {{0, true, true}, {1, true, false}}},
        PlanCase{"FromASlotThenTheNextFreeOnes", FamilyC, SixSlots(1u << 20, 0), {10, 10, 10}, {Kind::From, 2, {}},
                 {{2, true, true}, {3, true, false}, {4, true, false}}},
        PlanCase{"NoFreeSlotLeft", FamilyC, SixSlots(1u << 20, 0), {10, 10, 10, 10, 10},
                 {Kind::FirstFree, 0, {}},
                 {{1, true, false}, {3, true, false}, {4, true, false}, {5, true, false}, {-1, false, false}}},
        PlanCase{"NamedSlotsInTheOrderGiven", FamilyC, SixSlots(1u << 20, 0), {10, 10}, {Kind::Named, 0, {5, 2}},
                 {{5, true, false}, {2, true, true}}}),
    [](const ::testing::TestParamInfo<PlanCase>& info) { return std::string(info.param.name); });

TEST(PlanRequests, SlotsTheKeyboardDoesNotHaveOrOneSlotPerSongNotNamedAreRefused) {
  const Listing listing = SixSlots(1u << 20, 0);
  const std::vector<PlannedSong> two = {Song(10), Song(10)};
  const std::vector<SlotRequest> refused = {
      {Kind::Named, 0, {1, 6}},  // no slot 6
      {Kind::Named, 0, {1}},     // one slot for two songs
      {Kind::Named, 0, {3, 3}},  // the same slot twice
      {Kind::From, 6, {}},       // no slot 6 to start from
  };
  for (const SlotRequest& request : refused) {
    EXPECT_THROW(MakePlan(FamilyC(), listing, two, request), PlanRefused);
  }
}

// ---- Sending a plan to the virtual keyboard ----------------------------------------------------------

struct Counted : PlanProgress {
  std::vector<std::size_t> begun;
  void SongBegins(std::size_t index, std::size_t, std::size_t) override { begun.push_back(index); }
  void SongStored(std::size_t) override {}
};

using Quiet = test::QuietProgress;


struct SendCase {
  const char* name;
  KeyboardFamily family;
  std::int32_t modelType;
  test::KeyboardRule failure;  // applied from the second song on; kAnyCommand with 0 times: none
  bool secondFails;
};
void PrintTo(const SendCase& c, std::ostream* os) { *os << c.name; }

class SentPlans : public test::LinkTest, public ::testing::WithParamInterface<SendCase> {};

TEST_P(SentPlans, StoreTheSongsInTurnStopAtTheFirstFailureAndReadTheSlotsOnce) {
  const SendCase& c = GetParam();
  test::KeyboardConfig config;
  config.family = c.family;
  config.answersIdentity = c.family == KeyboardFamily::C;
  config.slots = std::vector<test::KeyboardSlot>(10);
  config.freeMemory = 1u << 20;
  config.maxSongSize = 1u << 20;
  Connect(config);
  keyboard->AddRule(c.failure);
  OpenPorts();

  const FamilyEntry& family = *FamilyFor(c.modelType);
  Listing listing;
  Quiet progress;
  family.read(family.slotsOf(c.modelType, ""), listing, progress);
  const std::vector<std::vector<std::uint8_t>> images = {std::vector<std::uint8_t>(300, 1),
                                                          std::vector<std::uint8_t>(400, 2),
                                                          std::vector<std::uint8_t>(500, 3)};
  std::vector<PlannedSong> songs;
  for (const auto& image : images) songs.push_back(Song(static_cast<std::uint32_t>(image.size())));
  const SendPlan plan = MakePlan(family, listing, songs, SlotRequest{});
  ASSERT_TRUE(plan.AllFit());

  AnsweredPrompts prompts;
  Counted report;
  const PlanOutcome outcome = SendPlanned(family, c.modelType, plan, images, progress, prompts, report);

  const std::vector<std::size_t> stored = c.secondFails ? std::vector<std::size_t>{0} : std::vector<std::size_t>{0, 1, 2};
  EXPECT_EQ(outcome.Stored(), stored);
  EXPECT_EQ(report.begun, c.secondFails ? (std::vector<std::size_t>{0, 1}) : (std::vector<std::size_t>{0, 1, 2}));
  EXPECT_EQ(static_cast<bool>(outcome.failure), c.secondFails);
  for (std::size_t i = 0; i < images.size(); ++i) {
    const bool kept = std::find(stored.begin(), stored.end(), i) != stored.end();
    EXPECT_EQ(keyboard->Slot(plan.songs[i].slot).contents == images[i], kept) << "song " << i;
  }
  if (!c.secondFails) {
    // The reading at the end shows the three songs where the plan put them.
    ASSERT_EQ(outcome.after.slots.size(), listing.slots.size());
    for (const PlannedSong& song : plan.songs) EXPECT_TRUE(outcome.after.slots[song.slot].used);
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryFamily, SentPlans,
    ::testing::Values(
        SendCase{"FamilyA", KeyboardFamily::A, 21, test::Refuse(test::kAnyCommand, 0, 0), false},
        SendCase{"FamilyB", KeyboardFamily::B, 25, test::Refuse(test::kAnyCommand, 0, 0), false},
        SendCase{"FamilyC", KeyboardFamily::C, 4, test::Refuse(test::kAnyCommand, 0, 0), false},
        // The second song's blocks go unanswered: the first stays stored, the third is never begun.
        SendCase{"FamilyASecondSongUnanswered", KeyboardFamily::A, 21, test::Silent(test::kKeyABlock, 3), true},
        SendCase{"FamilyBSecondSongUnanswered", KeyboardFamily::B, 25, test::Silent(test::kKeyBBlock, 3), true}),
    [](const ::testing::TestParamInfo<SendCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace su
