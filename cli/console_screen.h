// The screen seam for the command line: the shared conversion and transfer code reach the user through it.
// String-table texts come from the command line's own copy of the table; boxes print their text on
// standard error.
#pragma once

#include "base/screen.h"
#include "cli/console.h"

namespace su::cli {

class ConsoleScreen : public Screen {
 public:
  ConsoleScreen(Console& console, bool yes) : console_(console), yes_(yes) {}

  std::string Text(int number) override;
  int Ask(WindowRef owner, const std::string& text, BoxKind kind) override;
  // A conversion takes a moment at most: the terminal is not told of it.
  void ShowConvertingBox() override {}
  void CloseConvertingBox() override {}

  // A Yes/No question on the terminal: --yes answers Yes, a terminal is asked, anything else answers No.
  bool Confirm(const std::string& text);

 private:
  Console& console_;
  bool yes_;
};

}  // namespace su::cli
