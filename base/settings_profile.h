// Where the settings file is read and written: the platform's profile-file services in the program, a
// recording double in tests. With nothing installed there is no settings file: every key takes its default
// and nothing is written.
#pragma once

#include <string>

namespace su {

class ProfileFile {
 public:
  virtual ~ProfileFile() = default;
  // Full path of the running executable; empty when it cannot be had.
  virtual std::string ProgramPath() = 0;
  // The integer value of `key` in `section` of `file`, or `fallback` when the file or key is missing.
  virtual int ReadInt(const std::string& section, const std::string& key, int fallback,
                      const std::string& file) = 0;
  // Writes `key`=`value` into `section` of `file`, creating the file and section when missing.
  virtual void WriteString(const std::string& section, const std::string& key, const std::string& value,
                           const std::string& file) = 0;
};

void InstallProfileFile(ProfileFile* profile);

// SongUploader.INI in the directory of `programPath`, whatever the program file is called.
std::string SettingsPathFor(const std::string& programPath);

}  // namespace su
