// The settings file SongUploader.INI beside the program, section SONGPORT: the port pair chosen in the MIDI
// Device dialog (IN, OUT) and two values only ever edited by hand (DEBUG_ZT52, ZT31_TIMEOUT).
#include "base/settings.h"

#include <string>

#include "base/paths.h"
#include "base/run_state.h"
#include "base/settings_profile.h"

namespace su {

namespace {

const char kSection[] = "SONGPORT";

ProfileFile*& InstalledProfile() {
  static ProfileFile* profile = nullptr;
  return profile;
}

}  // namespace

void InstallProfileFile(ProfileFile* profile) { InstalledProfile() = profile; }

std::string SettingsPathFor(const std::string& programPath) {
  // Keep the drive and the directory (up to and with the last separator, found by characters of the ANSI
  // code page) and put our own name after them.
  const PathParts parts = SplitPath(programPath);
  return parts.drive + parts.directory + "SongUploader" + ".INI";
}

int MakeSettingsPath() {
  ProfileFile* profile = InstalledProfile();
  Run().settingsPath = SettingsPathFor(profile != nullptr ? profile->ProgramPath() : std::string());
  return 1;
}

int LoadSettings() {
  RunState& run = Run();
  ProfileFile* profile = InstalledProfile();
  auto read = [&](const char* key, int fallback) {
    return profile != nullptr ? profile->ReadInt(kSection, key, fallback, run.settingsPath) : fallback;
  };
  run.midiInIndex = read("IN", -1);
  run.midiOutIndex = read("OUT", -1);
  run.debugZt52 = read("DEBUG_ZT52", 0);
  run.zt31Timeout = read("ZT31_TIMEOUT", 10);
  return 1;
}

int StorePortChoice() {
  ProfileFile* profile = InstalledProfile();
  if (profile == nullptr) return 1;
  const RunState& run = Run();
  profile->WriteString(kSection, "IN", std::to_string(run.midiInIndex), run.settingsPath);
  profile->WriteString(kSection, "OUT", std::to_string(run.midiOutIndex), run.settingsPath);
  return 1;
}

}  // namespace su
