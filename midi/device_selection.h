// Which MIDI input and output device reach the keyboard: the stored pair's check, the processor check and
// the MIDI Device dialog.
#pragma once

namespace su {

int CheckDeviceSetup();     // 0 when both stored indexes name existing devices, 1 otherwise
int CheckHyperthreading();  // 0 go on; 1 not set up; 2 refused (several processors and a keyboard port)
int ShowMidiDeviceDialog(); // dialog 140: 0 when a valid pair was confirmed (and stored), -1 otherwise

}  // namespace su
