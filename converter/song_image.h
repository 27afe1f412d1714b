// Our song format: the song image (what a keyboard receives, the .sq0 file) and the song file (the .sq2 file:
// the image inside a small checksummed header). docs/song-format.md describes the byte layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "converter/midi_file.h"

namespace su::conv {

constexpr std::uint8_t kImageVersion = 1;
constexpr std::uint8_t kSongFileVersion = 1;
constexpr std::size_t kImageHeaderSize = 20;
constexpr std::size_t kSongFileHeaderSize = 16;
constexpr std::size_t kMaxTitleLength = 64;
constexpr std::size_t kMaxModelCodeLength = 2;
constexpr std::size_t kMaxModelInfoLength = 8;
constexpr std::uint8_t kImageFlagPadded = 0x01;

// One event the image keeps: a channel message, a tempo (FF 51, 3 bytes) or a time signature (FF 58, 4 bytes).
struct SongEvent {
  std::uint32_t tick = 0;
  std::uint8_t status = 0;  // 0x80..0xEF, or 0xFF for the two meta kinds
  std::uint8_t type = 0;    // meta type (0x51 or 0x58); 0 for channel messages
  std::uint8_t size = 0;    // data bytes used in `data`
  std::uint8_t data[4] = {0, 0, 0, 0};

  friend bool operator==(const SongEvent& a, const SongEvent& b);
  friend bool operator!=(const SongEvent& a, const SongEvent& b) { return !(a == b); }
};

// What the image records besides the events.
struct SongInfo {
  std::string title;      // at most kMaxTitleLength bytes
  std::string modelCode;  // at most kMaxModelCodeLength characters
  std::string modelInfo;  // at most kMaxModelInfoLength characters
  bool padToWords = false;  // the image goes to a keyboard that takes 16-bit words: make its length even
};

// A decoded image.
struct SongImage {
  std::uint8_t version = 0;
  std::uint16_t division = 0;
  std::uint32_t endTick = 0;
  std::string title;
  std::string modelCode;
  std::string modelInfo;
  bool padded = false;
  std::vector<SongEvent> events;
};

// The events of a MIDI file that an image keeps, in merged order.
std::vector<SongEvent> SongEventsOf(const MidiFile& file);

// The title a song gets: the first sequence or track name made of printable characters (trimmed, cut to
// kMaxTitleLength), else `fallback` cut to the same length.
std::string SongTitleOf(const MidiFile& file, const std::string& fallback);

// Whether a model code names a keyboard that takes song data as 16-bit words.
bool IsWordModel(const std::string& modelCode);

// Builds the image of `file`. Returns false when the strings exceed their limits.
bool WriteSongImage(const MidiFile& file, const SongInfo& info, std::vector<std::uint8_t>* image);

enum class BuildResult {
  Built,    // the image (or song file) is written
  NotMidi,  // the bytes are not a valid, convertible MIDI file
  BadInfo,  // the model code or model info is too long
};

// The same image from a file's tracks (from FindMidiTracks or ScanMidiFile), whose events are checked and
// merged as they are written, with the title found on the way (as SongTitleOf would find it, else
// `fallbackTitle`) and stored in `info->title`.
BuildResult WriteSongImage(const MidiTracks& tracks, const std::string& fallbackTitle, SongInfo* info,
                           std::vector<std::uint8_t>* image);

// Decodes an image; false for anything that is not a complete, well-formed image. Never reads past the end.
bool ReadSongImage(const std::uint8_t* data, std::size_t size, SongImage* image);

// Reads only the title of an image (cheap); false when the header is damaged.
bool ReadSongImageTitle(const std::uint8_t* data, std::size_t size, std::string* title);

// Wraps an image in the song-file header.
std::vector<std::uint8_t> WriteSongFile(const std::vector<std::uint8_t>& image);

// The song file of a file's tracks, the image written straight behind the header's place (no copy of it);
// otherwise as WriteSongImage.
BuildResult WriteSongFile(const MidiTracks& tracks, const std::string& fallbackTitle, SongInfo* info,
                          std::vector<std::uint8_t>* file);

// Checks a song file's header and checksum; on success sets the image's position inside `data`.
bool ReadSongFile(const std::uint8_t* data, std::size_t size, std::size_t* imageOffset,
                  std::size_t* imageSize);

// The standard CRC-32 (reflected polynomial 0xEDB88320, initial and final value 0xFFFFFFFF).
std::uint32_t SongCrc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);

}  // namespace su::conv
