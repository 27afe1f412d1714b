#include "converter/song_convert.h"

#include "converter/midi_file.h"

namespace su::conv {

BuildResult BuildSongImage(const std::uint8_t* data, std::size_t size, const std::string& fallbackTitle,
                           SongInfo* info, std::vector<std::uint8_t>* image) {
  // The file is checked and counted, then its tracks are merged straight into the image: nothing is kept
  // per event, so a conversion needs little more memory than its input and its output.
  MidiTracks tracks;
  if (ScanMidiFile(data, size, &tracks) != MidiError::None) return BuildResult::NotMidi;
  return WriteSongImage(tracks, fallbackTitle, info, image) ? BuildResult::Built : BuildResult::BadInfo;
}

}  // namespace su::conv
