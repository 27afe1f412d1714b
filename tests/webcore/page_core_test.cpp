// What the page asks of the core, over the virtual link and the virtual keyboard: the song file it saves,
// the ports it picks, and a session with each family that lists, sends (with a replacement) and deletes,
// with the product's texts for every question and failure the page shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "base/converter.h"
#include "base/errors.h"
#include "resources/message_numbers.h"
#include "resources/strings.h"
#include "tests/converter/recorded_song_files.h"
#include "tests/converter/smf_builder.h"
#include "tests/converter/temp_dir.h"
#include "tests/support/link_fixture.h"
#include "tests/support/plan_model.h"
#include "transfer/slot_list.h"
#include "web/core/page_core.h"

namespace su::web {
namespace {

// Questions answered from a list (No when it runs out), every text shown recorded.
class FakeDialogs : public PageDialogs {
 public:
  explicit FakeDialogs(std::deque<bool> answers = {}) : answers_(std::move(answers)) {}
  bool Ask(const std::string& text) override {
    asked.push_back(text);
    if (answers_.empty()) return false;
    const bool answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  void Tell(const std::string& text) override { told.push_back(text); }
  std::vector<std::string> asked;
  std::vector<std::string> told;

 private:
  std::deque<bool> answers_;
};

class CountingSearch : public SearchProgress {
 public:
  void Step() override { ++attempts; }
  int attempts = 0;
};

class CountingProgress : public TransferProgress {
 public:
  void Begin(int total) override { this->total = total; }
  void Step() override { ++steps; }
  void Clear() override {}
  void Status(int message) override { statuses.push_back(message); }
  int* OpenCheckingWait() override { return &cancel; }
  void CloseCheckingWait() override {}
  int total = 0;
  int steps = 0;
  int cancel = 0;
  std::vector<int> statuses;
};

std::string TextOf(const std::function<void()>& call) {
  try {
    call();
  } catch (...) {
    return FailureText(std::current_exception());
  }
  return "";
}

// ---- The song file -----------------------------------------------------------------------------------

TEST(SaveTest, TheSongFileIsTheOneTheSaveChoiceWrites) {
  const Bytes midi = su::test::OneNoteSong();
  su::test::TempDir dir;
  const std::string path = dir.Write("Tune.mid", midi);
  ASSERT_EQ(ConvertSqfToPK(path.c_str(), "5", "", ""), SQFCONV2_OK);
  const Bytes expected = su::test::ReadBytes(dir.Path("Tune.sq2"));
  EXPECT_EQ(ConvertToSongFile("Tune.mid", midi), expected);
  // Not only the converter's own output: the song file as recorded.
  EXPECT_EQ(ConvertToSongFile("Tune.mid", midi), su::test::RecordedTuneSongFile());
  EXPECT_EQ(SongFileName("Tune.mid"), "Tune.sq2");
  EXPECT_EQ(SongFileName("dir/My Song.MID"), "My Song.sq2");
}

struct SaveFailure {
  const char* name;
  Bytes midi;
  const char* text;
};

class SaveFailures : public ::testing::TestWithParam<SaveFailure> {};

TEST_P(SaveFailures, ShowTheSavesMessage) {
  EXPECT_EQ(TextOf([] { ConvertToSongFile("Broken.mid", GetParam().midi); }), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Table, SaveFailures,
                         ::testing::Values(SaveFailure{"NotMidi", {'n', 'o', 't', ' ', 'M', 'I', 'D', 'I'}, TEXT_43},
                                           SaveFailure{"Empty", {}, TEXT_43},
                                           SaveFailure{"HeaderWithoutItsTrack", su::test::Header(0, 1, 96), TEXT_43}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FailureTextTest, KeyboardCodesAndFaultsOfOurOwn) {
  EXPECT_EQ(TextOf([] { RaiseKeyboardError(100); }), "The error occurred.(100)");
  EXPECT_EQ(TextOf([] { RaiseMessage(IDS_TIMEOUT); }), TEXT_38);
  EXPECT_EQ(TextOf([] { RaiseMessage(12345); }), TEXT_44);
  EXPECT_EQ(TextOf([] { throw std::bad_alloc(); }), TEXT_44);
}

// ---- The ports -----------------------------------------------------------------------------------------

struct PortCase {
  const char* name;
  PortLists lists;
  std::string rememberedIn, rememberedOut;
  std::int32_t in, out;  // -1: the user must choose
};

class PortChoiceTest : public ::testing::TestWithParam<PortCase> {};

TEST_P(PortChoiceTest, IsTheUsersRememberedPairElseTheCommandLines) {
  const PortCase& c = GetParam();
  std::int32_t in = -1, out = -1;
  const bool chosen = ChoosePortPair(c.lists, c.rememberedIn, c.rememberedOut, &in, &out);
  EXPECT_EQ(chosen, c.in >= 0);
  if (chosen) {
    EXPECT_EQ(in, c.in);
    EXPECT_EQ(out, c.out);
  }
}

// The default itself is the command line's (tested with midi/port_choice); here, how the page's remembered
// pair goes with it.
INSTANTIATE_TEST_SUITE_P(
    Table, PortChoiceTest,
    ::testing::Values(
        PortCase{"OnlyOneOfEach", {{"In A"}, {"Out B"}}, "", "", 0, 0},
        PortCase{"TwoDevicesNeedTheUser", {{"K1", "K2"}, {"K2", "K1"}}, "", "", -1, -1},
        PortCase{"NoPortsAtAll", {{}, {}}, "", "", -1, -1},
        PortCase{"RememberedWins", {{"K1", "K2"}, {"K2", "K1"}}, "K2", "K2", 1, 0},
        PortCase{"RememberedWinsOverTheDefault", {{"In A", "In B"}, {"Out A"}}, "In B", "Out A", 1, 0},
        PortCase{"RememberedGoneFallsBack", {{"In A"}, {"Out B"}}, "Old", "Out B", 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- A session with each family -------------------------------------------------------------------------

struct FamilyCase {
  const char* name;
  const char* config;   // a used slot at index 2, the rest empty
  char family;
  std::size_t slotCount;
  const char* room;     // what the totals show beside "Total Size"
  const char* modelCode;  // the keyboard's model code, which the song sent to it is converted for
};

// The song image the converter itself writes from a file Tune.mid holding `midi`, for a keyboard of `modelCode`.
Bytes ImageConvertedFor(const Bytes& midi, const char* modelCode) {
  su::test::TempDir dir;
  const std::string path = dir.Write("Tune.mid", midi);
  if (ConvertSqfToPK(path.c_str(), "4", modelCode, "") != SQFCONV2_OK) return {};
  return su::test::ReadBytes(dir.Path("Tune.sq0"));
}

class PageSessionTest : public su::test::LinkTest {
 protected:
  struct : PlanProgress {
    void SongBegins(std::size_t, std::size_t, std::size_t) override {}
    void SongStored(std::size_t) override {}
  } quietSongs;
  void Keyboard(const std::string& text) {
    su::test::KeyboardConfig config;
    std::string error;
    ASSERT_TRUE(su::test::ParseKeyboardConfig(text, &config, &error)) << error;
    Connect(config);
  }
  PageSession session;
};

class EachFamily : public PageSessionTest, public ::testing::WithParamInterface<FamilyCase> {};

TEST_P(EachFamily, IsFoundListedSentToWithAReplacementAndDeleted) {
  const FamilyCase& c = GetParam();
  Keyboard(c.config);
  CountingSearch search;
  const Found found = session.Connect(0, 0, false, search);
  EXPECT_EQ(found.family, c.family);
  EXPECT_EQ(search.attempts, c.family == 'C' ? 1 : c.family == 'A' ? 2 : 3);
  ASSERT_EQ(found.labels.size(), c.slotCount);

  CountingProgress progress;
  Listing listing = session.List(progress);
  ASSERT_EQ(listing.slots.size(), c.slotCount);
  EXPECT_TRUE(listing.slots[2].used);
  EXPECT_FALSE(listing.slots[3].used);
  EXPECT_EQ(TotalKilobytesText(MemoryShown(*session.Family(), listing)), c.room);
  // 700 bytes stored: family B's total shows 1 KB, the others 0, as their dialogs do.
  EXPECT_EQ(session.TotalText(listing), c.family == 'B' ? "1" : "0");
  EXPECT_EQ(progress.statuses.front(), IDS_GETTING_INFORMATION);

  // Answered No, the old song stays and nothing goes out; answered Yes, the song takes its place.
  const Bytes midi = su::test::OneNoteSong();
  FakeDialogs no({false});
  EXPECT_EQ(session.Send(2, "Tune.mid", midi, progress, no), SendOutcome::Declined);
  EXPECT_EQ(no.asked, std::vector<std::string>{TEXT_39});
  EXPECT_EQ(keyboard->Slot(2).size, 700u);
  FakeDialogs yes({true});
  EXPECT_EQ(session.Send(2, "Tune.mid", midi, progress, yes), SendOutcome::Sent);
  EXPECT_EQ(yes.told, std::vector<std::string>{TEXT_40});
  const Bytes image = ImageConvertedFor(midi, c.modelCode);
  ASSERT_FALSE(image.empty());
  EXPECT_EQ(keyboard->Slot(2).contents, image);
  EXPECT_EQ(keyboard->Slot(2).size, image.size());
  EXPECT_GT(progress.steps, 0);

  // An empty slot has nothing to delete: no question. A used one is asked about, then emptied.
  listing = session.List(progress);
  FakeDialogs unasked({true});
  EXPECT_FALSE(session.Delete(3, unasked));
  EXPECT_TRUE(unasked.asked.empty());
  FakeDialogs deleting({true});
  EXPECT_TRUE(session.Delete(2, deleting));
  EXPECT_EQ(deleting.asked, std::vector<std::string>{TEXT_49});
  EXPECT_EQ(deleting.told, std::vector<std::string>{TEXT_50});
  EXPECT_FALSE(session.List(progress).slots[2].used);
}

INSTANTIATE_TEST_SUITE_P(
    Families, EachFamily,
    ::testing::Values(FamilyCase{"C", "model=2\nslot=2,Morning Waltz,700\nfree=262144\n", 'C', 10, "256", "2"},
                      FamilyCase{"A", "family=a\nslot=2,Rondo,700\nfree=131072\n", 'A', 10, "128", "f0"},
                      FamilyCase{"B", "family=b\nmodel=1\nslot=2,Rondo,700\nmax_song=65536\n", 'B', 10, "64",
                                 "e1"}),
    [](const auto& info) { return std::string(info.param.name); });

struct SessionFailure {
  const char* name;
  const char* config;  // empty: nobody answers
  bool type22;
  const char* raised;  // the failure's text; empty: nothing raised
  const char* told;    // the one message told with OK; empty: none
};

class SessionFailures : public PageSessionTest, public ::testing::WithParamInterface<SessionFailure> {};

// Every way a session ends shows the product's text, and the session can be connected again afterwards.
TEST_P(SessionFailures, ShowTheProductsTextAndLeaveTheSessionUsable) {
  const SessionFailure& c = GetParam();
  if (*c.config != '\0') Keyboard(c.config);
  FakeDialogs dialogs({true});
  CountingProgress progress;
  CountingSearch search;
  const std::string text = TextOf([&] {
    session.Connect(0, 0, c.type22, search);
    session.List(progress);
    session.Send(1, "Tune.mid", su::test::OneNoteSong(), progress, dialogs);
  });
  EXPECT_EQ(text, c.raised);
  EXPECT_EQ(dialogs.told, *c.told != '\0' ? std::vector<std::string>{c.told} : std::vector<std::string>{});
  Keyboard("model=2\n");
  EXPECT_EQ(session.Connect(0, 0, false, search).family, 'C');
}

INSTANTIATE_TEST_SUITE_P(
    Table, SessionFailures,
    ::testing::Values(SessionFailure{"NoKeyboard", "", false, TEXT_34, ""},
                      SessionFailure{"Type22OnlyWhenAsked", "family=a\nmodel_address=0x1102\n", false, TEXT_34, ""},
                      SessionFailure{"SilentMidTransfer", "model=2\nsilent=04\n", false, TEXT_38, ""},
                      SessionFailure{"NoRoomIsToldNotRaised", "model=2\nfree=10\n", false, "", TEXT_52},
                      SessionFailure{"RefusedWithACode", "model=2\nrefuse=03:1\n", false, TEXT_54, ""},
                      SessionFailure{"FamilyBTooLarge", "family=b\nmax_song=2\n", false, "", TEXT_59}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Several songs in one go ---------------------------------------------------------------------------

// A song is measured before any keyboard: its facts, and its size as the converter makes it with no model; a
// family A keyboard takes the same song converted for its model, and that is the size planned with.
TEST_F(PageSessionTest, ASongIsMeasuredBeforeAKeyboardAndConvertedForTheOneFound) {
  const SongMeasure measure = MeasureSong("Tune.mid", su::test::OneNoteSong());
  EXPECT_EQ(measure.size, ImageConvertedFor(su::test::OneNoteSong(), "").size());
  EXPECT_EQ(measure.trackCount, 1);
  EXPECT_EQ(measure.noteCount, 1u);
  EXPECT_GT(measure.lengthMs, 0u);
  EXPECT_EQ(TextOf([] { MeasureSong("Broken.mid", {'n', 'o', 't'}); }), TEXT_43);

  Keyboard("family=a\nfree=131072\n");
  CountingSearch search;
  session.Connect(0, 0, false, search);
  const Bytes image = session.ImageFor("Tune.mid", su::test::OneNoteSong());
  EXPECT_EQ(image, ImageConvertedFor(su::test::OneNoteSong(), "f0"));
  EXPECT_NE(image.size(), measure.size);
}

struct PlanCase {
  const char* name;
  long first;                         // -1: the empty slots in order
  std::deque<bool> answers;           // to the one replace question
  std::vector<std::string> asked;     // the questions asked
  std::vector<std::size_t> stored;    // slots holding the test's song afterwards
  std::vector<std::string> told;
};

class SendAllTest : public PageSessionTest, public ::testing::WithParamInterface<PlanCase> {};

// Three songs of 35 bytes into a family C keyboard with room for two beside the song in slot 2: the third is
// marked and never sent; one question before replacing, No sending nothing; one bar for the whole plan.
TEST_P(SendAllTest, SendsTheSongsThatFitAfterOneQuestion) {
  const PlanCase& c = GetParam();
  Keyboard("model=2\nslot=2,Morning Waltz,700\nfree=80\n");
  CountingSearch search;
  session.Connect(0, 0, false, search);
  CountingProgress progress;
  session.List(progress);
  std::vector<Bytes> images;
  std::vector<PlannedSong> songs(3);
  for (PlannedSong& song : songs) {
    images.push_back(session.ImageFor("Tune.mid", su::test::OneNoteSong()));
    song.name = "dir/Tune.mid";
    song.size = static_cast<std::uint32_t>(images.back().size());
  }
  const SendPlan plan = session.Plan(songs, c.first);
  ASSERT_EQ(plan.songs.size(), 3u);
  EXPECT_EQ(plan.songs[0].replaces, c.first == 2);
  // Two fit beside the song in slot 2; replacing that song makes room for the third.
  EXPECT_TRUE(plan.songs[0].fits && plan.songs[1].fits);
  EXPECT_EQ(plan.songs[2].fits, c.first == 2);

  FakeDialogs dialogs(c.answers);
  progress = CountingProgress{};
  struct : PlanProgress {
    void SongBegins(std::size_t index, std::size_t, std::size_t) override { begun.push_back(index); }
    void SongStored(std::size_t) override {}
    std::vector<std::size_t> begun;
  } report;
  const PlanOutcome outcome = session.SendAll(plan, images, progress, dialogs, report);
  EXPECT_EQ(dialogs.asked, c.asked);
  EXPECT_EQ(dialogs.told, c.told);
  EXPECT_FALSE(outcome.failure);
  EXPECT_EQ(outcome.Stored().size(), c.stored.size());
  EXPECT_EQ(report.begun, outcome.Stored());
  for (std::size_t slot = 0; slot < 10; ++slot) {
    const bool expected = std::count(c.stored.begin(), c.stored.end(), slot) != 0;
    EXPECT_EQ(keyboard->Slot(slot).size == images[0].size(), expected) << "slot " << slot;
  }
  if (!c.stored.empty()) {
    // The bar: one share per song sent and one for the reading at the end, filled to its end.
    EXPECT_EQ(progress.total, static_cast<int>(c.stored.size() + 1) * WholePlanProgress::kShare);
    EXPECT_EQ(progress.steps, progress.total);
    EXPECT_EQ(outcome.after.slots.size(), 10u);
  }
}

const std::string kReplaceSlot32 = std::string(TEXT_39) + "\nSlots: 32";

INSTANTIATE_TEST_SUITE_P(
    Table, SendAllTest,
    ::testing::Values(PlanCase{"EmptySlotsInOrderTheThirdDoesNotFit", -1, {}, {}, {0, 1}, {TEXT_40}},
                      PlanCase{"FromAUsedSlotAnsweredNo", 2, {false}, {kReplaceSlot32}, {}, {}},
                      PlanCase{"FromAUsedSlotAnsweredYes", 2, {true}, {kReplaceSlot32}, {2, 3, 4}, {TEXT_40}}),
    [](const auto& info) { return std::string(info.param.name); });

// The page's plan against keyboards that disagree with it (tests/support/plan_model.h), songs that do not fit
// being left out: what it reports for each song is what the keyboard holds, "Complete!" only when every song
// that fits is stored, the keyboard's no-room answer comes back as the plan's failure (told once, by the page,
// not also by the core), the bar is cleared at the end, and a failed reading after leaves no slots to plan on.
class PageModelTest : public ::testing::TestWithParam<su::test::ModelFamily> {};

void RunPageModel(const su::test::ModelFamily& f, unsigned seed) {
  su::test::ModelDraw d = su::test::DrawModel(f, seed);
  // The page has no stop but the final check's Cancel, and asks its replace question before the core.
  if (d.fault >= 4) d.fault = 0;
  if (d.fault2 >= 4) d.fault2 = 0;
  d.answersNo = false;
  d.unfit = UnfitSongs::SendWhatFits;
  SCOPED_TRACE(d.story);
  su::test::VirtualLink link;
  su::test::FakeScreen screen;
  su::test::ScopedScreen scopedScreen{screen};
  su::test::VirtualKeyboard keyboard(d.config);
  su::Run() = su::RunState{};
  link.SetInDevices({"Virtual in"});
  link.SetOutDevices({"Virtual out"});
  link.AttachPeer(&keyboard);
  InstallMidi(&link, &link);
  {
    PageSession session;
    CountingSearch search;
    session.Connect(0, 0, false, search);
    CountingProgress progress;
    session.List(progress);
    std::vector<PlannedSong> songs = d.songs;
    for (PlannedSong& song : songs) song.name += ".mid";
    const long first = d.request.kind == SlotRequest::Kind::FirstFree ? -1
                       : d.request.kind == SlotRequest::Kind::From    ? static_cast<long>(d.request.first)
                                                                      : static_cast<long>(d.request.named.front());
    const SendPlan plan = session.Plan(songs, first);
    su::test::ChangeBehindThePlan(d, plan, keyboard);
    const std::vector<su::test::KeyboardSlot> before = su::test::SlotsOf(keyboard);
    su::test::StopShield unused;
    su::test::ApplyFault(f, d, keyboard, link, unused);
    struct Bar : CountingProgress {
      void Clear() override { cleared = true; }
      void Step() override { cleared = false; }
      bool cleared = false;
    } bar;
    struct : PlanProgress {
      void SongBegins(std::size_t, std::size_t, std::size_t) override {}
      void SongStored(std::size_t) override {}
    } report;
    FakeDialogs dialogs({true});
    const PlanOutcome outcome = session.SendAll(plan, d.images, bar, dialogs, report);
    su::test::ExpectReportedAsHeld(f, d, plan, outcome, before, keyboard);
    EXPECT_TRUE(bar.cleared);
    EXPECT_EQ(session.LastListing().slots.empty(), !outcome.readAfter);
    // "Complete!" exactly when songs were sent and every one that fits is stored (a slot that filled since the
    // reading declines its song); nothing else is told by the core (the page tells the plan's failure itself).
    bool anyFits = false;
    bool everyFitStored = true;
    for (std::size_t i = 0; i < plan.songs.size(); ++i) {
      anyFits = anyFits || plan.songs[i].fits;
      if (plan.songs[i].fits && outcome.songs[i].fate != SongFate::Stored) everyFitStored = false;
    }
    EXPECT_EQ(dialogs.told.size(), anyFits && everyFitStored && !outcome.failure ? 1u : 0u);
    for (const std::string& told : dialogs.told) EXPECT_EQ(told, TEXT_40);
  }
  CloseMidiPorts();
  InstallMidi(nullptr, nullptr);
  su::Run() = su::RunState{};
}

TEST_P(PageModelTest, ReportsForEachSongWhatTheKeyboardHolds) {
  for (unsigned seed : su::test::ModelSeeds(25)) {
    RunPageModel(GetParam(), seed);
    if (HasFailure()) {
      ADD_FAILURE() << "first failing seed: " << seed << " (run it alone with SU_PLAN_SEED=" << seed << ")";
      return;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, PageModelTest, ::testing::ValuesIn(su::test::ModelFamilies()),
                         [](const ::testing::TestParamInfo<su::test::ModelFamily>& info) {
                           return std::string("Family") + "ABC"[static_cast<int>(info.param.family)];
                         });

PlannedSong Named(const std::string& name, std::uint32_t size) {
  PlannedSong song;
  song.name = name;
  song.size = size;
  return song;
}

// A stored mark lasts while the slots as last read show the song by the rule every fate follows: after a
// delete, or another song of the same size under another name (family A keeps names), it goes.
TEST_F(PageSessionTest, AStoredMarkLastsOnlyWhileTheSlotShowsTheSong) {
  struct Case {
    const char* name;
    const char* keyboard;
    std::string fileName;
    bool shownAfterSend;
    bool shownAfterDelete;
  };
  for (const Case& c : {Case{"family C", "model=2\n", "Tune.mid", true, false},
                        Case{"family A, same name", "family=a\n", "Tune.mid", true, false},
                        Case{"family A, another name", "family=a\n", "Other.mid", false, false}}) {
    SCOPED_TRACE(c.name);
    Keyboard(c.keyboard);
    CountingSearch search;
    session.Connect(0, 0, false, search);
    CountingProgress progress;
    session.List(progress);
    const Bytes midi = su::test::OneNoteSong();
    const Bytes image = session.ImageFor("Tune.mid", midi);
    const auto size = static_cast<std::uint32_t>(image.size());
    EXPECT_FALSE(session.ShowsSong(3, "Tune.mid", size)) << "an empty slot shows no song";
    FakeDialogs yes({true});
    session.SendAll(session.Plan({Named("Tune.mid", size)}, 3), {image}, progress, yes, quietSongs);
    EXPECT_EQ(session.ShowsSong(3, c.fileName, size), c.shownAfterSend);
    EXPECT_FALSE(session.ShowsSong(3, "Tune.mid", size + 2)) << "another size";
    ASSERT_TRUE(session.Delete(3, yes));
    session.List(progress);
    EXPECT_EQ(session.ShowsSong(3, c.fileName, size), c.shownAfterDelete);
    session.Close();
  }
}

// A plan whose replace question is answered No sends nothing and reads nothing: no reading after is claimed.
TEST_F(PageSessionTest, ADeclinedPlanClaimsNoReadingAfter) {
  Keyboard("model=2\nslot=3,Old,100\n");
  CountingSearch search;
  session.Connect(0, 0, false, search);
  CountingProgress progress;
  session.List(progress);
  const Bytes image = session.ImageFor("Tune.mid", su::test::OneNoteSong());
  const std::size_t sentBefore = link.Sent().size();
  FakeDialogs no({false});
  const PlanOutcome outcome = session.SendAll(
      session.Plan({Named("Tune.mid", static_cast<std::uint32_t>(image.size()))}, 3), {image}, progress, no,
      quietSongs);
  EXPECT_EQ(outcome.songs.front().fate, SongFate::Declined);
  EXPECT_FALSE(outcome.readAfter);
  EXPECT_TRUE(outcome.after.slots.empty());
  EXPECT_EQ(link.Sent().size(), sentBefore) << "nothing goes to the keyboard after a No";
  EXPECT_FALSE(session.LastListing().slots.empty()) << "the slots as last read stand";
}

TEST_F(PageSessionTest, NoPlanWithoutAReadingOrForASlotTheKeyboardLacks) {
  Keyboard("model=2\n");
  CountingSearch search;
  session.Connect(0, 0, false, search);
  const std::vector<PlannedSong> songs(1);
  EXPECT_EQ(TextOf([&] { session.Plan(songs, -1); }), TEXT_42);
  CountingProgress progress;
  session.List(progress);
  EXPECT_EQ(TextOf([&] { session.Plan(songs, 10); }), TEXT_42);
  EXPECT_EQ(TextOf([&] { session.Plan(songs, 9); }), "");
}

// Model type 22 answers only the probe that looks for it: found when the box is ticked (the session above
// shows it is not found otherwise).
TEST_F(PageSessionTest, Type22IsFoundWhenAsked) {
  Keyboard("family=a\nmodel_address=0x1102\n");
  CountingSearch search;
  const Found found = session.Connect(0, 0, true, search);
  EXPECT_EQ(found.modelType, 22);
  EXPECT_EQ(found.family, 'A');
  CountingProgress progress;
  EXPECT_EQ(session.List(progress).slots.size(), found.labels.size());
}

}  // namespace
}  // namespace su::web
