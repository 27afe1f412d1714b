// Placeholder until device selection lands.
#include "midi/device_selection.h"
namespace su {
int CheckDeviceSetup() { return 1; }
int CheckHyperthreading() { return 1; }
int ShowMidiDeviceDialog() { return -1; }
}  // namespace su
