// Saving the song as a .sq2 song file: convert, ask where, copy, confirm.
#include "app/save_flow.h"

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "base/conversion.h"
#include "base/errors.h"
#include "base/messages.h"
#include "base/paths.h"
#include "base/run_state.h"
#include "base/screen.h"
#include "resources/resource.h"

namespace su {

namespace {

// Paths compared the way the file system of the program compares them: case and separator blind.
std::string Normalised(const std::string& path) {
  std::string out = path;
  for (char& c : out) c = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool ReadWhole(const std::string& path, std::vector<char>* bytes) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  char chunk[16384];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes->insert(bytes->end(), chunk, chunk + got);
  const bool ok = std::ferror(file) == 0;
  std::fclose(file);
  return ok;
}

// Writes `bytes` to `path` whole; a file that could not be written whole is removed again.
bool WriteWhole(const std::string& path, const std::vector<char>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = (std::fclose(file) == 0) && ok;
  if (!ok) std::remove(path.c_str());
  return ok;
}

// Copies the converted song file to the path the user chose, replacing a file of that name (the save dialog
// has already asked). The copy is written beside the target under another name first and only then takes
// the target's place, so a copy that fails leaves the file it was to replace as it was.
bool CopySongFile(const std::string& from, const std::string& to) {
  if (Normalised(from) == Normalised(to)) return true;
  // The user's own song file is never written, even when chosen by name in the save dialog.
  if (Normalised(to) == Normalised(Run().sourcePath)) return false;
  std::vector<char> bytes;
  if (!ReadWhole(from, &bytes)) return false;
  const std::string fresh = to + ".part";
  if (!WriteWhole(fresh, bytes)) return false;
  if (std::rename(fresh.c_str(), to.c_str()) == 0) return true;
  // Renaming onto an existing file fails on Windows: move the old file aside, and back if need be.
  const std::string old = to + ".old";
  if (std::rename(to.c_str(), old.c_str()) != 0) {
    std::remove(fresh.c_str());
    return false;
  }
  if (std::rename(fresh.c_str(), to.c_str()) != 0) {
    std::rename(old.c_str(), to.c_str());
    std::remove(fresh.c_str());
    return false;
  }
  std::remove(old.c_str());
  return true;
}

}  // namespace

int SaveSongFile() {
  RunState& run = Run();
  const std::string output = ConvertStagedSong("5", run.modelCode, ModelInfoArgument());

  // Only the file name is proposed, so the dialog opens in the system's default place.
  const std::string proposed = FitBuffer(SplitPath(run.stagedPath).name + ".sq2", kMaxPath + 1);
  std::string chosen;
  if (!TheScreen().AskSavePath(proposed, &chosen)) return 0;

  // A copy that fails is reported as a file error rather than confirmed as saved.
  if (!CopySongFile(output, chosen)) RaiseMessage(IDS_FILE_ERROR);
  ShowSavedMessage(chosen);
  return 1;
}

}  // namespace su
