#include "app/dialog_screen.h"

#include <stdexcept>

namespace su {

DialogScreen& TheDialogScreen() {
  auto* screen = dynamic_cast<DialogScreen*>(&TheScreen());
  if (screen == nullptr) throw std::logic_error("the installed screen has no dialogs");
  return *screen;
}

}  // namespace su
