#include "cli/terminal_progress.h"

#include "cli/display_width.h"
#include "cli/exit_codes.h"
#include "cli/printable.h"

namespace su::cli {

namespace {

constexpr int kBarWidth = 30;

}  // namespace

TerminalProgress::~TerminalProgress() { EndLine(); }

void TerminalProgress::Begin(int total) {
  EndLine();
  total_ = total > 0 ? total : 0;
  done_ = 0;
  lastTenth_ = -1;
}

void TerminalProgress::Step() {
  if (done_ < total_) ++done_;
  Draw();
}

void TerminalProgress::Clear() {
  EndLine();
  status_.clear();
  done_ = 0;
}

void TerminalProgress::Status(int message) { status_ = MessageText(message); }

int* TerminalProgress::OpenCheckingWait() {
  EndLine();
  console_.err << "It is checking whether data has transmitted. (Ctrl-C stops waiting)" << std::endl;
  cancelFlag_ = 0;
  checkingSince_ = std::chrono::steady_clock::now();
  checking_ = true;
  return &cancelFlag_;
}

void TerminalProgress::CloseCheckingWait() { checking_ = false; }

void TerminalProgress::Draw() {
  if (total_ <= 0) return;
  if (console_.drawBar) {
    const int filled = done_ * kBarWidth / total_;
    const std::string bar = " [" + std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') + "] " +
                            std::to_string(done_) + '/' + std::to_string(total_);
    std::string text = Printable(label_ + status_);
    // The last column is left free: some terminals wrap on it.
    const std::size_t columns = console_.errColumns ? console_.errColumns() : 0;
    if (columns > 1) {
      const std::size_t room = columns - 1;
      const std::size_t barColumns = DisplayColumns(bar);
      text = barColumns < room ? CutToColumns(text, room - barColumns) : std::string();
      console_.err << '\r' << CutToColumns(text + bar, room) << std::flush;
    } else {
      console_.err << '\r' << text << bar << std::flush;
    }
    lineOpen_ = true;
    return;
  }
  if (!console_.progressLines) return;
  const int tenth = done_ * 10 / total_;
  if (tenth == lastTenth_) return;
  lastTenth_ = tenth;
  console_.err << Printable(label_ + status_) << ' ' << done_ << '/' << total_ << '\n';
}

void TerminalProgress::EndLine() {
  if (!lineOpen_) return;
  console_.err << '\n' << std::flush;
  lineOpen_ = false;
}

}  // namespace su::cli
