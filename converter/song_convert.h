// The conversion itself, on bytes in memory: MIDI file in, song image out. ConvertSqfToPK wraps it with the
// reading and writing of files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "converter/song_image.h"

namespace su::conv {

enum class SongOutput {
  Image,     // the song image alone (.sq0)
  SongFile,  // the image inside the song-file header (.sq2)
};

// Reads the MIDI file in [data, data + size) and writes its song image, or the song file holding it, into
// `bytes`. The title is as for BuildSongImage.
BuildResult BuildSong(const std::uint8_t* data, std::size_t size, const std::string& fallbackTitle,
                      SongOutput output, SongInfo* info, std::vector<std::uint8_t>* bytes);

// Reads the MIDI file in [data, data + size) and writes its song image. The title is taken from the song
// (SongTitleOf), else from `fallbackTitle`; it is stored in `info->title`.
BuildResult BuildSongImage(const std::uint8_t* data, std::size_t size, const std::string& fallbackTitle,
                           SongInfo* info, std::vector<std::uint8_t>* image);

}  // namespace su::conv
