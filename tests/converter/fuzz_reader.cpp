// Fuzz target for the converter's readers: any bytes go through the MIDI reader; what it accepts must turn
// into an image that decodes to the same events, and the image and song-file readers get the raw bytes too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "converter/midi_file.h"
#include "converter/song_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace su::conv;
  MidiFile file;
  if (ReadMidiFile(data, size, &file) == MidiError::None) {
    SongInfo info;
    info.title = SongTitleOf(file, "fuzz");
    info.padToWords = size % 2 == 0;
    std::vector<std::uint8_t> image;
    if (!WriteSongImage(file, info, &image)) std::abort();
    SongImage decoded;
    if (!ReadSongImage(image.data(), image.size(), &decoded)) std::abort();
    if (decoded.events != SongEventsOf(file) || decoded.title != info.title) std::abort();
    if (decoded.endTick != file.endTick || decoded.division != file.division) std::abort();
  }
  SongImage image;
  ReadSongImage(data, size, &image);
  std::string title;
  ReadSongImageTitle(data, size, &title);
  std::size_t offset = 0, length = 0;
  if (ReadSongFile(data, size, &offset, &length) && offset + length != size) std::abort();
  return 0;
}
