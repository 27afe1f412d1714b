// The family descriptions that every front end reads: an operation that fails leaves no progress behind
// (no front end keeps showing "Now sending..." and a part-filled bar), and the shared slot rules.
#include "transfer/families.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "resources/message_numbers.h"
#include "tests/support/case_name.h"
#include "tests/support/keyboard_rules.h"
#include "tests/support/link_fixture.h"
#include "tests/support/outcome.h"
#include "transfer/family_c/frames.h"

namespace su {
namespace {

using test::KeyboardFamily;

// Writes down what an operation asks of its progress.
struct RecordedProgress : TransferProgress {
  std::vector<std::string> calls;
  void Begin(int) override { calls.emplace_back("Begin"); }
  void Step() override { calls.emplace_back("Step"); }
  void Clear() override { calls.emplace_back("Clear"); }
  void Status(int) override { calls.emplace_back("Status"); }
  int* OpenCheckingWait() override { return nullptr; }
  void CloseCheckingWait() override {}
};

struct YesPrompts : SendPrompts {
  bool ConfirmReplace() override { return true; }
  void NoRoom(int) override {}
};

enum class Operation { Read, Send };

struct FailureCase {
  const char* name;
  KeyboardFamily family;
  std::int32_t modelType;
  Operation operation;
  test::KeyboardRule silence;  // where the keyboard stops answering
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

test::KeyboardConfig Keyboard(KeyboardFamily family) {
  test::KeyboardConfig config;
  config.family = family;
  config.answersIdentity = family == KeyboardFamily::C;
  config.slots = std::vector<test::KeyboardSlot>(10);
  config.freeMemory = 1u << 20;
  config.maxSongSize = 1u << 20;
  return config;
}

class FailedOperation : public test::LinkTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailedOperation, LeavesTheProgressCleared) {
  const FailureCase& c = GetParam();
  Connect(Keyboard(c.family));
  keyboard->AddRule(c.silence);
  OpenPorts();
  const FamilyEntry* family = FamilyFor(c.modelType);
  ASSERT_NE(family, nullptr);
  const KeyboardSlots slots = family->slotsOf(c.modelType, "journey");
  const std::vector<std::uint8_t> image(8 * 128, 0x42);
  RecordedProgress progress;
  YesPrompts prompts;
  const test::Outcome outcome = test::OutcomeOf([&] {
    if (c.operation == Operation::Read) {
      Listing listing;
      family->read(slots, listing, progress);
    } else {
      family->send(slots, 5, image.data(), static_cast<std::uint32_t>(image.size()), progress, prompts);
    }
  });
  EXPECT_EQ(outcome, test::Message(IDS_TIMEOUT));
  ASSERT_NE(std::find(progress.calls.begin(), progress.calls.end(), "Step"), progress.calls.end())
      << "the operation failed before it showed any progress";
  EXPECT_EQ(progress.calls.back(), "Clear");
}

INSTANTIATE_TEST_SUITE_P(
    EveryFamily, FailedOperation,
    ::testing::Values(
        FailureCase{"FamilyAReading", KeyboardFamily::A, 21, Operation::Read, test::Silent(test::kAnyCommand, 6)},
        FailureCase{"FamilyASending", KeyboardFamily::A, 21, Operation::Send, test::Silent(test::kKeyABlock, 3)},
        FailureCase{"FamilyBReading", KeyboardFamily::B, 25, Operation::Read, test::Silent(test::kAnyCommand, 4)},
        FailureCase{"FamilyBSending", KeyboardFamily::B, 25, Operation::Send, test::Silent(test::kKeyBBlock, 3)},
        FailureCase{"FamilyCReading", KeyboardFamily::C, 4, Operation::Read, test::Silent(test::kAnyCommand, 3)},
        FailureCase{"FamilyCSending", KeyboardFamily::C, 4, Operation::Send,
                    test::Silent(family_c::kCmdDataBlock, 3)}),
    test::NameFrom(&FailureCase::name));

TEST(SlotRules, WhichRowHoldsASongAndWhichSlotASelectionMeans) {
  Listing listing;
  listing.slots = {SlotRow{"30", true, "Song", 700}, SlotRow{"31", false, "", 0}};
  EXPECT_TRUE(HoldsSong(listing, 0));
  EXPECT_FALSE(HoldsSong(listing, 1));
  EXPECT_FALSE(HoldsSong(listing, 2));  // not listed
  EXPECT_EQ(SlotOfRow(listing, 1), 1u);
  EXPECT_EQ(SlotOfRow(listing, -1), 0u);  // nothing selected
  EXPECT_EQ(SlotOfRow(listing, 2), 0u);   // a row the listing does not have
}

}  // namespace
}  // namespace su
