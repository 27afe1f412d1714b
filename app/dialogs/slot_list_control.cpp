#include "app/dialogs/slot_list_control.h"

#include "resources/resource.h"

namespace su {

namespace {

constexpr int kColumnNo = 0;
constexpr int kColumnData = 1;
constexpr int kColumnSize = 2;

}  // namespace

void SetUpSlotList(WindowRef dialog) {
  DialogScreen& screen = TheDialogScreen();
  screen.ListSetup(dialog, IDC_SLOT_LIST);
  screen.ListAddColumn(dialog, IDC_SLOT_LIST, kColumnNo, "No", 40);
  screen.ListAddColumn(dialog, IDC_SLOT_LIST, kColumnData, "Data", 100);
  screen.ListAddColumn(dialog, IDC_SLOT_LIST, kColumnSize, "Size", 70);
}

void ShowSlotRow(WindowRef dialog, int row, const std::string& label, const std::string& name, std::uint32_t size) {
  DialogScreen& screen = TheDialogScreen();
  screen.ListInsertRow(dialog, IDC_SLOT_LIST, row, label);
  screen.ListSetCell(dialog, IDC_SLOT_LIST, row, kColumnData, name);
  screen.ListSetCell(dialog, IDC_SLOT_LIST, row, kColumnSize, KilobyteCell(size));
}

int SelectedRow(WindowRef dialog) {
  DialogScreen& screen = TheDialogScreen();
  const int rows = screen.ListRowCount(dialog, IDC_SLOT_LIST);
  for (int row = 0; row < rows; ++row) {
    if (screen.ListRowSelected(dialog, IDC_SLOT_LIST, row)) return row;
  }
  return 0;
}

DeletingBox::DeletingBox(WindowRef owner) : box_(TheDialogScreen().OpenBox(IDD_DELETING, owner, nullptr)) {}

DeletingBox::~DeletingBox() {
  try {
    TheDialogScreen().CloseBox(box_);
  } catch (...) {
    // A box that will not close goes with the process; the failure under way matters more.
  }
}

}  // namespace su
