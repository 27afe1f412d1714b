// The keyboard last found on each pair of ports, so that the next search there asks that keyboard first. The
// entries are one small text that each front end keeps where its user's own state belongs (a file under the
// user's state folder, the page's local storage), never in the settings file beside the program. A text that
// cannot be read or written is as good as none: the search then simply asks every way in turn.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace su {

// Where a front end keeps the text of the remembered keyboards.
class KeyboardStateStore {
 public:
  virtual ~KeyboardStateStore() = default;
  // The text as last written; false when there is none or it cannot be read.
  virtual bool Read(std::string* text) = 0;
  // Replaces the text; false when it cannot be written (nothing is remembered then).
  virtual bool Write(const std::string& text) = 0;
};

// The text in one file of its own, written whole into a file beside it and renamed into place, so that a
// failure never leaves half an entry; the folder is made when missing.
class FileStateStore : public KeyboardStateStore {
 public:
  explicit FileStateStore(std::filesystem::path file) : file_(std::move(file)) {}
  bool Read(std::string* text) override;
  bool Write(const std::string& text) override;

 private:
  std::filesystem::path file_;
};

// The file of remembered keyboards under the user's own state folder: %LOCALAPPDATA%\SongUploader\ on Windows,
// $XDG_STATE_HOME/songuploader/ (else ~/.local/state/songuploader/) elsewhere. Empty when the environment names
// no such folder.
std::filesystem::path KeyboardStateFile();

// The ports a keyboard was found on, by the names the MIDI system gives them.
struct PortNames {
  std::string in;
  std::string out;
};

struct RememberedKeyboard {
  char family = 0;              // 'A', 'B' or 'C': which request it answered
  std::int32_t modelType = -1;
  std::int64_t foundAt = 0;     // seconds since 1970, when it last answered
};

// The keyboard remembered for `ports`, if any (an entry that cannot be understood is none).
std::optional<RememberedKeyboard> Recall(KeyboardStateStore& store, const PortNames& ports);
// Puts `keyboard` in place of whatever was remembered for `ports`; false when the store refused it.
bool Remember(KeyboardStateStore& store, const PortNames& ports, const RememberedKeyboard& keyboard);
// Forgets what was remembered for `ports`.
bool Forget(KeyboardStateStore& store, const PortNames& ports);

}  // namespace su
