#include "base/win32/settings_profile_win32.h"

#include <windows.h>

#include "base/settings_profile.h"

namespace su {

namespace {

class Win32ProfileFile : public ProfileFile {
 public:
  std::string ProgramPath() override {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    path[MAX_PATH - 1] = '\0';  // a path too long for the buffer comes back cut, as the platform gives it
    return length == 0 ? std::string() : std::string(path);
  }
  int ReadInt(const std::string& section, const std::string& key, int fallback,
              const std::string& file) override {
    return static_cast<int>(GetPrivateProfileIntA(section.c_str(), key.c_str(), fallback, file.c_str()));
  }
  void WriteString(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& file) override {
    WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str());
  }
};

}  // namespace

void InstallWin32Settings() {
  static Win32ProfileFile profile;
  InstallProfileFile(&profile);
}

}  // namespace su
