// What the transfer dialogs of every family share: the slot list's columns, the KB rules of the sizes they
// show, the selected row, and the guards that keep one exchange with the keyboard at a time.
#pragma once

#include <cstdint>
#include <string>

#include "base/screen.h"

namespace su {

// A size in bytes as the dialogs show kilobytes: 0 stays 0, anything below 1024 shows 1, otherwise whole
// kilobytes rounded down (a song's row and the song's own size).
std::uint32_t KilobytesShown(std::uint32_t bytes);
// A row's size cell: KilobytesShown with "KB" behind it.
std::string KilobyteCell(std::uint32_t bytes);
// A total (stored songs, free memory, largest song): whole kilobytes rounded down. Sizes from the keyboard
// are unsigned, so 2 GiB and more show as such (0x80000000 bytes: 2097152).
std::string TotalKilobytesText(std::uint32_t bytes);
std::string UnsignedText(std::uint32_t value);

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
