#include "app/dialogs/family_c/send_dialog.h"

#include <string>

#include "app/dialogs/dialog_progress.h"
#include "app/dialogs/dialog_prompts.h"
#include "app/dialogs/slot_list_control.h"
#include "base/run_state.h"
#include "resources/resource.h"

namespace su {

void ReadSlots(WindowRef dialog, const SlotLayout& layout, SlotTableC& table) {
  DialogReadingProgress progress(dialog);
  ReadSlotTableC(layout, table, progress);
}

void FillSlotList(WindowRef dialog, const SlotLayout& layout, const SlotTableC& table) {
  DialogScreen& screen = TheDialogScreen();
  screen.ListClear(dialog, IDC_SLOT_LIST);
  const int count = layout.slotCount < kMaxSlotsC ? layout.slotCount : kMaxSlotsC;
  for (int slot = 0; slot < count; ++slot) {
    const SlotRecordC& record = table.slots[slot];
    const std::string label =
        slot < static_cast<int>(layout.slotLabels.size()) ? layout.slotLabels[slot] : std::string();
    ShowSlotRow(dialog, slot, label, SlotNameText(record.name, kSlotNameSize), record.size);
  }
  if (count > 0) screen.ListSelectRow(dialog, IDC_SLOT_LIST, 0);
  screen.SetControlText(dialog, IDC_TOTAL_SIZE, TotalKilobytesText(table.totalSize));
  screen.SetControlText(dialog, IDC_FREE_SIZE, TotalKilobytesText(table.freeSize));
}

int SendToSelectedSlot(WindowRef dialog) {
  RunState& run = Run();
  const auto slot = static_cast<std::uint8_t>(SelectedRow(dialog));
  DialogProgress progress(dialog);
  DialogPrompts prompts(dialog, false);
  return SendSongToSlotC(slot, run.songImage.get(), run.songImageSize, progress, prompts) == SendOutcome::Sent
             ? 1
             : 0;
}

int DeleteSelectedSlot(WindowRef dialog, const SlotTableC& table) {
  const int slot = SelectedRow(dialog);
  if (slot < 0 || slot >= kMaxSlotsC || table.slots[slot].inUse == 0) {
    TheDialogScreen().Beep();
    return 0;
  }
  return AskAndDelete(dialog, [slot] { DeleteSongInSlotC(static_cast<std::uint8_t>(slot & 0xFF)); });
}

SendDialogC::SendDialogC(const SlotLayout& layout, SlotTableC& table)
    : SlotDialog(IDC_FREE_SIZE, true), layout_(layout), table_(table) {}

void SendDialogC::Refresh(WindowRef dialog) {
  ReadSlots(dialog, layout_, table_);
  FillSlotList(dialog, layout_, table_);
}

int SendDialogC::SendSong(WindowRef dialog) { return SendToSelectedSlot(dialog); }

int SendDialogC::DeleteSong(WindowRef dialog) { return DeleteSelectedSlot(dialog, table_); }

int SendDialogC::ListedSlots() const { return layout_.slotCount < kMaxSlotsC ? layout_.slotCount : kMaxSlotsC; }

bool SendDialogC::SlotHoldsSong(int row) const { return table_.slots[row].inUse != 0; }

}  // namespace su
