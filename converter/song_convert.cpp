#include "converter/song_convert.h"

#include "converter/midi_file.h"

namespace su::conv {

BuildResult BuildSong(const std::uint8_t* data, std::size_t size, const std::string& fallbackTitle,
                      SongOutput output, SongInfo* info, std::vector<std::uint8_t>* bytes) {
  // The file's chunks are checked and its tracks found; their events are then checked and merged straight
  // into the output, each decoded once. Nothing is kept per event, so a conversion needs little more memory
  // than its input and its output.
  MidiTracks tracks;
  if (FindMidiTracks(data, size, &tracks) != MidiError::None) return BuildResult::NotMidi;
  return output == SongOutput::SongFile ? WriteSongFile(tracks, fallbackTitle, info, bytes)
                                        : WriteSongImage(tracks, fallbackTitle, info, bytes);
}

BuildResult BuildSongImage(const std::uint8_t* data, std::size_t size, const std::string& fallbackTitle,
                           SongInfo* info, std::vector<std::uint8_t>* image) {
  return BuildSong(data, size, fallbackTitle, SongOutput::Image, info, image);
}

}  // namespace su::conv
