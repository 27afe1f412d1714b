#include "app/dialogs/dialog_progress.h"

#include "resources/resource.h"

namespace su {

DialogProgress::~DialogProgress() {
  try {
    CloseCheckingWait();
  } catch (...) {
    // A box that will not close goes with the process; the failure under way matters more.
  }
}

void DialogProgress::Begin(int total) {
  DialogScreen& screen = TheDialogScreen();
  screen.ProgressRange(dialog_, IDC_PROGRESS, 0, total);
  screen.ProgressPos(dialog_, IDC_PROGRESS, 0);
  screen.ProgressStep(dialog_, IDC_PROGRESS, 1);
}

void DialogProgress::Step() { TheDialogScreen().ProgressStepIt(dialog_, IDC_PROGRESS); }

void DialogProgress::Clear() {
  DialogScreen& screen = TheDialogScreen();
  screen.ProgressPos(dialog_, IDC_PROGRESS, 0);
  screen.SetControlText(dialog_, IDC_STATUS, "");
}

void DialogReadingProgress::Clear() {
  DialogScreen& screen = TheDialogScreen();
  screen.SetControlText(dialog_, IDC_STATUS, "");
  screen.ProgressPos(dialog_, IDC_PROGRESS, 0);
}

void DialogProgress::Status(int message) {
  DialogScreen& screen = TheDialogScreen();
  screen.SetControlText(dialog_, IDC_STATUS, screen.Text(message));
}

int* DialogProgress::OpenCheckingWait() {
  CloseCheckingWait();
  cancelFlag_ = 0;
  sendingBox_ = TheDialogScreen().OpenBox(IDD_SENDING, dialog_, &cancelFlag_);
  return sendingBox_ != nullptr ? &cancelFlag_ : nullptr;
}

void DialogProgress::CloseCheckingWait() {
  if (sendingBox_ == nullptr) return;
  WindowRef box = sendingBox_;
  sendingBox_ = nullptr;
  TheDialogScreen().CloseBox(box);
}

}  // namespace su
