// Fuzz target for a family C keyboard's side of the link: whatever bytes come back, in whatever number and
// at whatever moment, every family C operation ends with a value or with a failure from the string table,
// and leaves the driver, the boxes and the run state in order. The input's format is in
// keyboard_answers_harness.h.
//
// Per input the operations run in turn, each on its own: IdentifyKeyboard, ReadSlotInfo for four slots,
// ReadFreeSpace, AnnounceSong, SendSongImage of a 260-byte image (three blocks) and the delete of the slot
// list's selected song. make_keyboard_corpus.py writes its seeds.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/dialogs/dialog_progress.h"
#include "app/dialogs/slot_dialog.h"
#include "base/run_state.h"
#include "midi/identification.h"
#include "resources/resource.h"
#include "tests/transfer/keyboard_answers_harness.h"
#include "transfer/families.h"
#include "transfer/family_c/protocol.h"
#include "transfer/family_c/slot_layout.h"

namespace {

using namespace su::test::answers;

constexpr std::uint8_t kDeleteRow = 2;
// The most messages one input may draw from the program: identity, four slot reads, free space, announce,
// three blocks sent up to six times each, the closing message and the delete.
constexpr std::size_t kMaxMessages = 1 + 4 + 1 + 1 + 3 * 6 + 1 + 1;

void Identify() {
  const int found = su::IdentifyKeyboard();
  const su::RunState& run = su::Run();
  if (run.modelCode.size() > 2 || !IsLowerHex(run.modelCode))
    Fail("IdentifyKeyboard", "model code \"" + run.modelCode + "\"");
  if (run.modelInfoValid == 1 && (run.modelInfo.size() != 8 || !IsLowerHex(run.modelInfo)))
    Fail("IdentifyKeyboard", "model information \"" + run.modelInfo + "\"");
  if (run.modelInfoValid != 0 && run.modelInfoValid != 1) Fail("IdentifyKeyboard", "modelInfoValid not 0 or 1");
  if (found == 1) {
    if (run.modelType < 4 || run.modelType > 28) Fail("IdentifyKeyboard", "model type " + std::to_string(run.modelType));
  } else if (found == 0) {
    if (run.modelInfoValid != 0 || !run.modelInfo.empty())
      Fail("IdentifyKeyboard", "model information kept for a keyboard not found");
  } else {
    Fail("IdentifyKeyboard", "returned " + std::to_string(found));
  }
}

void ReadSlot(std::uint8_t slot) {
  // Exactly the field's size on the heap, so a write past it is caught; filled so a missing zero shows.
  std::unique_ptr<char[]> name(new char[su::kSlotNameSize]);
  std::memset(name.get(), 'x', su::kSlotNameSize);
  std::uint32_t size = 0xDEADBEEF;
  const int status = su::ReadSlotInfo(slot, &size, name.get());
  if (std::getenv("KEYBOARD_ANSWERS_TRACE") != nullptr)
    std::fprintf(stderr, "  slot %u: status %d, size %u, name \"%s\"\n", slot, status, size, name.get());
  if (std::memchr(name.get(), 0, su::kSlotNameSize) == nullptr)
    Fail("ReadSlotInfo", "the name is not terminated within its 32 bytes");
  if (status < 0 || status > 0xFF) Fail("ReadSlotInfo", "status " + std::to_string(status));
  if (status == 1 && name[0] == '\0') Fail("ReadSlotInfo", "a slot with a song has neither name nor marker");
  if (status != 1 && (size != 0 || name[0] != '\0')) Fail("ReadSlotInfo", "a slot without a song has a size or a name");
}

void Delete(su::test::FakeScreen& screen, su::WindowRef dialog) {
  screen.ListSetup(dialog, IDC_SLOT_LIST);
  for (int row = 0; row < su::kMaxSlotsC; ++row) screen.ListInsertRow(dialog, IDC_SLOT_LIST, row, "");
  screen.ListSelectRow(dialog, IDC_SLOT_LIST, kDeleteRow);
  // The user says Yes to message 49, so the delete either happens or raises.
  const int deleted = su::AskAndDelete(dialog, [] { su::FamilyC().erase({}, kDeleteRow); });
  if (deleted != 1) Fail("DeleteSelectedSlot", "returned " + std::to_string(deleted) + " after a Yes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Harness harness(data, size, Family::C, kMaxMessages);
  harness.Attempt("IdentifyKeyboard", [] { Identify(); });
  for (std::uint8_t slot : {0, 1, 14}) harness.Attempt("ReadSlotInfo", [slot] { ReadSlot(slot); });
  harness.Attempt("ReadSlotInfo (status only)", [] {
    const int status = su::ReadSlotInfo(3, nullptr, nullptr);
    if (status < 0 || status > 0xFF) Fail("ReadSlotInfo (status only)", "status outside a byte");
  });
  harness.Attempt("ReadFreeSpace", [] { su::ReadFreeSpace(); });
  harness.Attempt("AnnounceSong", [] {
    const int accepted = su::AnnounceSong(kDeleteRow, kImageSize);
    if (accepted != 1 && accepted != -1) Fail("AnnounceSong", "returned " + std::to_string(accepted));
  });
  const su::WindowRef dialog = harness.Screen().OpenBox(IDD_SEND_C, nullptr, nullptr);
  harness.Attempt("SendSongImage", [dialog] {
    const std::unique_ptr<std::uint8_t[]> image = MakeImage();
    su::DialogProgress progress(dialog);
    su::SendSongImage(progress, image.get(), kImageSize);
  });
  harness.Attempt("DeleteSelectedSlot", [&harness, dialog] { Delete(harness.Screen(), dialog); });
  return 0;
}
