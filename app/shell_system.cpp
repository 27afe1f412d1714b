#include "app/shell_system.h"

#include <stdexcept>

namespace su {

namespace {
ShellSystem* gSystem = nullptr;
}

ShellSystem& TheSystem() {
  if (gSystem == nullptr) throw std::logic_error("no shell system installed");
  return *gSystem;
}

void SetSystem(ShellSystem* system) { gSystem = system; }

}  // namespace su
