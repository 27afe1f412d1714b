// Fuzz target for a family A keyboard's side of the link: whatever bytes come back, every family A operation
// ends with a value or with a failure from the string table, and leaves the driver, the boxes and the run
// state in order. The input's format is in keyboard_answers_harness.h; framed answers get the model address
// of the message they answer (11 03 or 11 02) in front.
//
// Per input the operations run in turn at model address 0x1103: PrepareKeyboardA (quiet, then not),
// MatchModelA, ReadSlotInfoA for slot 0 (size and name), slot 9 (size and name) and slot 1 (used flag only),
// ReadFreeSpaceA, DeleteSlotA, SendSongImageA of a 260-byte image (three blocks), WriteSongNameA, and
// ProbeFamilyA with both model addresses. make_keyboard_corpus.py writes its seeds (family a).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "app/dialogs/dialog_progress.h"
#include "base/run_state.h"
#include "resources/resource.h"
#include "tests/transfer/keyboard_answers_harness.h"
#include "transfer/family_a/frames.h"
#include "transfer/family_a/probe.h"
#include "transfer/family_a/protocol.h"

namespace {

using namespace su::test::answers;

// The most messages one input may draw from the program: two prepares, the model read, two slot reads of
// five messages and one of one, free space, delete, three blocks in each of six starts, two closing frames,
// three name pieces, and the probe's five messages.
constexpr std::size_t kMaxMessages = 2 + 2 + 1 + 5 + 5 + 1 + 1 + 1 + 3 * 6 + 2 + 3 + 5;

void ReadSlotA(std::uint16_t address, std::uint8_t slot) {
  // Exactly the field's size on the heap, so a write past it is caught; filled so a missing zero shows.
  std::unique_ptr<char[]> name(new char[su::kSlotNameSizeA]);
  std::memset(name.get(), 'x', su::kSlotNameSizeA);
  std::uint32_t size = 0xDEADBEEF;
  const int used = su::ReadSlotInfoA(address, slot, &size, name.get());
  ReturnsFlag("ReadSlotInfoA", used);
  if (std::memchr(name.get(), 0, su::kSlotNameSizeA) == nullptr)
    Fail("ReadSlotInfoA", "the name is not terminated within its 13 bytes");
  if (used == 0 && (size != 0 || name[0] != '\0')) Fail("ReadSlotInfoA", "an empty slot has a size or a name");
  if (std::strcmp(name.get(), "(Untitled)") == 0) return;
  for (const char* c = name.get(); *c != '\0'; ++c) {
    const auto byte = static_cast<unsigned char>(*c);
    if (byte < 0x20 || byte > 0x7F) Fail("ReadSlotInfoA", "a name shows a character outside 20..7F");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Harness harness(data, size, Family::A, kMaxMessages);
  constexpr std::uint16_t address = su::family_a::kAddressType21;
  harness.Attempt("PrepareKeyboardA (quiet)", [] { ReturnsFlag("PrepareKeyboardA", su::PrepareKeyboardA(address, true)); });
  harness.Attempt("PrepareKeyboardA", [] {
    if (su::PrepareKeyboardA(address, false) != 1) Fail("PrepareKeyboardA", "returned other than 1");
  });
  harness.Attempt("MatchModelA", [] { su::MatchModelA(address, 2); });
  for (std::uint8_t slot : {0, 9}) harness.Attempt("ReadSlotInfoA", [slot] { ReadSlotA(address, slot); });
  harness.Attempt("ReadSlotInfoA (used only)",
                  [] { ReturnsFlag("ReadSlotInfoA", su::ReadSlotInfoA(address, 1, nullptr, nullptr)); });
  harness.Attempt("ReadFreeSpaceA", [] { su::ReadFreeSpaceA(address); });
  harness.Attempt("DeleteSlotA", [] { ReturnsFlag("DeleteSlotA", su::DeleteSlotA(address, 4)); });
  const su::WindowRef dialog = harness.Screen().OpenBox(IDD_SEND_C, nullptr, nullptr);
  harness.Attempt("SendSongImageA", [dialog] {
    const std::unique_ptr<std::uint8_t[]> image = MakeImage();
    su::DialogProgress progress(dialog);
    su::SendSongImageA(address, 4, progress, image.get(), kImageSize);
  });
  harness.Attempt("WriteSongNameA", [] { su::WriteSongNameA(address, 4, "A fuzzed song name", 18); });
  harness.Attempt("ProbeFamilyA", [] {
    su::Run().debugZt52 = 1;
    su::Run().modelType = -1;
    const int found = su::ProbeFamilyA();
    const std::int32_t type = su::Run().modelType;
    if (found == 1 ? (type != 21 && type != 22) : (found != 0 || type != -1))
      Fail("ProbeFamilyA", "returned " + std::to_string(found) + " with model type " + std::to_string(type));
  });
  return 0;
}
