#include "converter/song_facts.h"

namespace su::conv {

namespace {

constexpr std::uint8_t kMetaTempo = 0x51;
constexpr std::uint32_t kDefaultTempo = 500000;  // microseconds a quarter note: 120 beats a minute

// Microseconds for `ticks` at `tempo` microseconds a quarter note (or, for SMPTE time, at the frame rate).
std::uint64_t TicksToMicroseconds(std::uint64_t ticks, std::uint32_t tempo, std::uint16_t division) {
  if ((division & 0x8000u) != 0) {
    // SMPTE: the high byte is minus the frames a second (29 means 29.97), the low byte ticks a frame.
    const int frames = -static_cast<int>(static_cast<std::int8_t>(division >> 8));
    const std::uint64_t perFrame = division & 0xFFu;
    const std::uint64_t ticksPerSecondTimes100 = (frames == 29 ? 2997u : static_cast<std::uint64_t>(frames) * 100u) * perFrame;
    return ticksPerSecondTimes100 == 0 ? 0 : ticks * 100000000u / ticksPerSecondTimes100;
  }
  return division == 0 ? 0 : ticks * tempo / division;
}

}  // namespace

MidiError ReadSongFacts(const std::uint8_t* data, std::size_t size, SongFacts* facts) {
  *facts = SongFacts{};
  MidiTracks tracks;
  const MidiError found = FindMidiTracks(data, size, &tracks);
  if (found != MidiError::None) return found;

  SongFacts read;
  read.format = tracks.format;
  read.trackCount = tracks.trackCount;
  std::uint32_t tempo = kDefaultTempo;
  std::uint32_t tick = 0;           // where the time below was last brought up to
  std::uint64_t microseconds = 0;
  MergedEvents events(tracks);
  MidiEvent event;
  while (events.Next(&event)) {
    if (event.kind == MidiKind::Channel && (event.status & 0xF0u) == 0x90u && event.data2 > 0) ++read.noteCount;
    if (event.kind == MidiKind::Meta && event.data1 == kMetaTempo && event.length == 3) {
      microseconds += TicksToMicroseconds(event.tick - tick, tempo, tracks.division);
      tick = event.tick;
      const std::uint8_t* p = tracks.source + event.offset;
      const std::uint32_t value = std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
      if (value != 0) tempo = value;
    }
  }
  if (events.error() != MidiError::None) return events.error();
  const std::uint32_t end = events.endTick() > tick ? events.endTick() : tick;
  microseconds += TicksToMicroseconds(end - tick, tempo, tracks.division);
  read.lengthMs = microseconds / 1000;
  *facts = read;
  return MidiError::None;
}

}  // namespace su::conv
