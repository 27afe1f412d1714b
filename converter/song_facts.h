// What a song is, read from its MIDI file without converting it: its tracks, its notes and how long it plays
// (the tempo map applied to its last tick). A front end shows these beside the song's size on the keyboard.
#pragma once

#include <cstddef>
#include <cstdint>

#include "converter/midi_file.h"

namespace su::conv {

struct SongFacts {
  std::uint16_t format = 0;
  std::uint16_t trackCount = 0;
  std::uint64_t noteCount = 0;    // note-ons with a velocity above 0
  std::uint64_t lengthMs = 0;     // from the start to the latest end of a track
};

// Reads the MIDI file in [data, data + size) as the converter does (same checks, same errors) and fills
// `facts`. Without a tempo event the song plays at 120 beats a minute.
MidiError ReadSongFacts(const std::uint8_t* data, std::size_t size, SongFacts* facts);

}  // namespace su::conv
