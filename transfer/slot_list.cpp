#include "transfer/slot_list.h"

#include <cstdio>

#include "resources/resource.h"

namespace su {

namespace {

constexpr int kColumnNo = 0;
constexpr int kColumnData = 1;
constexpr int kColumnSize = 2;

}  // namespace

std::uint32_t KilobytesShown(std::uint32_t bytes) {
  if (bytes == 0) return 0;
  if (bytes < 1024) return 1;
  return bytes / 1024;
}

std::string UnsignedText(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(value));
  return text;
}

std::string KilobyteCell(std::uint32_t bytes) {
  char text[24];
  std::snprintf(text, sizeof text, "%uKB", static_cast<unsigned>(KilobytesShown(bytes)));
  return text;
}

std::string TotalKilobytesText(std::uint32_t bytes) { return UnsignedText(bytes / 1024); }

void SetUpSlotList(WindowRef dialog) {
  Screen& screen = TheScreen();
  screen.ListSetup(dialog, IDC_SLOT_LIST);
  screen.ListAddColumn(dialog, IDC_SLOT_LIST, kColumnNo, "No", 40);
  screen.ListAddColumn(dialog, IDC_SLOT_LIST, kColumnData, "Data", 100);
  screen.ListAddColumn(dialog, IDC_SLOT_LIST, kColumnSize, "Size", 70);
}

void ShowSlotRow(WindowRef dialog, int row, const std::string& label, const std::string& name, std::uint32_t size) {
  Screen& screen = TheScreen();
  screen.ListInsertRow(dialog, IDC_SLOT_LIST, row, label);
  screen.ListSetCell(dialog, IDC_SLOT_LIST, row, kColumnData, name);
  screen.ListSetCell(dialog, IDC_SLOT_LIST, row, kColumnSize, KilobyteCell(size));
}

int SelectedRow(WindowRef dialog) {
  Screen& screen = TheScreen();
  const int rows = screen.ListRowCount(dialog, IDC_SLOT_LIST);
  for (int row = 0; row < rows; ++row) {
    if (screen.ListRowSelected(dialog, IDC_SLOT_LIST, row)) return row;
  }
  return 0;
}

DeletingBox::DeletingBox(WindowRef owner) : box_(TheScreen().OpenBox(IDD_DELETING, owner, nullptr)) {}

DeletingBox::~DeletingBox() {
  try {
    TheScreen().CloseBox(box_);
  } catch (...) {
    // A box that will not close goes with the process; the failure under way matters more.
  }
}

}  // namespace su
