// The remembered keyboards (transfer/keyboard_memory.h) in a file under the user's own state folder, as the
// Windows program and the command line keep them. The page keeps them in its browser's storage instead, and
// builds without this file (no file streams in its core).
#pragma once

#include <filesystem>
#include <string>

#include "transfer/keyboard_memory.h"

namespace su {

// The text in one file of its own, written whole into a file beside it and renamed into place, so that a
// failure never leaves half an entry; the folder is made when missing.
class FileStateStore : public KeyboardStateStore {
 public:
  explicit FileStateStore(std::filesystem::path file) : file_(std::move(file)) {}
  bool Read(std::string* text) override;
  bool Write(const std::string& text) override;

 private:
  std::filesystem::path file_;
};

// The file of remembered keyboards under the user's own state folder: %LOCALAPPDATA%\SongUploader\ on Windows,
// $XDG_STATE_HOME/songuploader/ (else ~/.local/state/songuploader/) elsewhere. Empty when the environment names
// no such folder.
std::filesystem::path KeyboardStateFile();

}  // namespace su
