// A strict reader of Standard MIDI Files over a byte range. It accepts formats 0 and 1 (plain or inside a
// RIFF RMID wrapper), checks every declared length against the bytes that are really there, and merges the
// tracks into one stream ordered by absolute time (events of equal time keep track order, then file order).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace su::conv {

enum class MidiKind : std::uint8_t {
  Channel,  // status 0x80..0xEF with one or two data bytes
  Meta,     // 0xFF, `type` and a payload
  SysEx,    // 0xF0 or 0xF7 with a payload
};

// One event of the merged stream. Meta and SysEx payloads are not copied: `offset` and `length` locate them
// in the bytes the file was read from, which must outlive the MidiFile.
struct MidiEvent {
  std::uint32_t tick = 0;    // absolute time in ticks of the division
  MidiKind kind = MidiKind::Channel;
  std::uint8_t status = 0;   // channel status byte, 0xFF for meta, 0xF0/0xF7 for SysEx
  std::uint8_t data1 = 0;    // channel data, or the meta type
  std::uint8_t data2 = 0;    // second channel data byte (0 for one-byte messages)
  std::uint32_t offset = 0;  // payload position in the source bytes (meta and SysEx)
  std::uint32_t length = 0;  // payload length (meta and SysEx)
};

struct MidiFile {
  std::uint16_t format = 0;
  std::uint16_t trackCount = 0;
  std::uint16_t division = 0;   // raw header word: ticks per quarter, or SMPTE frames and ticks per frame
  std::uint32_t endTick = 0;    // time of the latest end-of-track
  std::vector<MidiEvent> events;  // merged, time-ordered
  const std::uint8_t* source = nullptr;  // the bytes that were read (payloads point into them)
};

enum class MidiError {
  None = 0,
  TooShort,          // fewer bytes than a header needs
  NoHeader,          // the data does not begin with an MThd chunk (or a RIFF RMID wrapper holding one)
  BadRiff,           // the RIFF wrapper is damaged or holds no "data" chunk
  BadHeader,         // header chunk too short or with impossible values
  UnsupportedFormat, // format 2 or above
  NoTracks,          // a track count of zero
  BadDivision,       // zero ticks per quarter, or an SMPTE rate that does not exist
  ChunkPastEnd,      // a chunk's declared length runs past the data
  MissingTrack,      // fewer MTrk chunks than the header declares
  BadVlq,            // a variable-length number longer than four bytes or cut off
  NoRunningStatus,   // a data byte with no status in effect
  BadStatus,         // a status byte that has no place in a file (0xF1..0xF6, 0xF8..0xFE)
  BadData,           // a channel data byte with its top bit set, or an event cut off
  BadMeta,           // a meta event whose length does not suit its type
  EventPastEnd,      // a payload length past the end of its track
  MissingEndOfTrack, // a track that ends without FF 2F 00, or has events after it
  TooLong,           // absolute time beyond 32 bits, or more data than the reader accepts
};

// The largest input the reader accepts: far more than any song a keyboard can hold.
constexpr std::size_t kMaxMidiBytes = 64u * 1024u * 1024u;

// Reads `size` bytes at `data`. On success fills `file` and returns MidiError::None; otherwise `file` is left
// empty. Never reads outside [data, data + size).
MidiError ReadMidiFile(const std::uint8_t* data, std::size_t size, MidiFile* file);

// A short English name for an error, for test messages.
const char* MidiErrorName(MidiError error);

// Number of data bytes that follow a channel status byte (1 for program change and channel pressure).
constexpr int ChannelDataLength(std::uint8_t status) {
  return ((status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0) ? 1 : 2;
}

}  // namespace su::conv
