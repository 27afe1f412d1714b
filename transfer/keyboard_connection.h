// The keyboard search that a send starts with: the port choice, opening the ports, and the identity request
// followed by the family probes, in a loop the user can repeat from the MIDI Device dialog.
#pragma once

namespace su {

// 1 with the ports open, input running and Run().modelType set; 0 when the user gave up or the ports cannot
// be used (the messages are shown). The ports are never closed here: whatever is open stays open for the
// transfer or until the run cleans up.
int ConnectKeyboard();

}  // namespace su
