#include "app/dialogs/status_line.h"

#include "base/messages.h"
#include "resources/resource.h"

namespace su {

void SetStatusLine(WindowRef dialog, int number) {
  DialogScreen& screen = TheDialogScreen();
  screen.SetControlText(dialog, IDC_STATUS, FitBuffer(screen.Text(number), kStatusBufferChars));
}

void ClearStatusLine(WindowRef dialog) { TheDialogScreen().SetControlText(dialog, IDC_STATUS, ""); }

}  // namespace su
