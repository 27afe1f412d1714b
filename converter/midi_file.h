// A strict reader of Standard MIDI Files over a byte range. It accepts formats 0 and 1 (plain or inside a
// RIFF RMID wrapper), checks every declared length against the bytes that are really there, and merges the
// tracks into one stream ordered by absolute time (events of equal time keep track order, then file order).
// The merged stream is either kept whole (ReadMidiFile: the file checked and counted first, then the stream
// kept in one allocation of the exact size) or walked event by event (MergedEvents, over the tracks found by
// ScanMidiFile or, checking each event as it is merged, by FindMidiTracks).
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

// A file's tracks, found but not kept decoded: their events are read, merged, as they are walked
// (MergedEvents), so a conversion keeps nothing per event.
struct TrackSpan {
  const std::uint8_t* begin = nullptr;  // the MTrk body
  const std::uint8_t* end = nullptr;
};

struct MidiTracks {
  std::uint16_t format = 0;
  std::uint16_t trackCount = 0;
  std::uint16_t division = 0;
  std::uint32_t endTick = 0;
  std::size_t eventCount = 0;  // events of the merged stream (counted by ScanMidiFile only)
  std::size_t trackBytes = 0;  // the track bodies' bytes together
  const std::uint8_t* source = nullptr;
  std::vector<TrackSpan> tracks;
};

// Checks `size` bytes at `data` as ReadMidiFile does (same errors), counting instead of keeping the events.
MidiError ScanMidiFile(const std::uint8_t* data, std::size_t size, MidiTracks* tracks);

// Checks the header and chunks of `size` bytes at `data` and finds the tracks, leaving their events to be
// checked as they are merged (MergedEvents::error): a conversion then decodes every event once. `endTick` and
// `eventCount` are left 0.
MidiError FindMidiTracks(const std::uint8_t* data, std::size_t size, MidiTracks* tracks);

// The events of a scanned file in merged order (time, then track order, then file order), decoded as they are
// walked with the checks of ScanMidiFile. `tracks` must outlive it.
class MergedEvents {
 public:
  explicit MergedEvents(const MidiTracks& tracks);
  // The next event; false after the last, or at the first fault in the tracks.
  bool Next(MidiEvent* event) {
    if (winner_ == kNoKey) return false;
    const std::size_t track = static_cast<std::size_t>(winner_ & 0xFFFFu);
    Cursor& cursor = cursors_[track];
    *event = *cursor.next++;
    if (cursor.next != cursor.last) {
      Replay(track, std::uint64_t{cursor.next->tick} << 16 | track);
      return true;
    }
    // A fault can only show in a refill; it ends the walk.
    const bool more = Refill(cursor);
    Replay(track, more ? std::uint64_t{cursor.next->tick} << 16 | track : kNoKey);
    if (error_ != MidiError::None) winner_ = kNoKey;
    return true;
  }
  // Once Next has returned false: the fault that ended the walk (None when every event was read), and the
  // time of the latest end-of-track.
  MidiError error() const { return error_; }
  std::uint32_t endTick() const { return endTick_; }

 private:
  static constexpr std::uint64_t kNoKey = ~std::uint64_t{0};  // later than every key: a track with no events left
  // Events are decoded a few at a time per track, in a tight loop of their own, so that picking the next event
  // of the song does not wait for its decoding: up to 32 per track, and no more than 4096 in all, so that a
  // file of very many tracks does not make the merge large.
  static constexpr std::size_t kMaxBatch = 32;
  static constexpr std::size_t kMaxBatched = 4096;

  struct Cursor {
    const std::uint8_t* p;    // the track's undecoded rest
    const std::uint8_t* end;
    std::uint64_t time;
    std::uint8_t running;
    bool ended;       // the end-of-track has been read (or a fault)
    MidiEvent* next;  // decoded events not yet taken: [next, last)
    MidiEvent* last;
    MidiEvent* batch; // batch_ places
  };
  // Decodes the cursor's next events into its batch; false at the track's end.
  bool Refill(Cursor& cursor);
  // Puts the key of `track`'s new head (kNoKey once it has none) into the tournament and plays it up to the
  // top, leaving the earliest key in `winner_`.
  void Replay(std::size_t track, std::uint64_t key) {
    for (std::size_t node = (trackCount_ + track) >> 1; node > 0; node >>= 1) {
      const std::uint64_t held = losers_[node];
      losers_[node] = held > key ? held : key;
      key = held < key ? held : key;
    }
    winner_ = key;
  }

  const std::uint8_t* base_;
  std::size_t trackCount_;
  std::size_t batch_;
  std::vector<Cursor> cursors_;
  std::vector<MidiEvent> batches_;
  // A tournament over the tracks: each key is a head's time above its track's number, so one comparison orders
  // by time, then by track. losers_[n] (1 <= n < tracks) keeps the later key of the match played at node n,
  // whose children are nodes 2n and 2n + 1, track t being node tracks + t. The path from a track to the top
  // is fixed, so a replay costs one comparison per level and no search.
  std::vector<std::uint64_t> losers_;
  std::uint64_t winner_ = kNoKey;
  MidiError error_ = MidiError::None;
  std::uint32_t endTick_ = 0;
};

// A short English name for an error, for test messages.
const char* MidiErrorName(MidiError error);

// Number of data bytes that follow a channel status byte (1 for program change and channel pressure).
constexpr int ChannelDataLength(std::uint8_t status) {
  return ((status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0) ? 1 : 2;
}

}  // namespace su::conv
