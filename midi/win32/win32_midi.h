// The program's MIDI link over the Windows multimedia services: the WinMM driver, the clock with its
// message-aware wait, the processor affinity reading and the settings file's profile calls.
#pragma once

namespace su {

// Installs them all; the run sequence relies on them, so WinMain calls this before it starts.
void InstallWin32Midi();

}  // namespace su
