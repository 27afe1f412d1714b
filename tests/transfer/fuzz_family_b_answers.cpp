// Fuzz target for a family B keyboard's side of the link: whatever bytes come back, every family B operation
// ends with a value or with a failure from the string table, and leaves the driver, the boxes and the run
// state in order. The input's format is in keyboard_answers_harness.h; framed answers get 15 01 in front.
//
// Per input the operations run in turn: ReadModelB, ReadSlotInfoB for slot 0 (size and name) and slot 9
// (size only), ReadFreeSpaceB, ReadMaxSongSizeB, DeleteSlotB, SendSongImageB of a 260-byte image (three
// blocks) and ProbeFamilyB. make_keyboard_corpus.py writes its seeds (family b).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "app/dialogs/dialog_progress.h"
#include "base/run_state.h"
#include "resources/resource.h"
#include "tests/transfer/keyboard_answers_harness.h"
#include "transfer/family_b/frames.h"
#include "transfer/family_b/probe.h"
#include "transfer/family_b/protocol.h"

namespace {

using namespace su::test::answers;

// The most messages one input may draw from the program: the model read, two slot reads of two messages and
// one, free space, the largest song, delete, three blocks, two closing frames and the probe's model read.
constexpr std::size_t kMaxMessages = 1 + 2 + 1 + 1 + 1 + 1 + 3 + 2 + 1;

void ReadSlotB(std::uint16_t address, std::uint8_t slot, bool withName) {
  std::unique_ptr<char[]> name(new char[su::kSlotNameSizeB]);
  std::memset(name.get(), 'x', su::kSlotNameSizeB);
  std::uint32_t size = 0xDEADBEEF;
  const int used = su::ReadSlotInfoB(address, slot, &size, withName ? name.get() : nullptr);
  ReturnsFlag("ReadSlotInfoB", used);
  if ((used == 1) != (size != 0)) Fail("ReadSlotInfoB", "the used flag does not follow the size");
  if (!withName) return;
  if (std::memchr(name.get(), 0, su::kSlotNameSizeB) == nullptr)
    Fail("ReadSlotInfoB", "the name is not terminated within its 13 bytes");
  if (used == 0 && name[0] != '\0') Fail("ReadSlotInfoB", "an empty slot has a name");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Harness harness(data, size, Family::B, kMaxMessages);
  constexpr std::uint16_t address = su::family_b::kAddress;
  harness.Attempt("ReadModelB", [] { su::ReadModelB(address); });
  harness.Attempt("ReadSlotInfoB", [] { ReadSlotB(address, 0, true); });
  harness.Attempt("ReadSlotInfoB (size only)", [] { ReadSlotB(address, 9, false); });
  harness.Attempt("ReadFreeSpaceB", [] { su::ReadFreeSpaceB(address); });
  harness.Attempt("ReadMaxSongSizeB", [] { su::ReadMaxSongSizeB(address); });
  harness.Attempt("DeleteSlotB", [] { ReturnsFlag("DeleteSlotB", su::DeleteSlotB(address, 4)); });
  const su::WindowRef dialog = harness.Screen().OpenBox(IDD_SEND_C, nullptr, nullptr);
  harness.Attempt("SendSongImageB", [dialog] {
    const std::unique_ptr<std::uint8_t[]> image = MakeImage();
    su::DialogProgress progress(dialog);
    su::SendSongImageB(address, 4, progress, image.get(), kImageSize);
  });
  harness.Attempt("ProbeFamilyB", [] {
    su::Run().modelType = -1;
    const int found = su::ProbeFamilyB();
    const std::int32_t type = su::Run().modelType;
    if (found == 1 ? (type < 25 || type > 27) : (found != 0 || type != -1))
      Fail("ProbeFamilyB", "returned " + std::to_string(found) + " with model type " + std::to_string(type));
  });
  return 0;
}
