// Dialog 140 "MIDI Device": the MIDI input and output devices in two lists; OK stores the chosen pair in the
// settings file once it names existing devices.
#pragma once

namespace su {

int ShowMidiDeviceDialog();  // 0 when a valid pair was confirmed (and stored), -1 otherwise

}  // namespace su
