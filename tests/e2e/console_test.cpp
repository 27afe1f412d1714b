// The console build of the command line under Wine, over the program's own WinMM driver and the virtual
// MIDI interface: ports, a listing, a send and a delete, no keyboard at the far end, and one that goes away.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/e2e/harness.h"
#include "tests/e2e/virtual_stage.h"

namespace su::e2e {
namespace {

constexpr char kConsoleExe[] = "songuploader-cli.exe";

struct ConsoleRun {
  DWORD code = 0xFFFFFFFF;
  DWORD endedAt = 0;  // tick count when the process was seen to end
  std::string out;
  std::string err;
};

// A stage whose program is the console build, run to its end with standard output and error in files.
class ConsoleStage {
 public:
  explicit ConsoleStage(const std::string& config) : stage_("console", config, kConsoleExe) {
    EXPECT_TRUE(CopyFileA((ProgramFolder() + kConsoleExe).c_str(), stage_.program.c_str(), FALSE))
        << "the console build is not beside the program";
    // A format 0 song of one note.
    WriteFileBytes(stage_.song, std::string("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\x0b"
                                            "\0\x90\x3c\x64\x60\x3c\0\0\xff\x2f\0",
                                            33));
  }

  // `input`: a file for standard input (else none).
  ConsoleRun Run(const std::string& arguments, const std::string& input = "") {
    const std::string out = stage_.folder + "\\out.txt";
    const std::string err = stage_.folder + "\\err.txt";
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outFile = CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE errFile = CreateFileA(err.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    SetEnvironmentVariableA("SU_VMIDI_CONFIG", stage_.config.c_str());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    HANDLE inFile = input.empty() ? INVALID_HANDLE_VALUE
                                  : CreateFileA(input.c_str(), GENERIC_READ, FILE_SHARE_READ, &inherit,
                                                OPEN_EXISTING, 0, nullptr);
    startup.hStdInput = inFile;
    startup.hStdOutput = outFile;
    startup.hStdError = errFile;
    PROCESS_INFORMATION process{};
    std::string line = "\"" + stage_.program + "\" " + arguments;
    ConsoleRun run;
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, stage_.folder.c_str(), &startup,
                       &process)) {
      WaitForSingleObject(process.hProcess, 60000);
      run.endedAt = GetTickCount();
      GetExitCodeProcess(process.hProcess, &run.code);
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
    }
    CloseHandle(outFile);
    CloseHandle(errFile);
    if (inFile != INVALID_HANDLE_VALUE) CloseHandle(inFile);
    run.out = ReadWholeFile(out);
    run.err = ReadWholeFile(err);
    return run;
  }

  const std::string& Song() const { return stage_.song; }
  const std::string& Folder() const { return stage_.folder; }
  std::string Trace() const { return ReadWholeFile(stage_.trace); }

 private:
  VirtualStage stage_;
};

// Text written to a console file on Windows may carry carriage returns; the checks look for lines.
bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ConsoleBuild, ListsSendsAndDeletesOverTheVirtualInterface) {
  ConsoleStage stage("in=QK USB IN 1\nout=QK USB OUT 1\nmodel=2\nslot=0,Morning Waltz,5120\n");

  ConsoleRun r = stage.Run("ports");
  EXPECT_EQ(r.code, 0u) << r.err;
  EXPECT_TRUE(Has(r.out, "0  QK USB IN 1")) << r.out;

  r = stage.Run("list --json");
  EXPECT_EQ(r.code, 0u) << r.err;
  EXPECT_TRUE(Has(r.out, "{\"slot\":\"30\",\"used\":true,\"name\":\"Morning Waltz\",\"kb\":5,\"bytes\":5120}")) << r.out;

  r = stage.Run("send \"" + stage.Song() + "\" --slot 31");
  EXPECT_EQ(r.code, 0u) << r.err;
  EXPECT_TRUE(Has(r.out, "Complete!")) << r.out;

  r = stage.Run("delete --slot 30 --yes");
  EXPECT_EQ(r.code, 0u) << r.err;
  EXPECT_TRUE(Has(r.out, "Complete to delete.")) << r.out;
}

// Song bytes through standard input and output stay as they are: a 0A byte is not made 0D 0A, a 1A byte
// does not end the input. The song's note and velocity are those bytes, so both are in the song file too.
TEST(ConsoleBuild, SongBytesPassStandardInputAndOutputUnchanged) {
  ConsoleStage stage("in=QK USB IN 1\nout=QK USB OUT 1\nmodel=2\n");
  const std::string song = stage.Folder() + "\\Song.mid";  // the name a song from standard input gets
  WriteFileBytes(song, std::string("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\x0c"
                                   "\0\x90\x0a\x1a\x60\x80\x0a\0\0\xff\x2f\0",
                                   34));
  ConsoleRun r = stage.Run("convert Song.mid -o Expected.sq2");
  ASSERT_EQ(r.code, 0u) << r.err;
  const std::string expected = ReadWholeFile(stage.Folder() + "\\Expected.sq2");
  ASSERT_TRUE(Has(expected, "\x0a")) << "the song file should hold a line feed byte";

  r = stage.Run("convert - -o -", song);
  EXPECT_EQ(r.code, 0u) << r.err;
  EXPECT_EQ(r.out.size(), expected.size());
  EXPECT_TRUE(r.out == expected);
}

TEST(ConsoleBuild, NoKeyboardEndsWithItsOwnExitCode) {
  ConsoleStage stage("identity=no\n");
  const ConsoleRun r = stage.Run("identify");
  EXPECT_EQ(r.code, 3u);
  EXPECT_TRUE(Has(r.err, "There is no response from a keyboard.")) << r.err;
}

TEST(ConsoleBuild, ASendRefusedForAKeyboardGoneEndsWithMessage38AtOnce) {
  // A family B keyboard goes with the first closing frame; the second one, sent straight after it with no
  // answer between, is the first call refused for it. Without a window nothing but the driver's report of
  // the loss can end the wait for that send before its 3 s.
  ConsoleStage stage("family=b\nmodel=2\nslot=0,Evening Song,5000\nfree=100000\nmax_song=20480\n"
                     "unplug_with=F0 44 15 01 7F 0D\n");
  const ConsoleRun r = stage.Run("send \"" + stage.Song() + "\" --slot 62");
  EXPECT_EQ(r.code, 5u) << r.err;
  EXPECT_TRUE(Has(r.err, "The timeout error occured.")) << r.err;
  const std::string trace = stage.Trace(), noticed = "first noticed at tick ";
  ASSERT_NE(trace.find(noticed), std::string::npos) << trace;
  const DWORD seen = std::stoul(trace.substr(trace.find(noticed) + noticed.size()));
  EXPECT_LT(r.endedAt - seen, 500u) << "the command ended " << r.endedAt - seen << " ms after the refusal\n" << trace;
}

}  // namespace
}  // namespace su::e2e
