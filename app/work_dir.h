// The work directory: a fresh directory under the temporary path, named after the tick count, that holds
// the staged copy of the user's song and the converter's output, and is emptied and removed at the end.
#pragma once

#include <string>

namespace su {

constexpr int kWorkDirAttempts = 10;
constexpr unsigned kWorkDirRetryMs = 1000;

// Copies Run().sourcePath into a new work directory; sets workDir, stagedPath and stagedName.
// 1 on success; 0 when the source has no status, no directory could be made, or the copy's path would be
// longer than kMaxPath (then no work directory is left).
int StageSourceFile();
// 1 with Run().workDir set; 0 after ten failed attempts one second apart, with workDir empty.
int MakeWorkDirectory();
// Deletes the files directly inside `directory`; subdirectories and failures are left as they are.
void EmptyDirectory(const std::string& directory);
// Empties and removes the work directory and clears workDir; nothing when there is none.
void RemoveWorkDirectory();

}  // namespace su
