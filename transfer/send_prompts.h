// What a song send asks of whoever drives it: a transfer dialog answers with message boxes and its
// "Now deleting..." box, the command line with a question on the terminal (or --yes) and lines on standard
// error. The rules themselves (room checks, the order of replacing) live with each family's operations.
#pragma once

namespace su {

enum class SendOutcome {
  Sent,      // the song went into the slot
  Declined,  // the slot holds a song and the user chose not to replace it
  NoRoom,    // the keyboard lacks memory for the song (the family's message was shown)
};

class SendPrompts {
 public:
  virtual ~SendPrompts() = default;
  // The slot holds a song: message 39, true to replace it.
  virtual bool ConfirmReplace() = 0;
  // The keyboard lacks room for the song: message 52 (families A and C) or 59 (family B).
  virtual void NoRoom(int message) = 0;
  // Around the delete that makes way for the new song (family A replaces by deleting first).
  virtual void DeletingBegins() {}
  virtual void DeletingEnds() {}
  // Around the blocks going out.
  virtual void SendingBegins() {}
  virtual void SendingEnds() {}
};

// Calls a pair of the prompts' hooks around a step, the closing one on every way out (a raised failure too).
class PromptScope {
 public:
  PromptScope(SendPrompts& prompts, void (SendPrompts::*begins)(), void (SendPrompts::*ends)())
      : prompts_(prompts), ends_(ends) {
    (prompts_.*begins)();
  }
  ~PromptScope() {
    try {
      (prompts_.*ends_)();
    } catch (...) {
      // The failure under way matters more than a box or window left as it was.
    }
  }
  PromptScope(const PromptScope&) = delete;
  PromptScope& operator=(const PromptScope&) = delete;

 private:
  SendPrompts& prompts_;
  void (SendPrompts::*ends_)();
};

}  // namespace su
