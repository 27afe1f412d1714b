// The run state: one process-wide record that every step of a run reads and writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace su {

// Paths are narrow (ANSI) text of at most this many characters (a 260-byte buffer with its zero).
constexpr std::size_t kMaxPath = 259;

// The user's choice in the Selection dialog (RunState::selection).
constexpr std::int32_t kSelectionSend = 1;
constexpr std::int32_t kSelectionSave = 2;

struct RunState {
  std::string sourcePath;     // the user's song file; only ever read
  std::string workDir;        // ends with a backslash while the work directory exists; empty otherwise
  std::string stagedPath;     // workDir + file name and extension of the source
  std::string stagedName;     // file name and extension alone (shown in the transfer dialogs)
  std::string convertedPath;  // converter output that LoadSongImage reads
  std::unique_ptr<std::uint8_t[]> songImage;  // the converted song, read whole; freed by CleanUp
  std::uint32_t songImageSize = 0;
  std::string settingsPath;
  std::int32_t midiInIndex = -1;   // -1: not set
  std::int32_t midiOutIndex = -1;  // -1: not set
  std::int32_t debugZt52 = 0;
  std::int32_t zt31Timeout = 10;   // milliseconds
  std::int32_t selection = kSelectionSend;
  std::int32_t modelType = -1;     // 4..28 once identified
  std::string modelCode;           // at most 2 lower-case hex digits
  std::int32_t modelInfoValid = 0;
  std::string modelInfo;           // 8 lower-case hex digits when modelInfoValid is 1
};

// The one run state of this process.
RunState& Run();

// Clears the song image (both the bytes and the size).
void ReleaseSongImage(RunState& run);

}  // namespace su
