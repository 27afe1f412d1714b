// The MIDI driver seam over RtMidi, for the command line on Linux (and, unchanged, macOS): the ALSA
// sequencer first, JACK when ALSA is not there, or the system the user names. The only place RtMidi is used
// by the program. Events are those of ConsoleClock.
#pragma once

#include <memory>
#include <string>

#include "midi/midi_driver.h"

namespace su {

enum class MidiSystem { Default, Alsa, Jack };

// The driver for `system`, or nullptr with `error` saying why no MIDI system can be used.
std::unique_ptr<MidiDriver> MakeRtMidiDriver(MidiSystem system, std::string* error);

// The system MakeRtMidiDriver chooses for the default: the ALSA sequencer when it is there, else JACK when a
// server runs; Default when neither is (RtMidi then says why). Other programs over RtMidi (the keyboard
// player) choose by it too, so both ends meet on one system.
MidiSystem ResolveMidiSystem(MidiSystem requested);

}  // namespace su
