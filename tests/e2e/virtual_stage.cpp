#include "tests/e2e/virtual_stage.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>

namespace su::e2e {

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void PreferWinmmBesideProgram(const std::string& exeName) {
  HKEY key = nullptr;
  const std::string path = "Software\\Wine\\AppDefaults\\" + exeName + "\\DllOverrides";
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot write " << path;
    return;
  }
  const char value[] = "native,builtin";
  RegSetValueExA(key, "winmm", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
  RegCloseKey(key);
}

VirtualStage::VirtualStage(const std::string& tag, const std::string& interfaceConfig, const std::string& exeName)
    : folder(NewScratchFolder(tag)),
      temp(NewScratchFolder(tag + "_temp")),
      program(folder + "\\" + exeName),
      settings(folder + "\\SongUploader.INI"),
      config(folder + "\\vmidi.cfg"),
      frames(folder + "\\frames.log"),
      trace(folder + "\\trace.log"),
      song(folder + "\\song.mid") {
  EXPECT_TRUE(CopyFileA(ProgramPath().c_str(), program.c_str(), FALSE)) << "cannot copy the program";
  EXPECT_TRUE(CopyFileA((ProgramFolder() + "sqfconv2.dll").c_str(), (folder + "\\sqfconv2.dll").c_str(), FALSE))
      << "cannot copy the converter";
  EXPECT_TRUE(CopyFileA((TestFolder() + "winmm.dll").c_str(), (folder + "\\winmm.dll").c_str(), FALSE))
      << "the virtual MIDI interface was not built beside the tests";
  EXPECT_TRUE(WriteFileBytes(config, interfaceConfig + "\nlog=" + frames + "\ntrace=" + trace + "\n"));
  PreferWinmmBesideProgram(exeName);
}

LaunchOptions VirtualStage::Options() const {
  LaunchOptions options;
  options.program = program;
  options.arguments = {song};
  options.tempFolder = temp;
  options.environment = {{"SU_VMIDI_CONFIG", config}};
  return options;
}

std::vector<Bytes> VirtualStage::SentMessages() const {
  std::vector<Bytes> messages;
  std::istringstream lines(ReadWholeFile(frames));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream hex(line);
    Bytes message;
    unsigned value = 0;
    while (hex >> std::hex >> value) message.push_back(static_cast<std::uint8_t>(value));
    if (!message.empty()) messages.push_back(message);
  }
  return messages;
}

}  // namespace su::e2e
