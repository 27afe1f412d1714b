// ConvertSqfToPK: reads the MIDI file, builds the song image and writes it (or the song file holding it)
// beside the input. Nothing is thrown out of the library: every failure is one of the four results.
#include "converter/sqfconv2.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "converter/file_name.h"
#include "converter/midi_file.h"
#include "converter/song_convert.h"
#include "converter/song_image.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace su::conv {

namespace {

// The title of a song that names itself nowhere: the input's file name without its extension, walked and cut
// by whole characters of the system's ANSI code page.
std::string BaseName(const std::string& path) { return TitleFromPath(path, kMaxTitleLength, SystemLeadByte); }

// Reads a whole regular file. Returns a converter result.
int ReadInput(const char* path, std::vector<std::uint8_t>* bytes) {
  struct stat status;
  if (stat(path, &status) != 0 || (status.st_mode & S_IFMT) != S_IFREG) return SQFCONV2_INPUT_MISSING;
  if (static_cast<std::uint64_t>(status.st_size) > kMaxMidiBytes) return SQFCONV2_INPUT_BROKEN;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return SQFCONV2_INPUT_MISSING;
  bytes->resize(static_cast<std::size_t>(status.st_size));
  const std::size_t got = bytes->empty() ? 0 : std::fread(bytes->data(), 1, bytes->size(), file);
  // A file that grew while we read it is still read only up to the size it had.
  const bool complete = got == bytes->size();
  std::fclose(file);
  return complete ? SQFCONV2_OK : SQFCONV2_INPUT_MISSING;
}

bool ReplaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

// Writes `bytes` under a temporary name beside `path` and renames it into place, so that a failure never
// leaves a partial output file.
bool WriteOutput(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const std::string temporary = path + ".part";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = (std::fclose(file) == 0) && ok;
  if (ok) ok = ReplaceFile(temporary, path);
  if (!ok) std::remove(temporary.c_str());
  return ok;
}

int Convert(const char* inputPath, const char* outputKind, const char* modelCode, const char* modelInfo) {
  if (inputPath == nullptr || *inputPath == '\0') return SQFCONV2_INPUT_MISSING;
  if (outputKind == nullptr) return SQFCONV2_FAILED;
  const bool songFile = std::strcmp(outputKind, "5") == 0;
  if (!songFile && std::strcmp(outputKind, "4") != 0) return SQFCONV2_FAILED;

  SongInfo info;
  info.modelCode = modelCode != nullptr ? modelCode : "";
  info.modelInfo = modelInfo != nullptr ? modelInfo : "";
  if (info.modelCode.size() > kMaxModelCodeLength || info.modelInfo.size() > kMaxModelInfoLength) {
    return SQFCONV2_FAILED;
  }
  info.padToWords = IsWordModel(info.modelCode);

  const std::string input = inputPath;
  const std::string output = WithExtension(input, songFile ? ".sq2" : ".sq0", SystemLeadByte);
  std::vector<std::uint8_t> bytes;
  const int readResult = ReadInput(inputPath, &bytes);
  if (readResult != SQFCONV2_OK) return readResult;
  if (output == input) return SQFCONV2_FAILED;  // never write over the input

  std::vector<std::uint8_t> song;
  const BuildResult built = BuildSong(bytes.data(), bytes.size(), BaseName(input),
                                      songFile ? SongOutput::SongFile : SongOutput::Image, &info, &song);
  if (built == BuildResult::NotMidi) return SQFCONV2_INPUT_BROKEN;
  if (built != BuildResult::Built) return SQFCONV2_FAILED;
  return WriteOutput(output, song) ? SQFCONV2_OK : SQFCONV2_FAILED;
}

}  // namespace

}  // namespace su::conv

extern "C" int ConvertSqfToPK(const char* inputPath, const char* outputKind, const char* modelCode,
                              const char* modelInfo) {
  try {
    return su::conv::Convert(inputPath, outputKind, modelCode, modelInfo);
  } catch (...) {
    // Out of memory, mostly: the caller gets a plain failure, never an exception across the boundary.
    return SQFCONV2_FAILED;
  }
}
