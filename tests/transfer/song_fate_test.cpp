// What became of a song, from all the evidence: a plan of one song sent to a virtual keyboard that holds an old
// song of the very size (and name) the new one will show, refuses, stays silent, loses an answer, keeps the
// song nowhere or elsewhere, or changed behind the plan's back. A reading alone cannot tell the new song from
// such an old one; the fate must never say "stored" on that alone.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/link_fixture.h"
#include "tests/support/plan_model.h"
#include "transfer/send_plan.h"

namespace su {
namespace {

struct FateCase {
  const char* name;
  const char* keyboard;        // the virtual keyboard's config; slot 3 is where the song goes
  std::int32_t modelType;
  std::uint32_t size;          // the new song's bytes
  int loseReadingAnswer = 0;   // the n-th answer of the reading after is lost (0: none)
  bool fillSlotFirst = false;  // slot 3 takes another song after the reading the plan is made from
  SongFate fate;
  bool confirmed = false;
  bool oldStill = false;
  bool slotEmptied = false;
  bool failure = true;         // the plan ends with a failure
  bool keptInSlot = false;     // the keyboard holds the new song in slot 3
};
void PrintTo(const FateCase& c, std::ostream* os) { *os << c.name; }

class SongFates : public test::LinkTest, public ::testing::WithParamInterface<FateCase> {};

// The reading after, told apart from the reading the plan is made from: it loses its n-th answer.
struct LoseInReading : PlanProgress {
  void SongBegins(std::size_t, std::size_t, std::size_t) override {}
  void SongStored(std::size_t) override {}
  void ReadingAfter() override {
    if (lose != 0) keyboard->LoseAnswer(static_cast<std::uint32_t>(lose));
  }
  test::VirtualKeyboard* keyboard = nullptr;
  int lose = 0;
};

TEST_P(SongFates, RestOnTheEvidenceNotOnASlotOfTheSameSize) {
  const FateCase& c = GetParam();
  test::KeyboardConfig config;
  std::string error;
  ASSERT_TRUE(test::ParseKeyboardConfig(c.keyboard, &config, &error)) << error;
  Connect(config);
  OpenPorts();
  su::Run().modelType = c.modelType;

  const FamilyEntry& family = *FamilyFor(c.modelType);
  test::QuietProgress progress;
  Listing listing;
  family.read(family.slotsOf(c.modelType, ""), listing, progress);
  const std::vector<std::uint8_t> image(c.size, 0x5A);
  PlannedSong song;
  song.name = "Tune";
  song.size = c.size;
  const SendPlan plan = MakePlan(family, listing, {song}, SlotRequest{SlotRequest::Kind::Named, 0, {3}});
  ASSERT_TRUE(plan.AllFit());
  test::KeyboardSlot intruder;
  if (c.fillSlotFirst) {
    intruder.status = 1;
    intruder.size = 40;
    intruder.name = "Other";
    intruder.contents.assign(40, 0x11);
    keyboard->ChangeSlot(3, intruder);
  }
  const test::KeyboardSlot before = keyboard->Slot(3);

  AnsweredPrompts prompts;
  LoseInReading report;
  report.keyboard = keyboard.get();
  report.lose = c.loseReadingAnswer;
  const PlanOutcome outcome = SendPlanned(family, c.modelType, plan, {image}, progress, prompts, report);

  const SongOutcome& got = outcome.songs.front();
  static const char* const kFates[] = {"stored", "not begun", "failed", "declined", "unknown"};
  EXPECT_STREQ(kFates[static_cast<int>(got.fate)], kFates[static_cast<int>(c.fate)]);
  EXPECT_EQ(got.confirmed, c.confirmed);
  EXPECT_EQ(got.oldStill, c.oldStill);
  EXPECT_EQ(got.slotEmptied, c.slotEmptied);
  EXPECT_EQ(static_cast<bool>(outcome.failure), c.failure);
  const test::KeyboardSlot now = keyboard->Slot(3);
  const bool kept = now.status == 1 && now.contents.size() >= image.size() &&
                    std::equal(image.begin(), image.end(), now.contents.begin());
  EXPECT_EQ(kept, c.keptInSlot);
  if (c.fate == SongFate::Declined) {
    EXPECT_TRUE(test::SameSlot(now, before)) << "a song nobody agreed to replace changed";
  }
}

// Slot 3 holds "Old" songs of the size a 300-byte song shows (family A: 300, named as the song is).
constexpr char kC[] = "slot=3,,300\n";  // the name family C shows for a song without a title
constexpr char kA[] = "family=a\nslot=3,Tune,300\n";
constexpr char kB[] = "family=b\nmodel=2\nslot=3,,302\n";

const FateCase kFateCases[] = {
    // A same-size replacement the keyboard refuses block 1 of: the old song is still there, nothing is stored.
    {"FamilyCRefusedBlockOverASameSizeSong", "slot=3,,300\nrefuse=04:07:6:1\n", 4, 300, 0, false, SongFate::Failed,
     false, true, false, true, false},
    // Family B pads an odd-sized song: an old song one byte larger looks like it; a refused block is a failure.
    {"FamilyBRefusedBlockOverAOneByteLargerSong", "family=b\nmodel=2\nslot=3,,302\nrefuse=062100:0x0B:1:1\n", 25, 301,
     0, false, SongFate::Failed, false, true, false, true, false},
    // The keyboard's no-room answer on a slot holding a same-size song.
    {"FamilyCNoRoomOverASameSizeSong", "slot=3,,300\nfree=0\nrefuse_song=1\n", 4, 300, 0, false, SongFate::Failed,
     false, true, false, true, false},
    // The final check never answered: the reading shows a row the old one explains, so nobody can tell.
    {"FamilyCFinalCheckUnansweredOverASameSizeSong", "slot=3,,300\nsilent=05:1\n", 4, 300, 0, false,
     SongFate::Unknown, false, true, false, true, false},
    // The final check answered too late, into an empty slot: the reading shows a new row, which is the song.
    {"FamilyCFinalCheckAnsweredLateIntoAnEmptySlot", "late=05:5000\n", 4, 300, 0, false, SongFate::Stored, true,
     false, false, false, true},
    // Acknowledged, and one answer of the reading after lost: asked again, the song is confirmed.
    {"FamilyCOneAnswerOfTheReadingAfterLost", kC, 4, 300, 2, false, SongFate::Stored, true, false, false, false, true},
    // Acknowledged, and the reading after cannot be made: stored on the keyboard's word, said so.
    {"FamilyCReadingAfterImpossible", "slot=3,,300\nsilent=01:always:11\n", 4, 300, 0, false, SongFate::Stored, false,
     false, false, false, true},
    // Acknowledged but kept nowhere: the reading shows the slot empty.
    {"FamilyCAcknowledgedButForgotten", "slot=3,,300\nforget_song=1\n", 4, 300, 0, false, SongFate::Failed, false,
     false, true, true, false},
    // Acknowledged but stored into another slot: slot 3 still shows the old song of the same size.
    {"FamilyCStoredElsewhere", "slot=3,Old,250\nmisplace_song=1:5\n", 4, 300, 0, false, SongFate::Failed, false, true,
     false, true, false},
    // Family A deletes the old song first: stored elsewhere, its slot ends empty.
    {"FamilyAStoredElsewhere", "family=a\nslot=3,Old,300\nmisplace_song=1:5\n", 21, 300, 0, false,
     SongFate::Failed, false, false, true, true, false},
    // Family A's name never written: a row of the song's size under another name is not the song.
    {"FamilyANameNeverWritten", "family=a\nsilent=001004\n", 21, 300, 0, false, SongFate::Failed, false, false,
     false, true, true},
    // Families A and B end a song with frames nobody answers: an old row of the same size and name stays unknown.
    {"FamilyBReplacedASameSizeSong", kB, 25, 301, 0, false, SongFate::Unknown, false, true, false, true, true},
    {"FamilyAReplacedASameSizeSameNameSong", kA, 21, 300, 0, false, SongFate::Unknown, false, true, false, true,
     true},
    // The same with a size the old song cannot explain: stored.
    {"FamilyAReplacedASongOfAnotherSize", "family=a\nslot=3,Tune,200\n", 21, 300, 0, false, SongFate::Stored, true,
     false, false, false, true},
    // A slot planned empty that took a song since the reading: declined, nothing deleted or sent.
    {"FamilyCSlotFilledSinceTheReading", "", 4, 300, 0, true, SongFate::Declined, false, false, false, false, false},
    {"FamilyASlotFilledSinceTheReading", "family=a\n", 21, 300, 0, true, SongFate::Declined, false, false, false,
     false, false},
};

INSTANTIATE_TEST_SUITE_P(Table, SongFates, ::testing::ValuesIn(kFateCases),
                         [](const ::testing::TestParamInfo<FateCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace su
