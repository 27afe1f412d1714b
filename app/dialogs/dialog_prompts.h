// The questions and boxes of a send as a transfer dialog shows them: message 39 and the family's "not enough
// memory" message in boxes without owner, box 142 around a replacing delete, and (family A) the whole
// dialog disabled while the blocks go out.
#pragma once

#include <memory>

#include "app/dialogs/slot_list_control.h"
#include "app/dialog_screen.h"
#include "transfer/send_prompts.h"

namespace su {

class DialogPrompts : public SendPrompts {
 public:
  DialogPrompts(WindowRef dialog, bool disableWhileSending)
      : dialog_(dialog), disableWhileSending_(disableWhileSending) {}

  bool ConfirmReplace() override;
  void NoRoom(int message) override;
  void DeletingBegins() override;
  void DeletingEnds() override;
  void SendingBegins() override;
  void SendingEnds() override;

 private:
  WindowRef dialog_;
  bool disableWhileSending_;
  std::unique_ptr<DeletingBox> deleting_;
};

}  // namespace su
