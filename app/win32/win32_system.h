// The shell's operating-system services over the Windows kernel: the named mutex, the temporary path, file
// and directory calls, the tick count and sleeping.
#pragma once

#include <windows.h>

#include "app/shell_system.h"

namespace su {

class Win32ShellSystem : public ShellSystem {
 public:
  bool ClaimInstance() override;
  void ReleaseInstance() override;
  std::string TempPath() override;
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

 private:
  HANDLE instanceMutex_ = nullptr;
};

}  // namespace su
