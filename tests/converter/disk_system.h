// The shell's file services over this machine's own file system, for the tests that convert real files and
// save them: identities are the device and inode numbers (a second hard link is the same file), read-only is
// a file without its owner's write permission. A test overrides a call to make it fail.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/shell_system.h"

namespace su::test {

class DiskSystem : public ShellSystem {
 public:
  bool ClaimInstance() override { return true; }
  void ReleaseInstance() override {}
  std::string TempPath() override { return std::filesystem::temp_directory_path().string() + "/"; }
  bool PathExists(const std::string& path) override { return std::filesystem::exists(path); }
  bool MakeDirectory(const std::string& path) override { return mkdir(path.c_str(), 0777) == 0; }
  // `pattern` is a folder followed by "*.*", as the work directory asks.
  bool ListEntries(const std::string& pattern, std::vector<std::string>* names) override {
    std::error_code error;
    std::filesystem::directory_iterator entries(pattern.substr(0, pattern.size() - 3), error);
    if (error) return false;
    names->insert(names->end(), {".", ".."});
    for (const auto& entry : entries) names->push_back(entry.path().filename().string());
    return true;
  }
  bool MakeNormal(const std::string& path) override { return chmod(path.c_str(), 0666) == 0; }
  bool RemoveFile(const std::string& path) override { return std::remove(path.c_str()) == 0; }
  bool RemoveEmptyDirectory(const std::string& path) override { return rmdir(path.c_str()) == 0; }
  bool CopyOver(const std::string& from, const std::string& to) override {
    std::error_code error;
    return std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error);
  }
  bool IdentityOf(const std::string& path, FileIdentity* identity) override {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) return false;
    *identity = {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
    return true;
  }
  bool IsReadOnlyFile(const std::string& path) override {
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && (status.st_mode & S_IWUSR) == 0;
  }
  bool CreateNewFile(const std::string& path) override {
    const int file = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0666);
    return file >= 0 && close(file) == 0;
  }
  bool ReplaceWith(const std::string& target, const std::string& replacement) override {
    return std::rename(replacement.c_str(), target.c_str()) == 0;
  }
  std::uint32_t Ticks() override { return ++ticks_; }
  void Pause(std::uint32_t) override {}

 private:
  std::uint32_t ticks_ = 0;
};

// Installs a system for the life of a test.
struct ScopedDiskSystem {
  explicit ScopedDiskSystem(ShellSystem& system) { SetSystem(&system); }
  ~ScopedDiskSystem() { SetSystem(nullptr); }
};

}  // namespace su::test
