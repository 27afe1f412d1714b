// Which MIDI input and output device reach the keyboard. The pair is chosen by the user only, in the MIDI
// Device dialog, and written to the settings file as soon as it names existing devices.
#include "midi/device_selection.h"

#include <string>

#include "base/run_state.h"
#include "base/screen.h"
#include "base/settings.h"
#include "midi/port_session.h"
#include "midi/system_affinity.h"
#include "resources/resource.h"

namespace su {

namespace {

constexpr int kButtonOk = 1;
constexpr int kButtonCancel = 2;

// Port names of the keyboard's own USB interface, in the order they are looked for.
const char* const kKeyboardInNames[] = {"QK USB IN 1", "QK USB IN 2", "QUAVR USB IN 1", "QUAVR USB IN 2"};
const char* const kKeyboardOutNames[] = {"QK USB OUT 1", "QK USB OUT 2", "QUAVR USB OUT 1", "QUAVR USB OUT 2"};

std::function<std::uint64_t()>& AffinitySource() {
  static std::function<std::uint64_t()> source;
  return source;
}

// Both stored indexes name devices whose capabilities can be read; their product names come back.
bool StoredPairExists(std::string* inName, std::string* outName) {
  MidiDriver& driver = TheDriver();
  driver.InDeviceCount();
  driver.OutDeviceCount();
  const RunState& run = Run();
  if (run.midiInIndex < 0 || run.midiOutIndex < 0) return false;
  if (!driver.InDeviceName(run.midiInIndex, inName)) return false;
  return driver.OutDeviceName(run.midiOutIndex, outName);
}

template <std::size_t N>
bool NamesKeyboardPort(const std::string& productName, const char* const (&portNames)[N]) {
  for (const char* portName : portNames) {
    if (productName.find(portName) != std::string::npos) return true;
  }
  return false;
}

class MidiDeviceDialog : public DialogLogic {
 public:
  void OnInit(WindowRef dialog) override {
    Screen& screen = TheScreen();
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
    Screen& screen = TheScreen();
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

void InstallAffinityMaskSource(std::function<std::uint64_t()> source) { AffinitySource() = std::move(source); }

std::uint64_t SystemAffinityMask() {
  const auto& source = AffinitySource();
  return source ? source() : 1;
}

int CheckDeviceSetup() {
  std::string inName, outName;
  return StoredPairExists(&inName, &outName) ? 0 : 1;
}

int CheckHyperthreading() {
  std::string inName, outName;
  if (!StoredPairExists(&inName, &outName)) return 1;
  // Sending through the keyboard's own ports is refused on a machine with more than one logical processor.
  if (SystemAffinityMask() <= 1) return 0;
  if (NamesKeyboardPort(inName, kKeyboardInNames)) return 2;
  if (NamesKeyboardPort(outName, kKeyboardOutNames)) return 2;
  return 0;
}

int ShowMidiDeviceDialog() {
  MidiDeviceDialog logic;
  return TheScreen().RunDialog(IDD_MIDI_DEVICE, logic);
}

}  // namespace su
