#include "app/dialogs/family_a/flow.h"

#include "app/dialogs/family_a/send_dialog.h"
#include "base/conversion.h"
#include "base/paths.h"
#include "base/run_state.h"
#include "app/dialog_screen.h"
#include "resources/resource.h"
#include "transfer/family_a/slot_operations.h"
#include "transfer/slot_session.h"

namespace su {

namespace {

constexpr char kSongImageKind[] = "4";

}  // namespace

int RunFamilyA() {
  RunState& run = Run();
  SlotSession session;

  run.convertedPath = ConvertStagedSong(kSongImageKind, kModelCodeA, "");
  LoadSongImageToSend();

  SetUpSessionA(session, run.modelType, SplitPath(run.stagedPath).name);

  SlotSessionDialog dialog(kSlotDialogA, session);
  TheDialogScreen().RunDialog(IDD_SEND_A, dialog);
  return 1;
}

}  // namespace su
