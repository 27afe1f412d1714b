// A settings file in memory for the tests of the settings and of the dialogs that write them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "base/settings_profile.h"

namespace su {
namespace test {

// A settings file in memory that records every read and write in order.
class RecordingProfile : public ProfileFile {
 public:
  std::string programPath = "C:\\Tools\\Uploader\\SU.exe";
  std::map<std::string, std::string> values;  // "SECTION/KEY" -> text
  std::vector<std::string> reads;             // "file|SECTION/KEY|fallback"
  std::vector<std::string> writes;            // "file|SECTION/KEY=value"

  std::string ProgramPath() override { return programPath; }
  int ReadInt(const std::string& section, const std::string& key, int fallback,
              const std::string& file) override {
    reads.push_back(file + "|" + section + "/" + key + "|" + std::to_string(fallback));
    auto it = values.find(section + "/" + key);
    return it == values.end() ? fallback : std::stoi(it->second);
  }
  void WriteString(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& file) override {
    writes.push_back(file + "|" + section + "/" + key + "=" + value);
    values[section + "/" + key] = value;
  }
};

}  // namespace test
}  // namespace su
