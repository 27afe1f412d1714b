// The operating-system services of the run sequence and the work directory: the single-instance mutex,
// the temporary path, files and directories, the tick count and sleeping. The Windows program implements it
// with the kernel's calls; tests implement it over an in-memory file tree and a virtual tick count.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace su {

// The name of the mutex that keeps a second instance from running. The installer and uninstaller look for it
// by this name to stop while the program runs (installer/songuploader.nsi): change both together.
constexpr const char* kInstanceMutexName = "7C1F4A92-3B5E-4D08-A6C3-91E2F05B7D4A";

// What makes a file or folder itself, whatever its path is spelt like (letter case, a short 8.3 name, a
// second link): the volume's serial number and the file's index on it.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileIdentity& other) const { return volume == other.volume && index == other.index; }
};

class ShellSystem {
 public:
  virtual ~ShellSystem() = default;

  // Creates the named mutex asking for initial ownership and keeps its handle. False when no handle came
  // back or the name already existed (another instance runs); a handle that did come back is still kept.
  virtual bool ClaimInstance() = 0;
  // Releases the mutex and closes its handle when one is kept; harmless otherwise.
  virtual void ReleaseInstance() = 0;

  // The system's temporary-files path (a 260-byte buffer), as the system gives it.
  virtual std::string TempPath() = 0;
  // True when the file system reports a status for `path` (a file or a directory).
  virtual bool PathExists(const std::string& path) = 0;
  // Creates one directory with default security.
  virtual bool MakeDirectory(const std::string& path) = 0;
  // The names of the entries matching `pattern` ("." and ".." included, as the system lists them);
  // false when the enumeration cannot start.
  virtual bool ListEntries(const std::string& pattern, std::vector<std::string>* names) = 0;
  // Sets the attributes to normal only (this clears read-only). Failures are ignored by every caller.
  virtual bool MakeNormal(const std::string& path) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
  virtual bool RemoveEmptyDirectory(const std::string& path) = 0;
  // Copies a file, replacing a file of the target's name.
  virtual bool CopyOver(const std::string& from, const std::string& to) = 0;
  // The identity of an existing file or folder; false when there is none to be had.
  virtual bool IdentityOf(const std::string& path, FileIdentity* identity) = 0;
  // True when `path` is an existing file that is marked read-only.
  virtual bool IsReadOnlyFile(const std::string& path) = 0;
  // Creates `path` as a new, empty file; false when a file of that name exists or it cannot be made.
  virtual bool CreateNewFile(const std::string& path) = 0;
  // Moves `replacement` into the place of `target` in one step of the file system, replacing a file of the
  // target's name: the target then holds either its old content or the whole replacement.
  virtual bool ReplaceWith(const std::string& target, const std::string& replacement) = 0;

  virtual std::uint32_t Ticks() = 0;  // milliseconds since the system started; wraps at 2^32
  virtual void Pause(std::uint32_t ms) = 0;
};

ShellSystem& TheSystem();
void SetSystem(ShellSystem* system);

}  // namespace su
