#include "transfer/family_b/flow.h"

#include <string>

#include "base/conversion.h"
#include "base/run_state.h"
#include "base/screen.h"
#include "resources/resource.h"
#include "transfer/family_b/frames.h"
#include "transfer/family_b/send_dialog.h"
#include "transfer/slot_session_dialog.h"

namespace su {

namespace {

constexpr char kSongImageKind[] = "4";
constexpr int kSlotCountB = 10;
constexpr int kFirstSlotLabelB = 61;

// The converter's model code of each family B model type.
const char* ModelCodeB(std::int32_t modelType) {
  switch (modelType) {
    case 26: return "e1";
    case 27: return "e3";
    default: return "e2";
  }
}

}  // namespace

int RunFamilyB() {
  RunState& run = Run();
  run.convertedPath = ConvertStagedSong(kSongImageKind, ModelCodeB(run.modelType), "");
  LoadSongImageToSend();

  SlotSession session;
  session.modelAddress = family_b::kAddress;
  session.slotCount = kSlotCountB;
  for (int slot = 0; slot < kSlotCountB; ++slot) session.slotLabels.push_back(std::to_string(kFirstSlotLabelB + slot));
  session.slots.assign(kSlotCountB, SlotEntry{});

  SlotSessionDialog dialog(kSlotDialogB, session);
  TheScreen().RunDialog(IDD_SEND_B, dialog);
  return 1;
}

}  // namespace su
