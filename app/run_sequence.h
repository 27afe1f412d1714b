// The run sequence: the whole control flow of one run, from the single-instance guard to the clean-up.
#pragma once

#include "app/dialogs/family_a/flow.h"
#include "app/dialogs/family_b/flow.h"
#include "app/dialogs/family_c/flow.h"
#include "app/dialogs/keyboard_connection.h"
#include "app/dialogs/midi_device_dialog.h"
#include "app/save_flow.h"
#include "base/settings.h"
#include "midi/port_session.h"

namespace su {

// The steps the run sequence calls out to. The program uses the defaults; tests put in their own. A family
// entry left empty means that family is not part of this build: its model types end the run quietly.
struct RunFlows {
  int (*makeSettingsPath)() = &MakeSettingsPath;
  int (*loadSettings)() = &LoadSettings;
  int (*showMidiDeviceDialog)() = &ShowMidiDeviceDialog;
  int (*saveSongFile)() = &SaveSongFile;
  int (*connectKeyboard)() = &ConnectKeyboard;
  int (*runFamilyA)() = &RunFamilyA;
  int (*runFamilyB)() = &RunFamilyB;
  int (*runFamilyC)() = &RunFamilyC;
  void (*closeMidiPorts)() = &CloseMidiPorts;
};

// One whole run. `firstArgument` is the first command-line argument after the program name, or nullptr
// when there is none. Returns the process's exit code, always 0.
int RunSequence(const char* firstArgument, const RunFlows& flows = RunFlows{});

// The open-file dialog for the source song; 1 with Run().sourcePath set, 0 when cancelled.
int AskSourceFile();

// Runs `flow` inside the run's one error scope: a raised message or keyboard error is shown in a warning
// box and the flow is abandoned.
void RunInErrorScope(void (*flow)(const RunFlows&), const RunFlows& flows);

// Closes the ports, removes the work directory, frees the song image and releases the instance mutex.
void CleanUp(const RunFlows& flows = RunFlows{});

}  // namespace su
