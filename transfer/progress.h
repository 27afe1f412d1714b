// How a song transfer shows how far it has come and lets the user stop a long wait. The protocols of every
// family report through it; a transfer dialog maps it onto its progress bar, its status line and the
// "Now sending..." box, and a command line can map it onto a terminal.
#pragma once

namespace su {

class TransferProgress {
 public:
  virtual ~TransferProgress() = default;

  // A new run of `total` steps: 0 of `total` done.
  virtual void Begin(int total) = 0;
  // One more step done.
  virtual void Step() = 0;
  // Back to nothing done, with no status shown: the transfer's own work is over.
  virtual void Clear() = 0;
  // A status line, by string-table number.
  virtual void Status(int message) = 0;

  // The keyboard checks the whole song after the last block, which can take long. While that wait lasts the
  // user is offered a way to cancel it: OpenCheckingWait returns the flag that turns nonzero when the user
  // cancels, or nullptr when nothing could be offered (the wait must then not outlast one silent receive).
  virtual int* OpenCheckingWait() = 0;
  virtual void CloseCheckingWait() = 0;

  // The keyboard took the song's last block; only its word on the whole song (a final check, the closing
  // frames) is still to come. What became of a song whose send fails after this cannot be told from the
  // send alone.
  virtual void EveryBlockTaken() {}
};

// Clears the progress when the operation that holds it ends, however it ends (done, failed, stopped), so
// that no front end keeps showing "Now sending..." and a part-filled bar after it. One per operation.
class ProgressClearing {
 public:
  explicit ProgressClearing(TransferProgress& progress) : progress_(progress) {}
  ~ProgressClearing() {
    try {
      progress_.Clear();
    } catch (...) {
      // A screen that cannot be cleared any more matters less than the failure under way.
    }
  }
  ProgressClearing(const ProgressClearing&) = delete;
  ProgressClearing& operator=(const ProgressClearing&) = delete;

 private:
  TransferProgress& progress_;
};

}  // namespace su
