#include "base/conversion.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "base/converter.h"
#include "base/errors.h"
#include "base/paths.h"
#include "base/run_state.h"
#include "base/screen.h"
#include "resources/message_numbers.h"

namespace su {

std::string ConvertedPathFor(const std::string& stagedPath, const char* outputKind) {
  const PathParts parts = SplitPath(stagedPath);
  const bool songFile = outputKind != nullptr && std::strcmp(outputKind, "5") == 0;
  return parts.drive + parts.directory + parts.name + (songFile ? ".sq2" : ".sq0");
}

std::string ModelInfoArgument() {
  const RunState& run = Run();
  return run.modelInfoValid == 1 ? run.modelInfo : std::string();
}

bool IsExistingFile(const std::string& path) {
  struct stat status;
  return !path.empty() && stat(path.c_str(), &status) == 0 && (status.st_mode & S_IFMT) == S_IFREG;
}

std::string ConvertStagedSong(const char* outputKind, const std::string& modelCode,
                              const std::string& modelInfo) {
  const std::string& stagedPath = Run().stagedPath;
  const std::string output = ConvertedPathFor(stagedPath, outputKind);

  Screen& screen = TheScreen();
  screen.ShowConvertingBox();
  const int result = ConvertSqfToPK(stagedPath.c_str(), outputKind, modelCode.c_str(), modelInfo.c_str());
  screen.CloseConvertingBox();

  if (result == SQFCONV2_INPUT_MISSING) RaiseMessage(IDS_DATA_NOT_FOUND);
  if (result == SQFCONV2_INPUT_BROKEN) RaiseMessage(IDS_FILE_BROKEN);
  if (result != SQFCONV2_OK) RaiseMessage(IDS_FILE_ERROR);
  if (!IsExistingFile(output)) RaiseMessage(IDS_DATA_NOT_FOUND);
  return output;
}

int LoadSongImage() {
  RunState& run = Run();
  std::FILE* file = nullptr;
  struct stat status;
  if (stat(run.convertedPath.c_str(), &status) == 0) {
    run.songImageSize = static_cast<std::uint32_t>(static_cast<std::uint64_t>(status.st_size));
    run.songImage.reset(new (std::nothrow) std::uint8_t[run.songImageSize]);
    if (run.songImage != nullptr) file = std::fopen(run.convertedPath.c_str(), "rb");
    if (file != nullptr) {
      const std::size_t got =
          run.songImageSize == 0 ? 0 : std::fread(run.songImage.get(), 1, run.songImageSize, file);
      std::fclose(file);
      if (got == run.songImageSize) return 1;
    }
  }
  ReleaseSongImage(run);
  return 0;
}

void LoadSongImageToSend() {
  // An image that cannot be read, or holds nothing, would otherwise be announced to the keyboard as a song
  // of 0 bytes, which it cannot take.
  if (LoadSongImage() == 0 || Run().songImageSize == 0) RaiseMessage(IDS_FILE_ERROR);
}

}  // namespace su
