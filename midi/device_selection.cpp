// Which MIDI input and output device reach the keyboard: whether the stored pair names existing devices, and
// whether the processor check allows it. The pair itself is chosen in a front end (the MIDI Device dialog of
// the Windows program) and written to the settings file as soon as it names existing devices.
#include "midi/device_selection.h"

#include <string>

#include "base/run_state.h"
#include "midi/port_session.h"
#include "midi/system_affinity.h"

namespace su {

namespace {

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

}  // namespace su
