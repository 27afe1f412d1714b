// The family C flow: the staged song converted for the identified model, loaded as the song image, and
// dialog 138 run over the model's slot layout.
#include "app/dialogs/family_c/flow.h"

#include "app/dialogs/family_c/send_dialog.h"
#include "base/conversion.h"
#include "base/errors.h"
#include "base/run_state.h"
#include "app/dialog_screen.h"
#include "resources/resource.h"
#include "transfer/family_c/slot_layout.h"

namespace su {

namespace {

// Output kind "4": a song image to send.
constexpr char kSongImageKind[] = "4";

}  // namespace

int RunFamilyC() {
  RunState& run = Run();
  run.convertedPath = ConvertStagedSong(kSongImageKind, run.modelCode, ModelInfoArgument());

  LoadSongImageToSend();

  const SlotLayout layout = SlotLayoutFor(run.modelType);
  SlotTableC table{};  // cleared for this run

  SendDialogC dialog(layout, table);
  TheDialogScreen().RunDialog(IDD_SEND_C, dialog);
  return 1;
}

}  // namespace su
