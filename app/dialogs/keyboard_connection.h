// How a send from the dialogs finds its keyboard: the port choice (the MIDI Device dialog when none is stored),
// the processor check, opening the ports, and the search (transfer/keyboard_search.h) behind wait box 141, in a
// loop the user can repeat from the MIDI Device dialog after message 34.
#pragma once

namespace su {

// 1 with the ports open, input running and Run().modelType set; 0 when the user gave up or the ports cannot
// be used (the messages are shown). The ports are never closed here: whatever is open stays open for the
// transfer or until the run cleans up.
int ConnectKeyboard();

}  // namespace su
