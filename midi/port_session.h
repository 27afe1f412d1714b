// The MIDI port session: the pair of ports through which every exchange with the keyboard goes, and the
// three primitives SendSysEx, ReceiveSysEx and DrainInput over one 1024-byte input buffer.
#pragma once

#include <cstdint>
#include <memory>

#include "midi/clock.h"
#include "midi/midi_driver.h"

namespace su {

constexpr std::uint32_t kInputBufferSize = 1024;
constexpr std::uint32_t kExchangeTimeoutMs = 3000;

// Installs the driver and clock the session uses (the real ones in the program, virtual ones in tests).
void InstallMidi(MidiDriver* driver, Clock* clock);
MidiDriver& TheDriver();
Clock& TheClock();

// 1 when both ports (run state midiInIndex and midiOutIndex) are open; 0 otherwise, with nothing left open.
int OpenMidiPorts();
// 1 when the input buffer is queued and input has started.
int StartMidiInput();
// True once the driver has seen that the device itself is gone: every send and receive then fails at once,
// and an operation's longer waits (pauses between tries, a wait that only a cancel ends) stop as well.
bool DeviceGone();
// 1 once the driver reported the message sent; 0 after the time-out (the driver then holds no bytes), or at
// once when the device is gone.
int SendSysEx(const std::uint8_t* bytes, std::uint32_t length);
// 1 when a message arrived: `bytes` gets a copy (none when the buffer came back empty) owned by the caller.
// 0 after the time-out, or at once when the device is gone, with the outs left as they were.
int ReceiveSysEx(std::unique_ptr<std::uint8_t[]>* bytes, std::uint32_t* length);
// Drops every input buffer that has already come back. Always 1.
int DrainInput();
// Closes whatever is open; safe when nothing is.
void CloseMidiPorts();

}  // namespace su
