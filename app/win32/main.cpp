// The process entry: installs the real screen, system services and MIDI link and runs the run sequence once.
#include <windows.h>

#include <cstdlib>

#include "app/run_sequence.h"
#include "app/dialog_screen.h"
#include "app/win32/win32_screen.h"
#include "app/win32/win32_system.h"
#include "base/win32/code_page_win32.h"
#include "midi/win32/win32_midi.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  su::SetProgramInstance(instance);
  // The list-view and progress-bar classes must be registered before the first dialog that holds them.
  su::InitCommonControlsOnce();

  // Paths are walked by characters of the system's ANSI code page from the first one on.
  su::InstallSystemLeadBytes();

  static su::Win32Screen screen;
  static su::Win32ShellSystem system;
  su::SetScreen(&screen);
  su::SetSystem(&system);
  // The MIDI driver, the clock and the settings file's profile calls.
  su::InstallWin32Midi();

  // The narrow arguments: the source path is ANSI text. Only the first one after the program name counts.
  const char* firstArgument = (__argc > 1 && __argv != nullptr) ? __argv[1] : nullptr;
  try {
    su::RunSequence(firstArgument);
  } catch (...) {
    // The run sequence shows every failure of a flow itself; nothing else may take the process down
    // with an unhandled exception. The mutex and the work directory go with the process in that case.
  }
  return 0;
}
