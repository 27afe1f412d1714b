// The keyboard last found on each pair of ports, so that the next search there asks that keyboard first. The
// entries are one small text that each front end keeps where its user's own state belongs (a file under the
// user's state folder, the page's local storage), never in the settings file beside the program. A text that
// cannot be read or written is as good as none: the search then simply asks every way in turn. The file that
// the program and the command line keep it in is in transfer/keyboard_state_file.h.
#pragma once

#include <cstdint>
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
