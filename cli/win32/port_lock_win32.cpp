// The lock of a pair of ports in the Windows console build: a named mutex of the user's session. The system
// frees it when the process ends, however it ends (the next owner sees it abandoned and takes it).
#include <windows.h>

#include <string>

#include "cli/port_lock.h"

namespace su::cli {

bool PortLock::TryOnce(const std::string& id) {
  if (handle_ == nullptr) {
    const std::wstring name = L"Local\\SongUploader-ports-" + std::wstring(id.begin(), id.end());
    handle_ = CreateMutexW(nullptr, FALSE, name.c_str());
    // No mutex could be made: the run goes on unguarded rather than not at all.
    if (handle_ == nullptr) return true;
  }
  const DWORD waited = WaitForSingleObject(static_cast<HANDLE>(handle_), 0);
  return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED || waited == WAIT_FAILED;
}

void PortLock::Release() {
  if (handle_ == nullptr) return;
  ReleaseMutex(static_cast<HANDLE>(handle_));
  CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

}  // namespace su::cli
