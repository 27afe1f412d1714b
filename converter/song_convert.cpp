#include "converter/song_convert.h"

#include "converter/midi_file.h"

namespace su::conv {

BuildResult BuildSongImage(const std::uint8_t* data, std::size_t size, const std::string& fallbackTitle,
                           SongInfo* info, std::vector<std::uint8_t>* image) {
  MidiFile midi;
  if (ReadMidiFile(data, size, &midi) != MidiError::None) return BuildResult::NotMidi;
  info->title = SongTitleOf(midi, fallbackTitle);
  return WriteSongImage(midi, *info, image) ? BuildResult::Built : BuildResult::BadInfo;
}

}  // namespace su::conv
