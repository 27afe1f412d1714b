// Which MIDI input and output device reach the keyboard: the stored pair's check and the processor check. The
// pair itself is chosen by a front end (the MIDI Device dialog of the Windows program).
#pragma once

namespace su {

int CheckDeviceSetup();     // 0 when both stored indexes name existing devices, 1 otherwise
int CheckHyperthreading();  // 0 go on; 1 not set up; 2 refused (several processors and a keyboard port)

}  // namespace su
