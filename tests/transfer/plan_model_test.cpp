// Plans of several songs against keyboards that disagree with them (tests/support/plan_model.h): random plans
// sent to a virtual keyboard of each family that takes more memory than a song's size, refuses a song for
// memory, hangs after some songs, shrinks the largest song it takes, acknowledges a song it keeps nowhere or
// stores it elsewhere, holds old songs that look like the new ones, changes behind the plan's back, refuses a
// block, goes silent, is unplugged, or is stopped at a random moment (in the reading after too), with the
// replace question answered Yes or No. Whatever happens, what the plan reports for each song must be what the
// keyboard holds, as far as the evidence can tell.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/run_state.h"
#include "midi/port_session.h"
#include "tests/support/fake_screen.h"
#include "tests/support/plan_model.h"

namespace su {
namespace {

using test::ModelFamily;

using Quiet = test::QuietProgress;

void RunOne(const ModelFamily& f, unsigned seed) {
  const test::ModelDraw d = test::DrawModel(f, seed);
  SCOPED_TRACE(d.story);
  test::VirtualLink link;
  test::FakeScreen screen;
  test::ScopedScreen scopedScreen{screen};
  test::VirtualKeyboard keyboard(d.config);
  Run() = RunState{};
  link.SetInDevices({"Virtual in"});
  link.SetOutDevices({"Virtual out"});
  link.AttachPeer(&keyboard);
  InstallMidi(&link, &link);
  Run().midiInIndex = 0;
  Run().midiOutIndex = 0;
  ASSERT_EQ(OpenMidiPorts(), 1);
  ASSERT_EQ(StartMidiInput(), 1);

  const FamilyEntry& family = *FamilyFor(f.modelType);
  Quiet progress;
  Listing listing;
  family.read(family.slotsOf(f.modelType, ""), listing, progress);
  const SendPlan plan = MakePlan(family, listing, d.songs, d.request);
  test::ChangeBehindThePlan(d, plan, keyboard);
  const std::vector<test::KeyboardSlot> before = test::SlotsOf(keyboard);
  test::StopShield shield;
  test::ApplyFault(f, d, keyboard, link, shield);
  // The front ends' own prompts: the plan's replace question was answered before the plan.
  AnsweredPrompts prompts(!d.answersNo);
  const PlanOutcome outcome = SendPlanned(family, f.modelType, plan, d.images, progress, prompts, shield, d.unfit);
  test::ExpectReportedAsHeld(f, d, plan, outcome, before, keyboard);

  CloseMidiPorts();
  EXPECT_TRUE(link.Misuse().empty()) << (link.Misuse().empty() ? "" : link.Misuse().front());
  InstallMidi(nullptr, nullptr);
  Run() = RunState{};
}

class PlanAgainstKeyboard : public ::testing::TestWithParam<ModelFamily> {};

TEST_P(PlanAgainstKeyboard, ReportsForEachSongWhatTheKeyboardHolds) {
  for (unsigned seed : test::ModelSeeds(600)) {
    RunOne(GetParam(), seed);
    if (HasFailure()) {
      ADD_FAILURE() << "first failing seed: " << seed << " (run it alone with SU_PLAN_SEED=" << seed << ")";
      return;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, PlanAgainstKeyboard, ::testing::ValuesIn(test::ModelFamilies()),
                         [](const ::testing::TestParamInfo<ModelFamily>& info) {
                           return std::string("Family") + "ABC"[static_cast<int>(info.param.family)];
                         });

}  // namespace
}  // namespace su
