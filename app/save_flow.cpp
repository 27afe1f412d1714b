// Saving the song as a .sq2 song file: convert, ask where, copy, confirm.
#include "app/save_flow.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/shell_system.h"
#include "base/code_page.h"
#include "base/conversion.h"
#include "base/errors.h"
#include "base/messages.h"
#include "base/paths.h"
#include "base/run_state.h"
#include "app/dialog_screen.h"
#include "resources/message_numbers.h"

namespace su {

namespace {

// Names tried for the copy beside the target before giving up.
constexpr int kFreshNameAttempts = 64;

bool SameFile(ShellSystem& system, const std::string& a, const std::string& b) {
  FileIdentity first, second;
  return system.IdentityOf(a, &first) && system.IdentityOf(b, &second) && first == second;
}

// True when `target` lies in the work directory or in a folder below it: such a file would be deleted with
// the work directory at the end of the run. Each folder above the target is compared by identity, and by its
// text as well for a folder whose identity cannot be had.
bool IsInsideWorkDirectory(ShellSystem& system, const std::string& target) {
  const std::string& workDir = Run().workDir;
  if (workDir.empty()) return false;
  const std::string workText = FoldCase(workDir);
  FileIdentity work;
  const bool workKnown = system.IdentityOf(workDir, &work);
  for (std::string folder = ParentFolder(target), above; !folder.empty(); folder = above) {
    FileIdentity identity;
    if (FoldCase(folder) == workText) return true;
    if (workKnown && system.IdentityOf(folder, &identity) && identity == work) return true;
    above = ParentFolder(folder);
    if (above.size() >= folder.size()) break;  // a drive or the root: nothing above it
  }
  return false;
}

// Creates a new, empty file beside `target` under a name no longer than the target's own (so a target that
// fits the path field never fails for its copy's name), and returns its path; empty when none could be made.
std::string NewFileBeside(ShellSystem& system, const std::string& target) {
  const PathParts parts = SplitPath(target);
  const std::string ownName = parts.name + parts.extension;
  // "~" and up to eight hex digits; a one-letter target gets one digit alone.
  const std::string mark = ownName.size() >= 2 ? "~" : "";
  const std::size_t digits = std::clamp<std::size_t>(ownName.size() - mark.size(), 1, 8);
  std::uint32_t seed = system.Ticks();
  for (int attempt = 0; attempt < kFreshNameAttempts; ++attempt, seed = seed * 1103515245u + 12345u) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(seed));
    const std::string name = mark + std::string(hex + 8 - digits);
    if (FoldCase(name) == FoldCase(ownName)) continue;
    const std::string path = parts.drive + parts.directory + name;
    if (system.CreateNewFile(path)) return path;
  }
  return std::string();
}

// Puts the converted song file at the path the user chose, replacing a file of that name (the save dialog
// has already asked). The song is copied into a new file beside the target, which then takes the target's
// place in one step, so the target holds either its old content or the whole new song, and nothing else is
// left in its folder. Raises message 44 for every way this cannot be done.
void PutSongFile(const std::string& from, const std::string& to) {
  ShellSystem& system = TheSystem();
  // A file in the work directory goes with it at the end of the run: "Saved." would report a loss.
  if (IsInsideWorkDirectory(system, to)) RaiseMessage(IDS_FILE_ERROR);
  // The user's own song is never written, however its path is spelt in the save dialog.
  if (SameFile(system, to, Run().sourcePath)) RaiseMessage(IDS_FILE_ERROR);
  // A read-only file is left as it is: the mark is the user's own protection, which the system's copy
  // call respects too.
  if (system.IsReadOnlyFile(to)) RaiseMessage(IDS_FILE_ERROR);
  const std::string fresh = NewFileBeside(system, to);
  if (fresh.empty()) RaiseMessage(IDS_FILE_ERROR);
  if (!system.CopyOver(from, fresh) || !system.ReplaceWith(to, fresh)) {
    system.RemoveFile(fresh);
    RaiseMessage(IDS_FILE_ERROR);
  }
}

}  // namespace

int SaveSongFile() {
  RunState& run = Run();
  const std::string output = ConvertStagedSong("5", run.modelCode, ModelInfoArgument());

  // Only the file name is proposed, so the dialog opens in the system's default place.
  const std::string proposed = FitBuffer(SplitPath(run.stagedPath).name + ".sq2", kMaxPath + 1);
  std::string chosen;
  if (!TheDialogScreen().AskSavePath(proposed, &chosen)) return 0;

  // A copy that fails is reported as a file error rather than confirmed as saved.
  PutSongFile(output, chosen);
  ShowSavedMessage(chosen);
  return 1;
}

}  // namespace su
