// The MIDI port session: the pair of ports through which every exchange with the keyboard goes, and the
// three primitives SendSysEx, ReceiveSysEx and DrainInput over one 1024-byte input buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "base/errors.h"
#include "midi/clock.h"
#include "midi/midi_driver.h"

namespace su {

// Raised by the session's exchanges once the device is gone: message 38 as any failed exchange shows it, of
// its own type so that the keyboard search can take it for "no keyboard answered".
struct DeviceGoneFailure : RaisedMessage {};

constexpr std::uint32_t kInputBufferSize = 1024;
constexpr std::uint32_t kExchangeTimeoutMs = 3000;

// Installs the driver and clock the session uses (the real ones in the program, virtual ones in tests).
void InstallMidi(MidiDriver* driver, Clock* clock);
MidiDriver& TheDriver();
Clock& TheClock();

// The session decides "device gone": once the driver reports the device itself lost (unplugged, switched
// off), the session notes it and stops talking to the driver: SendSysEx, ReceiveSysEx, DrainInput and
// PauseExchange raise DeviceGoneFailure at once, without another driver call (closing the ports still runs).
// A successful OpenMidiPorts forgets it. Protocols never ask; a front end may, to word its message.

// 1 when both ports (run state midiInIndex and midiOutIndex) are open; 0 otherwise, with nothing left open.
int OpenMidiPorts();
// 1 when the input buffer is queued and input has started; 0 at once when the device is gone.
int StartMidiInput();
// True once the session has noted the device gone, until the next successful open.
bool DeviceGone();
// 1 once the driver reported the message sent; 0 after the time-out (the driver then holds no bytes).
int SendSysEx(const std::uint8_t* bytes, std::uint32_t length);
// 1 when a message arrived: `bytes` gets a copy (none when the buffer came back empty) owned by the caller.
// 0 after the time-out, with the outs left as they were.
int ReceiveSysEx(std::unique_ptr<std::uint8_t[]>* bytes, std::uint32_t* length);
// Drops every input buffer that has already come back. Always 1.
int DrainInput();
// Runs `step` (a search for the keyboard) and gives its result; a device that goes away during it counts as
// nothing found (0), so the user may plug it in again and retry.
int NothingIfUnplugged(const std::function<int()>& step);
// Waits `ms` between tries of an exchange on the clock: window messages are dispatched meanwhile (a stop
// they hand over ends the pause), and a device the driver reports lost ends it then.
void PauseExchange(std::uint32_t ms);
// Closes whatever is open; safe when nothing is.
void CloseMidiPorts();

}  // namespace su
