// What the transfer dialogs of every family share: slot list 1018 with its columns, the selected row, the
// guard that keeps one exchange with the keyboard at a time, and box 142. The sizes follow the KB rules of
// transfer/slot_list.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/dialog_screen.h"
#include "transfer/slot_list.h"

namespace su {

// Full-row selection and the three columns "No", "Data" and "Size" of slot list 1018.
void SetUpSlotList(WindowRef dialog);
// Puts one slot's row into slot list 1018.
void ShowSlotRow(WindowRef dialog, int row, const std::string& label, const std::string& name, std::uint32_t size);
// The first selected row of slot list 1018; 0 when none is selected.
int SelectedRow(WindowRef dialog);

// Marks a dialog busy for the life of one exchange, a raised failure included: while it is marked, the
// commands that window messages bring in the middle of a wait are ignored.
class BusyScope {
 public:
  explicit BusyScope(bool& busy) : busy_(busy) { busy_ = true; }
  ~BusyScope() { busy_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& busy_;
};

// Box 142 "Now deleting..." for as long as a delete waits for the keyboard, closed on every way out.
class DeletingBox {
 public:
  explicit DeletingBox(WindowRef owner);
  ~DeletingBox();
  DeletingBox(const DeletingBox&) = delete;
  DeletingBox& operator=(const DeletingBox&) = delete;

 private:
  WindowRef box_;
};

}  // namespace su
