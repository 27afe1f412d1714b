#include "base/win32/settings_profile_win32.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/settings_profile.h"

namespace su {

namespace {

std::wstring Widened(const std::string& text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

// The settings file beside the program by the program's wide path; empty when that path cannot be had whole.
std::wstring WideSettingsPath() {
  std::vector<wchar_t> path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return {};
  const std::wstring program(path.data(), length);
  const std::size_t separator = program.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return {};
  return program.substr(0, separator + 1) + L"SongUploader.INI";
}

// The settings are read and written through the wide profile calls. The program's folder may be named in
// letters the ANSI code page cannot hold (the default folder lies in the user's profile, named after the
// user): the narrow path then has "?" in their place and names no file, so the settings file beside the
// program is reached by the program's own wide path.
class Win32ProfileFile : public ProfileFile {
 public:
  std::string ProgramPath() override {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    path[MAX_PATH - 1] = '\0';  // a path too long for the buffer comes back cut, as the platform gives it
    narrowProgram_ = length == 0 ? std::string() : std::string(path);
    wideSettings_ = length == 0 ? std::wstring() : WideSettingsPath();
    return narrowProgram_;
  }
  int ReadInt(const std::string& section, const std::string& key, int fallback,
              const std::string& file) override {
    return static_cast<int>(
        GetPrivateProfileIntW(Widened(section).c_str(), Widened(key).c_str(), fallback, WideFile(file).c_str()));
  }
  void WriteString(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& file) override {
    WritePrivateProfileStringW(Widened(section).c_str(), Widened(key).c_str(), Widened(value).c_str(),
                               WideFile(file).c_str());
  }

 private:
  // The settings file beside the program by its wide path; any other file by its narrow name.
  std::wstring WideFile(const std::string& file) const {
    if (!wideSettings_.empty() && !narrowProgram_.empty() && file == SettingsPathFor(narrowProgram_)) {
      return wideSettings_;
    }
    return Widened(file);
  }

  std::string narrowProgram_;
  std::wstring wideSettings_;
};

}  // namespace

void InstallWin32Settings() {
  static Win32ProfileFile profile;
  InstallProfileFile(&profile);
}

}  // namespace su
