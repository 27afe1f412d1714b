#include "app/dialogs/midi_device_dialog.h"

#include <cstdint>
#include <string>

#include "base/run_state.h"
#include "app/dialog_screen.h"
#include "base/settings.h"
#include "midi/device_selection.h"
#include "midi/midi_driver.h"
#include "midi/port_session.h"
#include "resources/resource.h"

namespace su {

namespace {

constexpr int kButtonOk = 1;
constexpr int kButtonCancel = 2;

class MidiDeviceDialog : public DialogLogic {
 public:
  void OnInit(WindowRef dialog) override {
    DialogScreen& screen = TheDialogScreen();
    MidiDriver& driver = TheDriver();
    // Positions must match device indexes, so a device whose query fails still gets its (empty) entry.
    const std::uint32_t inCount = driver.InDeviceCount();
    for (std::uint32_t i = 0; i < inCount; ++i) {
      std::string name;
      if (!driver.InDeviceName(static_cast<std::int32_t>(i), &name)) name.clear();
      screen.ComboAdd(dialog, IDC_MIDI_IN, name);
    }
    screen.ComboSelect(dialog, IDC_MIDI_IN, Run().midiInIndex);
    const std::uint32_t outCount = driver.OutDeviceCount();
    for (std::uint32_t i = 0; i < outCount; ++i) {
      std::string name;
      if (!driver.OutDeviceName(static_cast<std::int32_t>(i), &name)) name.clear();
      screen.ComboAdd(dialog, IDC_MIDI_OUT, name);
    }
    screen.ComboSelect(dialog, IDC_MIDI_OUT, Run().midiOutIndex);
  }

  void OnCommand(WindowRef dialog, int control) override {
    DialogScreen& screen = TheDialogScreen();
    if (control == kButtonCancel) {
      screen.EndDialog(dialog, -1);
      return;
    }
    if (control != kButtonOk) return;
    // The choice stays in the run state even when the user then gives up; it is stored only when valid.
    RunState& run = Run();
    run.midiInIndex = screen.ComboSelected(dialog, IDC_MIDI_IN);
    run.midiOutIndex = screen.ComboSelected(dialog, IDC_MIDI_OUT);
    if (CheckDeviceSetup() != 0) {
      if (ShowMessage(dialog, IDS_DEVICE_NOT_SET_UP, BoxKind::YesNo) == kAnswerNo) screen.EndDialog(dialog, -1);
      return;
    }
    StorePortChoice();
    screen.EndDialog(dialog, 0);
  }
};

}  // namespace

int ShowMidiDeviceDialog() {
  MidiDeviceDialog logic;
  return TheDialogScreen().RunDialog(IDD_MIDI_DEVICE, logic);
}

}  // namespace su
