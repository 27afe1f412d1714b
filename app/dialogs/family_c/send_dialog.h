// Dialog 138 "Send the Data" of family C: the keyboard's song slots with their names and sizes, the total and
// free memory, and the Send, Delete and Cancel buttons.
#pragma once

#include "app/dialogs/slot_dialog.h"
#include "transfer/families.h"
#include "transfer/family_c/slot_layout.h"
#include "transfer/family_c/slot_operations.h"

namespace su {

// Dialog 138 over a model's slot layout: the one slot dialog with family C's description, keeping its own
// reading of the slots.
class SendDialogC : public SlotDialog {
 public:
  explicit SendDialogC(const SlotLayout& layout);
};

}  // namespace su
