#include "tools/virtual_midi/vmidi_config.h"

#include <cstdlib>
#include <sstream>

namespace su::test {

namespace {

std::string Trim(const std::string& s) {
  const std::size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  const std::size_t last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

bool Index(const std::string& text, std::uint32_t* value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9) return false;
  *value = static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
  return true;
}

bool YesNo(const std::string& text, bool* value) {
  if (text != "yes" && text != "no") return false;
  *value = text == "yes";
  return true;
}

// Bytes written as hex pairs separated by spaces ("F0 44 15"); at least one.
bool HexBytes(const std::string& text, std::vector<std::uint8_t>* bytes) {
  std::istringstream words(text);
  std::string word;
  bytes->clear();
  while (words >> word) {
    if (word.size() != 2 || word.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
    bytes->push_back(static_cast<std::uint8_t>(std::strtoul(word.c_str(), nullptr, 16)));
  }
  return !bytes->empty();
}

}  // namespace

bool ParseVirtualMidiConfig(const std::string& text, VirtualMidiConfig* config, std::string* error) {
  std::istringstream lines(text);
  std::string line;
  bool namedIn = false, namedOut = false;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    const std::size_t equals = trimmed.find('=');
    const std::string key = Trim(trimmed.substr(0, equals));
    const std::string value = equals == std::string::npos ? std::string() : Trim(trimmed.substr(equals + 1));
    std::uint32_t index = 0;
    bool ok = true;
    if (key == "in") {
      if (!namedIn) config->inNames.clear();
      namedIn = true;
      config->inNames.push_back(value);
    } else if (key == "out") {
      if (!namedOut) config->outNames.clear();
      namedOut = true;
      config->outNames.push_back(value);
    } else if (key == "refuse_in") {
      ok = Index(value, &index) && config->refuseIn.insert(index).second;
    } else if (key == "refuse_out") {
      ok = Index(value, &index) && config->refuseOut.insert(index).second;
    } else if (key == "log") {
      config->logPath = value;
    } else if (key == "trace") {
      config->tracePath = value;
    } else if (key == "timestamps") {
      config->timestampPath = value;
    } else if (key == "unplug_after") {
      ok = Index(value, &index);
      config->unplugAfter = index;
    } else if (key == "unplug_with") {
      ok = HexBytes(value, &config->unplugWith);
    } else if (key == "unplug_delay_ms") {
      ok = Index(value, &config->unplugDelayMs);
    } else if (key == "stuck_when_unplugged") {
      ok = YesNo(value, &config->stuckWhenUnplugged);
    } else if (key == "replug") {
      ok = YesNo(value, &config->replug);
    } else if (key == "withhold_done") {
      ok = YesNo(value, &config->withholdDone);
    } else if (key == "query_error_after") {
      ok = HexBytes(value, &config->queryErrorAfter);
    } else if (key == "refuse_once") {
      ok = HexBytes(value, &config->refuseOnce);
    } else if (key == "done_ms") {
      if (value == "never") {
        config->doneMs.reset();
      } else {
        ok = Index(value, &index);
        config->doneMs = index;
      }
    } else {
      config->keyboardText += trimmed + "\n";
    }
    if (!ok) {
      if (error != nullptr) *error = "line " + std::to_string(number) + ": " + trimmed;
      return false;
    }
  }
  return true;
}

}  // namespace su::test
