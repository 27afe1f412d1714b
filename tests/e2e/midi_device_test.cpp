// The MIDI Device dialog, the settings file and the port checks end to end: the real program with its real
// WinMM code, over the virtual MIDI interface (our test-only winmm.dll) with the virtual keyboard behind it.
// Each test runs a copy of the program in a folder of its own, so the settings file beside it is the test's.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "resources/strings.h"
#include "tests/e2e/harness.h"
#include "tests/e2e/virtual_stage.h"

namespace su::e2e {
namespace {

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The settings file as lines without their line ends, blank lines left out.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> ComboItems(HWND dialog, int control) {
  // Read as wide text: the ANSI form of this message does not survive the way between processes.
  std::vector<std::string> items;
  HWND combo = Child(dialog, control);
  const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    if (SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) < 255) {
      SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    }
    char narrow[512] = {};
    WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
    items.push_back(narrow);
  }
  return items;
}

int ComboSelection(HWND dialog, int control) {
  return static_cast<int>(SendMessageA(Child(dialog, control), CB_GETCURSEL, 0, 0));
}

void ComboChoose(HWND dialog, int control, int position) {
  SendMessageA(Child(dialog, control), CB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

// A copy of the program under another name (its settings file keeps the usual name), the virtual devices
// and a song to send.
struct Bench : VirtualStage {
  explicit Bench(const std::string& devices) : VirtualStage("mididev", devices, "Uploader Copy.exe") {
    EXPECT_TRUE(WriteFileBytes(song, std::string("MThd\0\0\0\6\0\0\0\1\0\x60", 14)));
  }
};

const char kTwoDevices[] =
    "in=Synth In\nin=Second In\nout=Synth Out\nout=Second Out\nmodel=2\n";

// Starts the program and chooses to send in the Selection dialog.
HWND ChooseSend(Program& program) {
  HWND selection = program.WaitWindow("Selection");
  EXPECT_NE(selection, nullptr);
  if (selection != nullptr) PressButton(selection, IDOK);
  return selection;
}

TEST(MidiDevice, WithoutSettingsTheDialogOpensEmptyAndAValidChoiceWritesOnlyThePorts) {
  Bench bench(kTwoDevices);
  ASSERT_FALSE(Exists(bench.settings));
  Program program(bench.Options());
  ASSERT_TRUE(program.Started());
  ChooseSend(program);
  HWND dialog = program.WaitWindow("MIDI Device");
  ASSERT_NE(dialog, nullptr) << "no MIDI Device dialog without a settings file";
  EXPECT_EQ(ComboItems(dialog, IDC_MIDI_IN), (std::vector<std::string>{"Synth In", "Second In"}))
      << "devices of the virtual interface expected; its trace:\n" << ReadWholeFile(bench.trace);
  EXPECT_EQ(ComboItems(dialog, IDC_MIDI_OUT), (std::vector<std::string>{"Synth Out", "Second Out"}));
  EXPECT_EQ(ComboSelection(dialog, IDC_MIDI_IN), -1);
  EXPECT_EQ(ComboSelection(dialog, IDC_MIDI_OUT), -1);
  EXPECT_FALSE(Exists(bench.settings)) << "the settings file was made before a choice";

  ComboChoose(dialog, IDC_MIDI_IN, 1);
  ComboChoose(dialog, IDC_MIDI_OUT, 0);
  PressButton(dialog, IDOK);
  ASSERT_TRUE(WaitUntil([&] { return Exists(bench.settings) && Lines(ReadWholeFile(bench.settings)).size() == 3; }));
  EXPECT_EQ(Lines(ReadWholeFile(bench.settings)), (std::vector<std::string>{"[SONGPORT]", "IN=1", "OUT=0"}));

  // The ports open and the identity request reaches the keyboard exactly as sent.
  ASSERT_TRUE(WaitUntil([&] { return !Lines(ReadWholeFile(bench.frames)).empty(); }))
      << "nothing reached the virtual keyboard";
  EXPECT_EQ(Lines(ReadWholeFile(bench.frames)).front(), "F0 44 14 00 00 F7");
}

TEST(MidiDevice, HandWrittenValuesSurviveAndTheStoredPairIsShown) {
  Bench bench(kTwoDevices);
  ASSERT_TRUE(WriteFileBytes(bench.settings, "[SONGPORT]\r\nZT31_TIMEOUT=500\r\nIN=7\r\nOUT=0\r\n"));
  Program program(bench.Options());
  ASSERT_TRUE(program.Started());
  ChooseSend(program);
  // Input 7 is not there: the stored pair is not set up, so the dialog opens.
  HWND dialog = program.WaitWindow("MIDI Device");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(ComboSelection(dialog, IDC_MIDI_IN), -1);
  EXPECT_EQ(ComboSelection(dialog, IDC_MIDI_OUT), 0);
  ComboChoose(dialog, IDC_MIDI_IN, 0);
  PressButton(dialog, IDOK);
  ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(bench.settings).find("IN=0") != std::string::npos; }));
  const std::vector<std::string> lines = Lines(ReadWholeFile(bench.settings));
  EXPECT_EQ(lines, (std::vector<std::string>{"[SONGPORT]", "ZT31_TIMEOUT=500", "IN=0", "OUT=0"}));
}

TEST(MidiDevice, InputOnlyChoiceAsksMessage29AndYesKeepsTheDialog) {
  Bench bench(kTwoDevices);
  Program program(bench.Options());
  ASSERT_TRUE(program.Started());
  ChooseSend(program);
  HWND dialog = program.WaitWindow("MIDI Device");
  ASSERT_NE(dialog, nullptr);
  ComboChoose(dialog, IDC_MIDI_IN, 1);
  PressButton(dialog, IDOK);
  HWND box = program.WaitMessageBox();
  ASSERT_NE(box, nullptr) << "no question for a choice without an output";
  EXPECT_EQ(MessageBoxText(box), TEXT_29);
  EXPECT_NE(GetDlgItem(box, IDYES), nullptr);
  EXPECT_NE(GetDlgItem(box, IDNO), nullptr);
  EXPECT_EQ(GetWindow(box, GW_OWNER), dialog) << "message 29 belongs to the dialog";
  AnswerMessageBox(box, IDYES);
  ASSERT_TRUE(WaitUntil([&] { return program.FindMessageBox() == nullptr; }));
  EXPECT_TRUE(IsWindow(dialog)) << "Yes must keep the dialog open";
  EXPECT_EQ(ComboSelection(dialog, IDC_MIDI_IN), 1) << "the input choice is still shown";
  EXPECT_FALSE(Exists(bench.settings));

  PressButton(dialog, IDCANCEL);
  EXPECT_TRUE(program.WaitExit());
  EXPECT_FALSE(Exists(bench.settings)) << "Cancel wrote the settings file";
  EXPECT_TRUE(ReadWholeFile(bench.frames).empty()) << "something was sent without a port choice";
}

// The program in a folder whose name the ANSI code page cannot hold: a user name in another script puts the
// default installation folder there. The settings file beside it is still written, and the next run uses it.
// The folder is a copy of the program's own, or, when SU_E2E_INSTALLED_FOLDER names one, the folder the
// installer put the program in (the installer's checks run this test there; the settings file then stays, for
// them to see and for the uninstaller to remove).
struct WideFolderBench {
  WideFolderBench()
      : base(NewScratchFolder("wide")),
        config(base + "\\vmidi.cfg"),
        frames(base + "\\frames.log"),
        song(base + "\\song.mid") {
    const wchar_t* installed = _wgetenv(L"SU_E2E_INSTALLED_FOLDER");
    copied = installed == nullptr || *installed == L'\0';
    folder = copied ? Widened(base) + L"\\\u10D3\u10D8\u10DB\u10D8\u10E2\u10E0\u10D8" : std::wstring(installed);
    settings = folder + L"\\SongUploader.INI";
    if (copied) {
      EXPECT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << "cannot make the folder";
      EXPECT_TRUE(CopyFileW(Widened(ProgramPath()).c_str(), (folder + L"\\SongUploader.exe").c_str(), FALSE));
      EXPECT_TRUE(CopyFileW(Widened(ProgramFolder() + "sqfconv2.dll").c_str(),
                            (folder + L"\\sqfconv2.dll").c_str(), FALSE));
    }
    EXPECT_TRUE(CopyFileW(Widened(TestFolder() + "winmm.dll").c_str(), (folder + L"\\winmm.dll").c_str(), FALSE));
    EXPECT_TRUE(WriteFileBytes(config, std::string(kTwoDevices) + "log=" + frames + "\n"));
    EXPECT_TRUE(WriteFileBytes(song, std::string("MThd\0\0\0\6\0\0\0\1\0\x60", 14)));
    PreferWinmmBesideProgram("SongUploader.exe");
  }
  ~WideFolderBench() {
    DeleteFileW((folder + L"\\winmm.dll").c_str());
    if (copied) {
      for (const wchar_t* name : {L"SongUploader.exe", L"sqfconv2.dll", L"SongUploader.INI"}) {
        DeleteFileW((folder + L"\\" + name).c_str());
      }
      RemoveDirectoryW(folder.c_str());
    }
    RemoveFolderTree(base);
  }
  LaunchOptions Options() const {
    LaunchOptions options;
    options.wideProgram = folder + L"\\SongUploader.exe";
    options.arguments = {song};
    options.environment = {{"SU_VMIDI_CONFIG", config}};
    return options;
  }
  std::string Settings() const {
    std::ifstream in(std::filesystem::path(settings), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string base;
  bool copied = true;
  std::wstring folder;
  std::wstring settings;
  std::string config;
  std::string frames;
  std::string song;
};

TEST(MidiDevice, InAFolderTheCodePageCannotNameThePortChoiceIsWrittenAndUsedByTheNextRun) {
  WideFolderBench bench;
  {
    Program program(bench.Options());
    ASSERT_TRUE(program.Started()) << "the program in the wide-named folder did not start";
    ChooseSend(program);
    HWND dialog = program.WaitWindow("MIDI Device");
    ASSERT_NE(dialog, nullptr) << "no MIDI Device dialog without a settings file";
    ComboChoose(dialog, IDC_MIDI_IN, 1);
    ComboChoose(dialog, IDC_MIDI_OUT, 0);
    PressButton(dialog, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return Lines(bench.Settings()).size() == 3; }))
        << "the port choice was not written beside the program";
    EXPECT_EQ(Lines(bench.Settings()), (std::vector<std::string>{"[SONGPORT]", "IN=1", "OUT=0"}));
  }
  WriteFileBytes(bench.frames, "");
  Program program(bench.Options());
  ASSERT_TRUE(program.Started());
  ChooseSend(program);
  ASSERT_TRUE(WaitUntil([&] { return !Lines(ReadWholeFile(bench.frames)).empty(); }))
      << "the second run did not reach the keyboard";
  EXPECT_EQ(program.FindWindowTitled("MIDI Device"), nullptr) << "the second run asked for the ports again";
}

struct PortFailure {
  const char* devices;
  const char* text;
  bool needsSeveralProcessors;
};

class PortCheckTest : public ::testing::TestWithParam<PortFailure> {};

TEST_P(PortCheckTest, StoredPairThatCannotBeUsedEndsWithItsMessage) {
  if (GetParam().needsSeveralProcessors) {
    DWORD_PTR processMask = 0, systemMask = 0;
    GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask);
    if (systemMask <= 1) GTEST_SKIP() << "this machine has one processor";
  }
  Bench bench(GetParam().devices);
  ASSERT_TRUE(WriteFileBytes(bench.settings, "[SONGPORT]\r\nIN=0\r\nOUT=0\r\n"));
  Program program(bench.Options());
  ASSERT_TRUE(program.Started());
  ChooseSend(program);
  HWND box = program.WaitMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(MessageBoxText(box), GetParam().text);
  EXPECT_EQ(program.FindWindowTitled("MIDI Device"), nullptr) << "a valid stored pair needs no dialog";
  AnswerMessageBox(box, IDOK);
  EXPECT_TRUE(program.WaitExit());
  EXPECT_TRUE(ReadWholeFile(bench.frames).empty()) << "something was sent through ports that were refused";
  EXPECT_EQ(Lines(ReadWholeFile(bench.settings)), (std::vector<std::string>{"[SONGPORT]", "IN=0", "OUT=0"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortCheckTest,
    ::testing::Values(PortFailure{"in=Synth In\nout=Synth Out\nrefuse_in=0\n", TEXT_32, false},
                      PortFailure{"in=Synth In\nout=Synth Out\nrefuse_out=0\n", TEXT_32, false},
                      PortFailure{"in=1-QK USB IN 1\nout=Synth Out\n", TEXT_57, true},
                      PortFailure{"in=Synth In\nout=QUAVR USB OUT 2\n", TEXT_57, true}));

}  // namespace
}  // namespace su::e2e
