#include "app/work_dir.h"

#include <vector>

#include "base/paths.h"
#include "base/run_state.h"
#include "app/shell_system.h"

namespace su {

int StageSourceFile() {
  RunState& run = Run();
  ShellSystem& system = TheSystem();
  if (!system.PathExists(run.sourcePath)) return 0;
  if (MakeWorkDirectory() == 0) return 0;
  run.stagedPath = StagedPathFor(run.workDir, run.sourcePath);
  run.stagedName = StagedNameFor(run.sourcePath);
  // The work directory's path may be longer than the song's folder: a copy whose path does not fit the path
  // field fails here, like a source path that is too long, rather than later in the copy or the converter.
  if (run.stagedPath.size() > kMaxPath) {
    RemoveWorkDirectory();
    run.stagedPath.clear();
    run.stagedName.clear();
    return 0;
  }
  // A failed copy is not looked at here: it shows up as a failed conversion later.
  system.CopyOver(run.sourcePath, run.stagedPath);
  return 1;
}

int MakeWorkDirectory() {
  RunState& run = Run();
  ShellSystem& system = TheSystem();
  for (int attempt = 0; attempt < kWorkDirAttempts; ++attempt) {
    // A new tick count on every attempt gives a new name when the last one was taken. Without a temporary
    // path the attempt fails: the name alone would make the folder at the root of the current drive.
    const std::string tempPath = system.TempPath();
    run.workDir = WorkDirPath(tempPath, system.Ticks());
    if (!tempPath.empty() && system.MakeDirectory(run.workDir)) {
      EmptyDirectory(run.workDir);
      return 1;
    }
    system.Pause(kWorkDirRetryMs);
  }
  run.workDir.clear();
  return 0;
}

void EmptyDirectory(const std::string& directory) {
  ShellSystem& system = TheSystem();
  const std::string folder = WithTrailingBackslash(directory);
  std::vector<std::string> names;
  if (!system.ListEntries(folder + "*.*", &names)) return;
  for (const std::string& name : names) {
    // "." and ".." name the folder itself and its parent (the system's temporary folder): their attributes
    // are not ours to change. Subdirectories fail to delete as files and simply stay.
    if (name == "." || name == "..") continue;
    const std::string path = folder + name;
    system.MakeNormal(path);
    system.RemoveFile(path);
  }
}

void RemoveWorkDirectory() {
  RunState& run = Run();
  if (run.workDir.empty()) return;
  EmptyDirectory(run.workDir);
  TheSystem().RemoveEmptyDirectory(run.workDir);
  run.workDir.clear();
}

}  // namespace su
