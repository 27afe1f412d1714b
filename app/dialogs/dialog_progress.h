// The progress of a transfer shown in a transfer dialog: progress bar 1010, status line 11000 and the modeless
// "Now sending..." box 139 owned by the dialog, whose Cancel sets the flag of the checking wait.
#pragma once

#include "app/dialog_screen.h"
#include "transfer/progress.h"

namespace su {

class DialogProgress : public TransferProgress {
 public:
  explicit DialogProgress(WindowRef dialog) : dialog_(dialog) {}
  ~DialogProgress() override;
  DialogProgress(const DialogProgress&) = delete;
  DialogProgress& operator=(const DialogProgress&) = delete;

  void Begin(int total) override;
  void Step() override;
  void Clear() override;
  void Status(int message) override;
  int* OpenCheckingWait() override;
  void CloseCheckingWait() override;

 protected:
  WindowRef dialog_;

 private:
  WindowRef sendingBox_ = nullptr;
  int cancelFlag_ = 0;
};

// The progress of reading the slots: as above, but when the reading is over the status line is cleared
// before the bar goes back to 0.
class DialogReadingProgress : public DialogProgress {
 public:
  using DialogProgress::DialogProgress;
  void Clear() override;
};

}  // namespace su
