#include "transfer/keyboard_state_file.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

namespace su {

bool FileStateStore::Read(std::string* text) {
  if (file_.empty()) return false;
  std::ifstream in(file_, std::ios::binary);
  if (!in) return false;
  std::ostringstream whole;
  whole << in.rdbuf();
  if (in.bad()) return false;
  *text = whole.str();
  return true;
}

bool FileStateStore::Write(const std::string& text) {
  if (file_.empty()) return false;
  std::error_code error;
  std::filesystem::create_directories(file_.parent_path(), error);
  if (error) return false;
  // A name of its own beside the file, so that two programs saving at once never write into one another's.
  std::filesystem::path fresh = file_;
  fresh += ".new" + std::to_string(std::random_device{}());
  {
    std::ofstream out(fresh, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << text;
    out.close();
    if (!out) {
      std::filesystem::remove(fresh, error);
      return false;
    }
  }
  std::filesystem::rename(fresh, file_, error);
  if (error) {
    // A system that will not rename onto an existing file: the old one goes first.
    std::filesystem::remove(file_, error);
    std::filesystem::rename(fresh, file_, error);
  }
  if (error) {
    std::filesystem::remove(fresh, error);
    return false;
  }
  return true;
}

std::filesystem::path KeyboardStateFile() {
#ifdef _WIN32
  const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
  if (local == nullptr || *local == L'\0') return {};
  return std::filesystem::path(local) / L"SongUploader" / L"keyboards.txt";
#else
  std::filesystem::path folder;
  const char* state = std::getenv("XDG_STATE_HOME");
  const char* home = std::getenv("HOME");
  // A relative XDG folder is not to be used, as for every XDG variable.
  if (state != nullptr && *state == '/') {
    folder = state;
  } else if (home != nullptr && *home != '\0') {
    folder = std::filesystem::path(home) / ".local" / "state";
  } else {
    return {};
  }
  return folder / "songuploader" / "keyboards";
#endif
}

}  // namespace su
