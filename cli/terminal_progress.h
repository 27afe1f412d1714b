// A transfer's progress on the terminal: a bar redrawn in place when standard error is a terminal, plain
// lines otherwise (one per tenth of the way) when asked for (--progress). The keyboard's final check of a song can be cut short with
// Ctrl-C, as Cancel does in the "Now sending..." box.
#pragma once

#include <chrono>
#include <string>

#include "cli/console.h"
#include "transfer/progress.h"

namespace su::cli {

class TerminalProgress : public TransferProgress {
 public:
  explicit TerminalProgress(Console& console) : console_(console) {}
  ~TerminalProgress() override;

  void Begin(int total) override;
  void Step() override;
  void Clear() override;
  void Status(int message) override;
  int* OpenCheckingWait() override;
  void CloseCheckingWait() override;

  // Shown before the status on every progress line ("" for none): which song of several is being sent.
  void Label(const std::string& text) { label_ = text; }

  // The checking wait's flag while it is open (Ctrl-C sets it), else nullptr.
  int* CheckingFlag() { return checking_ ? &cancelFlag_ : nullptr; }
  // How long the checking wait has been open (zero while it is not).
  std::chrono::steady_clock::duration CheckingFor() const {
    return checking_ ? std::chrono::steady_clock::now() - checkingSince_ : std::chrono::steady_clock::duration{};
  }

 private:
  void Draw();
  void EndLine();

  Console& console_;
  std::string label_;
  std::string status_;
  int total_ = 0;
  int done_ = 0;
  int lastTenth_ = -1;
  bool lineOpen_ = false;
  bool checking_ = false;
  std::chrono::steady_clock::time_point checkingSince_;
  int cancelFlag_ = 0;
};

}  // namespace su::cli
