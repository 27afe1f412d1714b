// Reads a virtual keyboard's config text (format in virtual_keyboard.h).
#include <cstdlib>
#include <sstream>

#include "tools/virtual_keyboard/virtual_keyboard.h"

namespace su::test {
namespace {

std::string Trim(const std::string& s) {
  const std::size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  const std::size_t last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

std::vector<std::string> Split(const std::string& s, char separator) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = s.find(separator, from);
    parts.push_back(Trim(s.substr(from, at == std::string::npos ? std::string::npos : at - from)));
    if (at == std::string::npos) return parts;
    from = at + 1;
  }
}

// A decimal or 0x-hexadecimal number no larger than `max`.
bool Number(const std::string& text, std::uint64_t max, std::uint64_t* value) {
  if (text.empty()) return false;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char* begin = text.c_str() + (hex ? 2 : 0);
  char* end = nullptr;
  if (*begin == '-' || *begin == '+') return false;
  const unsigned long long v = std::strtoull(begin, &end, hex ? 16 : 10);
  if (end == begin || *end != '\0' || v > max) return false;
  *value = v;
  return true;
}

// Command bytes are written as two hex digits in frames (04, 0A), so a bare value is read as hexadecimal; a
// family A or B command is three such bytes (041000, 062100).
bool Command(const std::string& text, int* command) {
  if (text == "any") {
    *command = kAnyCommand;
    return true;
  }
  std::uint64_t v = 0;
  const bool prefixed = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string hex = prefixed ? text : "0x" + text;
  if (!Number(hex, 0x7F7F7F, &v)) return false;
  *command = static_cast<int>(v);
  return true;
}

bool Times(const std::string& text, std::uint32_t* times) {
  if (text == "always") {
    *times = kForever;
    return true;
  }
  std::uint64_t v = 0;
  if (!Number(text, 0xFFFFFFFEu, &v)) return false;
  *times = static_cast<std::uint32_t>(v);
  return true;
}

// CMD, then `fixed` required fields, then optional TIMES and SKIP.
bool Rule(const std::string& value, KeyboardRule::Action action, KeyboardRule* rule) {
  const std::vector<std::string> parts = Split(value, ':');
  const std::size_t fixed = action == KeyboardRule::Action::Silent ? 0 : 1;
  if (parts.size() < 1 + fixed || parts.size() > 3 + fixed) return false;
  rule->action = action;
  if (!Command(parts[0], &rule->command)) return false;
  std::uint64_t v = 0;
  if (action == KeyboardRule::Action::Refuse) {
    if (!Number(parts[1], 0x7F, &v)) return false;
    rule->code = static_cast<std::uint8_t>(v);
  } else if (action == KeyboardRule::Action::Late) {
    if (!Number(parts[1], 0xFFFFFFFFu, &v)) return false;
    rule->delayMs = static_cast<std::uint32_t>(v);
  }
  if (parts.size() > 1 + fixed && !Times(parts[1 + fixed], &rule->times)) return false;
  if (parts.size() > 2 + fixed) {
    if (!Number(parts[2 + fixed], 0xFFFFFFFFu, &v)) return false;
    rule->skip = static_cast<std::uint32_t>(v);
  }
  return true;
}

bool JunkKind(const std::string& name, JunkFrame* kind) {
  if (name == "other_address") *kind = JunkFrame::OtherAddress;
  else if (name == "broken_framing") *kind = JunkFrame::BrokenFraming;
  else if (name == "too_short") *kind = JunkFrame::TooShort;
  else if (name == "other_code") *kind = JunkFrame::OtherCode;
  else if (name == "other_maker") *kind = JunkFrame::OtherMaker;
  else return false;
  return true;
}

bool ApplyLine(const std::string& key, const std::string& value, KeyboardConfig* c) {
  std::uint64_t v = 0;
  if (key == "family") {
    if (value != "a" && value != "b" && value != "c") return false;
    c->family = value == "a" ? KeyboardFamily::A : value == "b" ? KeyboardFamily::B : KeyboardFamily::C;
  } else if (key == "model_address") {
    if (!Number(value, 0xFFFF, &v) || (v != 0x1103 && v != 0x1102)) return false;
    c->modelAddress = static_cast<std::uint16_t>(v);
  } else if (key == "model_value") {
    if (!Number(value, 0xFFFFFFFFu, &v)) return false;
    c->modelValue = static_cast<std::uint32_t>(v);
  } else if (key == "not_ready") {
    const std::vector<std::string> parts = Split(value, ':');
    KeyboardRule rule{KeyboardRule::Action::Refuse, kKeyAReadReady, 1, 0, 0, kForever};
    if (parts.size() > 2 || !Times(parts[0], &rule.times)) return false;
    if (parts.size() == 2) {
      if (!Number(parts[1], 0xFFFFFFFFu, &v)) return false;
      rule.skip = static_cast<std::uint32_t>(v);
    }
    c->rules.push_back(rule);
  } else if (key == "model") {
    if (!Number(value, 0x7F, &v)) return false;
    c->modelByte = static_cast<std::uint8_t>(v);
  } else if (key == "model_info") {
    if (value.size() != 8) return false;
    for (std::size_t i = 0; i < 4; ++i) {
      if (!Number("0x" + value.substr(2 * i, 2), 0x7F, &v)) return false;
      c->modelInfo[i] = static_cast<std::uint8_t>(v);
    }
  } else if (key == "identity") {
    if (value != "yes" && value != "no") return false;
    c->answersIdentity = value == "yes";
  } else if (key == "slots") {
    if (!Number(value, 255, &v) || v == 0) return false;
    c->slots.assign(static_cast<std::size_t>(v), KeyboardSlot{});
  } else if (key == "slot") {
    const std::size_t first = value.find(',');
    const std::size_t last = value.rfind(',');
    if (first == std::string::npos || first == last) return false;
    std::uint64_t index = 0, size = 0;
    if (!Number(Trim(value.substr(0, first)), 254, &index) || index >= c->slots.size()) return false;
    if (!Number(Trim(value.substr(last + 1)), 0xFFFFFFFFu, &size)) return false;
    KeyboardSlot& slot = c->slots[static_cast<std::size_t>(index)];
    slot.status = 1;
    slot.name = value.substr(first + 1, last - first - 1);
    slot.size = static_cast<std::uint32_t>(size);
    slot.contents.assign(static_cast<std::size_t>(size), 0);
  } else if (key == "slot_status") {
    const std::vector<std::string> parts = Split(value, ',');
    std::uint64_t index = 0;
    if (parts.size() != 2 || !Number(parts[0], 254, &index) || index >= c->slots.size()) return false;
    if (!Number(parts[1], 0x7F, &v)) return false;
    c->slots[static_cast<std::size_t>(index)].status = static_cast<std::uint8_t>(v);
  } else if (key == "free") {
    if (!Number(value, 0xFFFFFFFFu, &v)) return false;
    c->freeMemory = static_cast<std::uint32_t>(v);
  } else if (key == "max_song") {
    if (!Number(value, 0xFFFFFFFFu, &v)) return false;
    c->maxSongSize = static_cast<std::uint32_t>(v);
  } else if (key == "song_overhead" || key == "refuse_song" || key == "max_song_shrink") {
    if (!Number(value, 0xFFFFFFFFu, &v)) return false;
    (key == "song_overhead" ? c->songOverhead : key == "refuse_song" ? c->refuseSong : c->maxSongShrink) =
        static_cast<std::uint32_t>(v);
  } else if (key == "forget_song") {
    if (!Number(value, 0xFFFFFFFFu, &v)) return false;
    c->forgetSong = static_cast<std::uint32_t>(v);
  } else if (key == "drop_answer") {
    const std::vector<std::string> parts = Split(value, ':');
    if (parts.empty() || parts.size() > 2 || !Number(parts[0], 0xFFFFFFFFu, &v)) return false;
    c->dropAnswer = static_cast<std::uint32_t>(v);
    c->dropAnswerCommand = kAnyCommand;
    if (parts.size() == 2 && !Command(parts[1], &c->dropAnswerCommand)) return false;
  } else if (key == "misplace_song") {
    const std::vector<std::string> parts = Split(value, ':');
    std::uint64_t slot = 0;
    if (parts.size() != 2 || !Number(parts[0], 0xFFFFFFFFu, &v) || !Number(parts[1], 254, &slot)) return false;
    if (slot >= c->slots.size()) return false;
    c->misplaceSong = static_cast<std::uint32_t>(v);
    c->misplaceSlot = static_cast<std::uint32_t>(slot);
  } else if (key == "silent_after_songs") {
    if (!Number(value, 0xFFFFFFFFu, &v)) return false;
    c->silentAfterSongs = static_cast<std::uint32_t>(v);
  } else if (key == "delay_ms") {
    if (!Number(value, 0xFFFFFFFFu, &v)) return false;
    c->replyDelayMs = static_cast<std::uint32_t>(v);
  } else if (key == "silent" || key == "refuse" || key == "late") {
    KeyboardRule rule;
    const KeyboardRule::Action action = key == "silent"   ? KeyboardRule::Action::Silent
                                        : key == "refuse" ? KeyboardRule::Action::Refuse
                                                          : KeyboardRule::Action::Late;
    if (!Rule(value, action, &rule)) return false;
    c->rules.push_back(rule);
  } else if (key == "junk") {
    c->junk.clear();
    for (const std::string& name : Split(value, ',')) {
      JunkFrame kind;
      if (!JunkKind(name, &kind)) return false;
      c->junk.push_back(kind);
    }
  } else if (key == "junk_times") {
    if (!Times(value, &c->junkTimes)) return false;
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool ParseKeyboardConfig(const std::string& text, KeyboardConfig* config, std::string* error) {
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    const std::size_t eq = trimmed.find('=');
    const std::string key = eq == std::string::npos ? trimmed : Trim(trimmed.substr(0, eq));
    const std::string value = eq == std::string::npos ? "" : Trim(trimmed.substr(eq + 1));
    if (eq == std::string::npos || !ApplyLine(key, value, config)) {
      if (error != nullptr) *error = "line " + std::to_string(number) + ": cannot read \"" + trimmed + "\"";
      return false;
    }
  }
  return true;
}

}  // namespace su::test
