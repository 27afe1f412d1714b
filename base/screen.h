// The screen that the shared code below the front ends talks to: the product's texts, questions, and the
// converting box. Every front end implements it: the Windows program over real windows (with its dialogs on
// top, app/dialog_screen.h), the command line on a terminal, the page in the browser, tests over records.
#pragma once

#include <cstdint>
#include <string>

namespace su {

// The window a question belongs to (a dialog or a box of the Windows program); nullptr means "no owner".
using WindowRef = void*;

// The three kinds of message box. The values are the flags the box is shown with.
enum class BoxKind : std::uint32_t { Ok = 0, YesNo = 4, Warning = 0x30 };

// Buttons a message box returns.
constexpr int kAnswerOk = 1;
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;

class Screen {
 public:
  virtual ~Screen() = default;

  // The text of string-table entry `number`.
  virtual std::string Text(int number) = 0;
  // A message box with the empty caption "" and `text`; returns the button pressed.
  virtual int Ask(WindowRef owner, const std::string& text, BoxKind kind) = 0;

  // While the converter works: the Windows program's "Now converting..." box on its own thread.
  virtual void ShowConvertingBox() = 0;
  virtual void CloseConvertingBox() = 0;
};

// The screen of this process: the real one in the program, a recording one in tests.
Screen& TheScreen();
void SetScreen(Screen* screen);

// Shows string `number` in a box of `kind`; returns the button pressed.
int ShowMessage(WindowRef owner, int number, BoxKind kind);

}  // namespace su
