#include "transfer/family_a/flow.h"

#include "base/conversion.h"
#include "base/paths.h"
#include "base/run_state.h"
#include "base/screen.h"
#include "resources/resource.h"
#include "transfer/family_a/frames.h"
#include "transfer/family_a/send_dialog.h"
#include "transfer/slot_session.h"

namespace su {

namespace {

constexpr char kSongImageKind[] = "4";
constexpr char kModelCodeA[] = "f0";
constexpr int kSlotCountA = 10;

}  // namespace

int RunFamilyA() {
  RunState& run = Run();
  SlotSession session;
  session.songName = SplitPath(run.stagedPath).name;

  run.convertedPath = ConvertStagedSong(kSongImageKind, kModelCodeA, "");
  LoadSongImageToSend();

  session.slotCount = kSlotCountA;
  session.modelAddress = run.modelType == 22 ? family_a::kAddressType22 : family_a::kAddressType21;
  for (int slot = 0; slot < kSlotCountA; ++slot) session.slotLabels.push_back(std::to_string(slot));
  session.slots.assign(kSlotCountA, SlotEntry{});

  SendDialogA dialog(session);
  TheScreen().RunDialog(IDD_SEND_A, dialog);
  return 1;
}

}  // namespace su
