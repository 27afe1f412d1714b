// Fuzz target for the converter's readers: any bytes go through the MIDI reader; what it accepts must turn
// into an image that decodes to the same events, and the image and song-file readers get the raw bytes too.
// The conversion itself checks events only as it merges them: it must accept exactly what the reader accepts
// and write the same image.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "converter/midi_file.h"
#include "converter/song_convert.h"
#include "converter/song_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace su::conv;
  MidiFile file;
  SongInfo converted;
  converted.padToWords = size % 2 == 0;
  std::vector<std::uint8_t> convertedImage;
  const bool built = BuildSongImage(data, size, "fuzz", &converted, &convertedImage) == BuildResult::Built;
  const bool read = ReadMidiFile(data, size, &file) == MidiError::None;
  if (built != read) std::abort();
  if (read) {
    SongInfo info;
    info.title = SongTitleOf(file, "fuzz");
    info.padToWords = size % 2 == 0;
    std::vector<std::uint8_t> image;
    if (!WriteSongImage(file, info, &image)) std::abort();
    if (image != convertedImage || converted.title != info.title) std::abort();
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
