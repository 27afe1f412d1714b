// Fuzz target for the readers of the two small files a front end keeps beside its user's songs: the
// remembered keyboards (transfer/keyboard_memory.h, in the file of transfer/keyboard_state_file.h) and the
// slot-label cache the shell completion reads (cli/slot_cache.h). Whatever the files hold, reading them
// never fails, and what is written back over them is read back as written.
//
// The input: one byte n, then n bytes of an input port's name, one byte m and m bytes of an output port's
// name (any bytes: tabs, line breaks and percent signs included); the rest is the text of both files.
// make_state_files_corpus.py writes seeds in this format; the replay of the seeds runs this same function
// as a plain test.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/slot_cache.h"
#include "transfer/keyboard_memory.h"
#include "transfer/keyboard_state_file.h"

namespace {

[[noreturn]] void Fail(const char* reader, const std::string& what) {
  std::fprintf(stderr, "state files: %s: %s\n", reader, what.c_str());
  std::abort();
}

class TextStore : public su::KeyboardStateStore {
 public:
  explicit TextStore(std::string text) : text_(std::move(text)) {}
  bool Read(std::string* out) override {
    *out = text_;
    return true;
  }
  bool Write(const std::string& in) override {
    text_ = in;
    return true;
  }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

bool Same(const std::optional<su::RememberedKeyboard>& got, const su::RememberedKeyboard& want) {
  return got && got->family == want.family && got->modelType == want.modelType && got->foundAt == want.foundAt;
}

void CheckRememberedKeyboards(const std::string& text, const su::PortNames& ports) {
  TextStore store(text);
  const std::optional<su::RememberedKeyboard> before = su::Recall(store, ports);
  if (before && ((before->family != 'A' && before->family != 'B' && before->family != 'C') ||
                 before->modelType < 0 || before->modelType > 9999 || before->foundAt < 0))
    Fail("Recall", "an entry outside what is ever written");

  const su::RememberedKeyboard mine{'B', 26, 1700000000};
  if (!su::Remember(store, ports, mine) || !Same(su::Recall(store, ports), mine))
    Fail("Remember", "the keyboard remembered is not recalled");
  const std::string written = store.Text();
  if (!su::Remember(store, ports, mine) || store.Text() != written)
    Fail("Remember", "remembering the same keyboard again changed the text");

  const su::PortNames other{ports.in + "\t2", ports.out};
  const su::RememberedKeyboard theirs{'C', 4, 0};
  if (!su::Remember(store, other, theirs) || !Same(su::Recall(store, other), theirs) ||
      !Same(su::Recall(store, ports), mine))
    Fail("Remember", "a second pair of ports lost or changed the first");
  if (!su::Forget(store, ports) || su::Recall(store, ports) || !Same(su::Recall(store, other), theirs))
    Fail("Forget", "forgetting one pair of ports did not forget exactly that one");
}

// The file itself: what is written is read back byte for byte.
void CheckStateFile(const std::string& text) {
  static const std::filesystem::path folder = [] {
    char name[] = "/tmp/su_state_fuzz_XXXXXX";
    if (mkdtemp(name) == nullptr) Fail("set-up", "no temporary folder");
    return std::filesystem::path(name);
  }();
  su::FileStateStore file(folder / "state" / "keyboards");
  std::string back;
  if (!file.Write(text) || !file.Read(&back) || back != text) Fail("FileStateStore", "the file read back differs");
}

void CheckSlotCache(const std::string& text, const std::string& name) {
  const std::string key = "rtmidi\t" + name + "\t";
  std::istringstream earlier(text);
  const std::vector<std::string> kept = su::cli::ChoicesKept(earlier, key);
  // Every non-empty line but the key's, the newest fifteen of them, in their order.
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (!line.empty() && line.rfind(key, 0) != 0) lines.push_back(line);
    start = end + 1;
  }
  if (lines.size() > 15) lines.erase(lines.begin(), lines.end() - 15);
  if (kept != lines) Fail("ChoicesKept", "kept other lines than the newest fifteen of the other choices");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t at = 0;
  auto piece = [&] {
    const std::size_t length = at < size ? data[at++] : 0;
    const std::size_t take = std::min(length, size - at);
    std::string text(reinterpret_cast<const char*>(data + at), take);
    at += take;
    return text;
  };
  su::PortNames ports;
  ports.in = piece();
  ports.out = piece();
  const std::string text(reinterpret_cast<const char*>(data + at), size - at);
  CheckRememberedKeyboards(text, ports);
  CheckStateFile(text);
  CheckSlotCache(text, ports.in);
  return 0;
}
