#include "cli/slot_cache.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <istream>
#include <system_error>
#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace su::cli {

namespace fs = std::filesystem;

namespace {

// Enough port choices for anyone; the oldest are forgotten first.
constexpr std::size_t kChoicesKept = 16;

[[maybe_unused]] bool Plain(const std::string& text) { return text.find_first_of("\t\n\r") == std::string::npos; }

}  // namespace

std::string SlotCacheFile() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  fs::path folder;
  if (cache != nullptr && cache[0] == '/') {
    folder = cache;
  } else if (home != nullptr && home[0] != '\0') {
    folder = fs::path(home) / ".cache";
  } else {
    return "";
  }
  return (folder / "songuploader" / "slots").string();
}

std::vector<std::string> ChoicesKept(std::istream& earlier, const std::string& key) {
  std::vector<std::string> kept;
  std::string choice;
  while (std::getline(earlier, choice)) {
    if (choice.rfind(key, 0) != 0 && !choice.empty()) kept.push_back(choice);
  }
  if (kept.size() >= kChoicesKept) kept.erase(kept.begin(), kept.end() - static_cast<long>(kChoicesKept - 1));
  return kept;
}

void RememberSlots(const Options& options, const std::vector<std::string>& labels) {
#if defined(_WIN32)
  (void)options;
  (void)labels;
#else
  const std::string file = SlotCacheFile();
  const std::string in = options.inPort.empty() ? options.port : options.inPort;
  const std::string out = options.outPort.empty() ? options.port : options.outPort;
  if (file.empty() || labels.empty() || !Plain(options.api) || !Plain(in) || !Plain(out)) return;
  const std::string key = options.api + '\t' + in + '\t' + out + '\t';
  std::string line = key;
  for (std::size_t i = 0; i < labels.size(); ++i) {
    if (!Plain(labels[i]) || labels[i].find(' ') != std::string::npos) return;
    line += (i == 0 ? "" : " ") + labels[i];
  }
  std::vector<std::string> kept;
  {
    std::ifstream old(file);
    kept = ChoicesKept(old, key);
  }
  kept.push_back(line);
  std::error_code error;
  fs::create_directories(fs::path(file).parent_path(), error);
  // Replaced whole, so that a completion never reads half a file.
  const std::string temporary = file + "." + std::to_string(static_cast<long>(::getpid())) + ".part";
  {
    std::ofstream next(temporary, std::ios::trunc);
    for (const std::string& choice : kept) next << choice << '\n';
    if (!next) {
      fs::remove(temporary, error);
      return;
    }
  }
  fs::rename(temporary, file, error);
  if (error) fs::remove(temporary, error);
#endif
}

}  // namespace su::cli
