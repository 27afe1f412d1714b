#include "base/screen.h"

#include <stdexcept>

namespace su {

namespace {
Screen* gScreen = nullptr;
}

Screen& TheScreen() {
  if (gScreen == nullptr) throw std::logic_error("no screen installed");
  return *gScreen;
}

void SetScreen(Screen* screen) { gScreen = screen; }

int ShowMessage(WindowRef owner, int number, BoxKind kind) {
  Screen& screen = TheScreen();
  return screen.Ask(owner, screen.Text(number), kind);
}

}  // namespace su
