#include "app/dialogs/family_b/flow.h"

#include <string>

#include "app/dialogs/family_b/send_dialog.h"
#include "app/dialogs/slot_session_dialog.h"
#include "base/conversion.h"
#include "base/run_state.h"
#include "app/dialog_screen.h"
#include "resources/resource.h"
#include "transfer/family_b/slot_operations.h"

namespace su {

namespace {

constexpr char kSongImageKind[] = "4";

}  // namespace

int RunFamilyB() {
  RunState& run = Run();
  run.convertedPath = ConvertStagedSong(kSongImageKind, ModelCodeB(run.modelType), "");
  LoadSongImageToSend();

  SlotSession session;
  SetUpSessionB(session);

  SlotSessionDialog dialog(kSlotDialogB, session);
  TheDialogScreen().RunDialog(IDD_SEND_B, dialog);
  return 1;
}

}  // namespace su
