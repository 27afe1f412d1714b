// The user's song copied into a folder of the command's own, where the converter writes beside it: the
// user's own file is only ever read.
#pragma once

#include <filesystem>
#include <string>

#include "cli/console.h"

namespace su::cli {

// The converter's output kinds: the song file that convert writes, and the song image a send delivers.
constexpr char kSongFileKind[] = "5";
constexpr char kSongImageKind[] = "4";

// The user's song copied into a fresh folder of its own (only the user may enter it), where the converter
// writes beside it; the folder goes away with this object. "-" is standard input, named "Song" on the
// keyboard; a pipe or another file that is not a regular one is read whole first.
class StagedSong {
 public:
  StagedSong(const std::string& song, const Console& console);
  ~StagedSong();
  StagedSong(const StagedSong&) = delete;
  StagedSong& operator=(const StagedSong&) = delete;

  // Where the song was staged (the converter writes beside it).
  const std::string& Path() const { return path_; }

 private:
  std::filesystem::path folder_;
  std::string path_;
};

}  // namespace su::cli
