#include "transfer/keyboard_memory.h"

#include <utility>
#include <vector>

namespace su {

namespace {

// The text: this first line, then one line per pair of ports, the most recently found first:
//   family TAB model type TAB seconds TAB input name TAB output name
// Names are kept whole; a tab, a line break or a percent sign in one is written as %09, %0A, %0D or %25.
constexpr char kHeader[] = "SongUploader remembered keyboards 1";
// Enough for every pair of ports a user meets; the oldest entries make way beyond it.
constexpr std::size_t kMostEntries = 32;

struct Entry {
  PortNames ports;
  RememberedKeyboard keyboard;
};

std::string Escaped(const std::string& name) {
  std::string text;
  for (char c : name) {
    switch (c) {
      case '\t': text += "%09"; break;
      case '\n': text += "%0A"; break;
      case '\r': text += "%0D"; break;
      case '%': text += "%25"; break;
      default: text += c;
    }
  }
  return text;
}

bool Unescaped(const std::string& text, std::string* name) {
  name->clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      *name += text[i];
      continue;
    }
    const std::string code = text.substr(i + 1, 2);
    if (code == "09") *name += '\t';
    else if (code == "0A") *name += '\n';
    else if (code == "0D") *name += '\r';
    else if (code == "25") *name += '%';
    else return false;
    i += 2;
  }
  return true;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

template <typename Number>
bool ParseNumber(const std::string& text, Number* value) {
  if (text.empty() || text.size() > 18) return false;
  Number parsed = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    parsed = parsed * 10 + (c - '0');
  }
  *value = parsed;
  return true;
}

bool ParseEntry(const std::string& line, Entry* entry) {
  const std::vector<std::string> fields = Fields(line);
  if (fields.size() != 5 || fields[0].size() != 1) return false;
  const char family = fields[0][0];
  if (family != 'A' && family != 'B' && family != 'C') return false;
  entry->keyboard.family = family;
  if (fields[1].size() > 4 || !ParseNumber(fields[1], &entry->keyboard.modelType)) return false;
  if (!ParseNumber(fields[2], &entry->keyboard.foundAt)) return false;
  return Unescaped(fields[3], &entry->ports.in) && Unescaped(fields[4], &entry->ports.out);
}

// The entries of the store's text; none when there is no text or it is not ours. Lines that cannot be
// understood are dropped.
std::vector<Entry> ReadEntries(KeyboardStateStore& store) {
  std::vector<Entry> entries;
  std::string text;
  if (!store.Read(&text)) return entries;
  std::size_t start = 0;
  bool first = true;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (first) {
      if (line != kHeader) return entries;
      first = false;
      continue;
    }
    Entry entry;
    if (ParseEntry(line, &entry)) entries.push_back(std::move(entry));
  }
  return entries;
}

bool WriteEntries(KeyboardStateStore& store, const std::vector<Entry>& entries) {
  std::string text = std::string(kHeader) + "\n";
  for (std::size_t i = 0; i < entries.size() && i < kMostEntries; ++i) {
    const Entry& e = entries[i];
    text += std::string(1, e.keyboard.family) + "\t" + std::to_string(e.keyboard.modelType) + "\t" +
            std::to_string(e.keyboard.foundAt) + "\t" + Escaped(e.ports.in) + "\t" + Escaped(e.ports.out) + "\n";
  }
  return store.Write(text);
}

bool SamePorts(const PortNames& a, const PortNames& b) { return a.in == b.in && a.out == b.out; }

}  // namespace

std::optional<RememberedKeyboard> Recall(KeyboardStateStore& store, const PortNames& ports) {
  for (const Entry& entry : ReadEntries(store)) {
    if (SamePorts(entry.ports, ports)) return entry.keyboard;
  }
  return std::nullopt;
}

bool Remember(KeyboardStateStore& store, const PortNames& ports, const RememberedKeyboard& keyboard) {
  std::vector<Entry> entries{Entry{ports, keyboard}};
  for (Entry& entry : ReadEntries(store)) {
    if (!SamePorts(entry.ports, ports)) entries.push_back(std::move(entry));
  }
  return WriteEntries(store, entries);
}

bool Forget(KeyboardStateStore& store, const PortNames& ports) {
  std::vector<Entry> entries = ReadEntries(store);
  std::vector<Entry> kept;
  for (Entry& entry : entries) {
    if (!SamePorts(entry.ports, ports)) kept.push_back(std::move(entry));
  }
  if (kept.size() == entries.size()) return true;
  return WriteEntries(store, kept);
}

}  // namespace su
