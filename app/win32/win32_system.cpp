#include "app/win32/win32_system.h"

namespace su {

bool Win32ShellSystem::ClaimInstance() {
  instanceMutex_ = CreateMutexA(nullptr, TRUE, kInstanceMutexName);
  if (instanceMutex_ == nullptr) return false;
  return GetLastError() != ERROR_ALREADY_EXISTS;
}

void Win32ShellSystem::ReleaseInstance() {
  if (instanceMutex_ == nullptr) return;
  // Fails harmlessly in a second instance, which never owned it.
  ReleaseMutex(instanceMutex_);
  CloseHandle(instanceMutex_);
  instanceMutex_ = nullptr;
}

std::string Win32ShellSystem::TempPath() {
  char buffer[MAX_PATH] = {};
  const DWORD length = GetTempPathA(sizeof buffer, buffer);
  if (length == 0 || length >= sizeof buffer) return std::string();
  return std::string(buffer, length);
}

bool Win32ShellSystem::PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Win32ShellSystem::MakeDirectory(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

bool Win32ShellSystem::ListEntries(const std::string& pattern, std::vector<std::string>* names) {
  WIN32_FIND_DATAA entry{};
  HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    names->emplace_back(entry.cFileName);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return true;
}

bool Win32ShellSystem::MakeNormal(const std::string& path) {
  return SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL) != FALSE;
}

bool Win32ShellSystem::RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != FALSE; }

bool Win32ShellSystem::RemoveEmptyDirectory(const std::string& path) {
  return RemoveDirectoryA(path.c_str()) != FALSE;
}

bool Win32ShellSystem::CopyOver(const std::string& from, const std::string& to) {
  return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
}

bool Win32ShellSystem::IdentityOf(const std::string& path, FileIdentity* identity) {
  // Opened only to read its attributes, shared every way, and with backup semantics so that a folder opens too.
  HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(file, &info) != FALSE;
  CloseHandle(file);
  if (!known) return false;
  identity->volume = info.dwVolumeSerialNumber;
  identity->index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  return true;
}

bool Win32ShellSystem::IsReadOnlyFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
         (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool Win32ShellSystem::CreateNewFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

bool Win32ShellSystem::ReplaceWith(const std::string& target, const std::string& replacement) {
  // One rename that replaces the target: it either happens whole or not at all.
  return MoveFileExA(replacement.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

std::uint32_t Win32ShellSystem::Ticks() { return GetTickCount(); }

void Win32ShellSystem::Pause(std::uint32_t ms) { Sleep(ms); }

}  // namespace su
