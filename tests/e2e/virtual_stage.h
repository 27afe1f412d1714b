// A stage for a test that talks to the virtual keyboard: a copy of the program in a folder of its own with
// the test-only winmm.dll beside it (so the settings file beside the program is the test's), the virtual MIDI
// interface's config, a log of what the keyboard received, a song, and a temporary folder for the work
// directories.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace su::e2e {

using Bytes = std::vector<std::uint8_t>;

struct VirtualStage {
  // `interfaceConfig` holds the lines of the interface's config (devices, then the keyboard's lines);
  // the log and trace lines are added here. `exeName` is the name of the program's copy.
  VirtualStage(const std::string& tag, const std::string& interfaceConfig,
               const std::string& exeName = "SongUploader.exe");

  std::string folder;
  std::string temp;
  std::string program;
  std::string settings;  // SongUploader.INI beside the copy; not written here
  std::string config;
  std::string frames;    // every message the keyboard received, one line of hex bytes each
  std::string trace;
  std::string song;      // written by the test (WriteFileBytes) before it starts the program

  // Starts the copy with `song` as its argument, the interface's config and the temporary folder.
  LaunchOptions Options() const;
  // The messages the keyboard received, in order.
  std::vector<Bytes> SentMessages() const;
};

// Makes every program called `exeName` load the winmm.dll beside it before the system's. Wine reads
// WINEDLLOVERRIDES only from the environment it was started with, not from the one handed to CreateProcess,
// so the override goes into Wine's per-program registry key (which Windows itself never reads).
void PreferWinmmBesideProgram(const std::string& exeName);

std::string ReadWholeFile(const std::string& path);

}  // namespace su::e2e
