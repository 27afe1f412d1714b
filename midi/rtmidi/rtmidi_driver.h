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

}  // namespace su
