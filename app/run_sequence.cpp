#include "app/run_sequence.h"

#include "app/dialogs/selection_dialog.h"
#include "app/shell_system.h"
#include "app/work_dir.h"
#include "base/messages.h"
#include "base/run_state.h"
#include "resources/message_numbers.h"

namespace su {

namespace {

void RunChosenFlow(const RunFlows& flows) {
  RunState& run = Run();
  if (run.selection == kSelectionSave) {
    flows.saveSongFile();
    return;
  }
  if (flows.connectKeyboard() == 0) return;  // it has shown its own messages
  int (*family)() = nullptr;
  switch (run.modelType) {
    case 21:
    case 22:
      family = flows.runFamilyA;
      break;
    case 25:
    case 26:
    case 27:
      family = flows.runFamilyB;
      break;
    default:
      family = flows.runFamilyC;
      break;
  }
  if (family != nullptr) family();  // its result is not looked at
}

// Steps 3 to 8; every way out returns to the clean-up in RunSequence.
void RunSteps(const char* firstArgument, const RunFlows& flows) {
  RunState& run = Run();
  if (firstArgument != nullptr) {
    // A path longer than the source path field holds is refused rather than cut to another path.
    if (std::string(firstArgument).size() > kMaxPath) {
      ShowMessage(nullptr, IDS_SQF_NOT_FOUND, BoxKind::Ok);
      return;
    }
    run.sourcePath = firstArgument;
  } else if (AskSourceFile() == 0) {
    return;
  }
  if (StageSourceFile() == 0) {
    ShowMessage(nullptr, IDS_SQF_NOT_FOUND, BoxKind::Ok);
    return;
  }
  flows.makeSettingsPath();
  flows.loadSettings();
  run.modelCode.clear();
  run.modelInfoValid = 0;
  run.modelInfo.clear();
  if (ShowSelectionDialog(flows.showMidiDeviceDialog) == 0) return;
  RunInErrorScope(&RunChosenFlow, flows);
}

}  // namespace

int AskSourceFile() {
  RunState& run = Run();
  run.sourcePath.clear();
  std::string chosen;
  if (!TheDialogScreen().AskOpenPath(&chosen)) return 0;
  run.sourcePath = chosen;
  return 1;
}

void RunInErrorScope(void (*flow)(const RunFlows&), const RunFlows& flows) {
  try {
    flow(flows);
  } catch (const RaisedMessage& raised) {
    ShowRaisedMessage(raised);
  } catch (const APP_EXCEPTION& error) {
    ShowKeyboardError(error);
  } catch (...) {
    // Any other failure inside a flow (memory exhausted, say) still ends the run with a message the user
    // can read instead of taking the process down without one.
    ShowRaisedMessage(RaisedMessage{IDS_FILE_ERROR});
  }
}

int RunSequence(const char* firstArgument, const RunFlows& flows) {
  // No message when another instance holds the mutex: this start simply ends.
  if (TheSystem().ClaimInstance()) {
    try {
      RunSteps(firstArgument, flows);
    } catch (...) {
      // The steps before the chosen flow report their own failures; anything else that escapes them
      // (memory exhausted, say) must still leave no work directory and no open port behind.
    }
  }
  CleanUp(flows);
  return 0;
}

void CleanUp(const RunFlows& flows) {
  RunState& run = Run();
  if (flows.closeMidiPorts != nullptr) flows.closeMidiPorts();
  RemoveWorkDirectory();
  ReleaseSongImage(run);
  TheSystem().ReleaseInstance();
}

}  // namespace su
