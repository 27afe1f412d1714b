// An in-memory file tree, a mutex flag and a virtual tick count behind the shell's system services.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/shell_system.h"

namespace su::test {

class FakeShellSystem : public ShellSystem {
 public:
  struct File {
    std::string bytes;
    bool readOnly = false;
  };

  // --- the world ---
  bool otherInstanceRunning = false;
  std::string tempPath = "C:\\Temp\\";
  std::uint32_t ticks = 5000;
  std::uint32_t ticksPerCall = 1;     // the tick count moves on by this much at every look
  std::set<std::string> directories;  // full paths, each ending with a backslash
  std::map<std::string, File> files;  // full paths
  std::set<std::string> refusedDirectories;  // directory paths that cannot be made (the name is taken)

  // --- the record ---
  bool mutexHeld = false;
  int mutexReleases = 0;
  std::vector<std::uint32_t> pauses;
  std::vector<std::string> madeNormal;  // every path whose attributes were reset, in order

  bool ClaimInstance() override;
  void ReleaseInstance() override;
  std::string TempPath() override { return tempPath; }
  bool PathExists(const std::string& path) override;
  bool MakeDirectory(const std::string& path) override;
  bool ListEntries(const std::string& pattern, std::vector<std::string>* names) override;
  bool MakeNormal(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  bool RemoveEmptyDirectory(const std::string& path) override;
  bool CopyOver(const std::string& from, const std::string& to) override;
  bool IdentityOf(const std::string& path, FileIdentity* identity) override;
  bool IsReadOnlyFile(const std::string& path) override;
  bool CreateNewFile(const std::string& path) override;
  bool ReplaceWith(const std::string& target, const std::string& replacement) override;
  std::uint32_t Ticks() override;
  void Pause(std::uint32_t ms) override;

  // Files and directories directly inside `directory` (a path ending with a backslash).
  std::vector<std::string> Inside(const std::string& directory) const;
};

// Installs a FakeShellSystem as TheSystem() for the life of a test.
class ScopedSystem {
 public:
  explicit ScopedSystem(FakeShellSystem& system) { SetSystem(&system); }
  ~ScopedSystem() { SetSystem(nullptr); }
  ScopedSystem(const ScopedSystem&) = delete;
  ScopedSystem& operator=(const ScopedSystem&) = delete;
};

}  // namespace su::test
