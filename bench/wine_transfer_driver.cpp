// Drives one send of a song of about 200 KB (as a song image) through the real program under Wine to the
// virtual keyboard behind the test-only winmm.dll, and reports where the time goes per data block. The
// interface timestamps, in microseconds, every long message the program hands in and every answer it lands
// in the program's input buffer; from them:
//   wall       - from one data block handed in to the next;
//   own turn   - from the answer to a block landing to the next block handed in: the program's own work
//                (its wait waking, the answer's check, the progress bar, the next block's frame);
//   keyboard   - from a block handed in to its answer landing: the keyboard's time (its delay included).
// Usage (under Wine, from test-bin/): wine_transfer_driver.exe DELAY_MS
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "bench/realistic_song.h"
#include "resources/resource.h"
#include "tests/e2e/harness.h"
#include "tests/e2e/virtual_stage.h"

namespace {

using namespace su::e2e;

constexpr DWORD kTransferMs = 600000;
constexpr std::uint8_t kDataBlock = 0x04;

struct Stats {
  double median = 0, mean = 0, total = 0;
  std::size_t count = 0;
};

Stats Summarise(std::vector<double> values) {
  Stats s;
  s.count = values.size();
  if (values.empty()) return s;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  s.total = std::accumulate(values.begin(), values.end(), 0.0);
  s.mean = s.total / double(n);
  return s;
}

struct Stamp {
  bool send;
  long long micros;
  unsigned code;
};

std::vector<Stamp> ReadStamps(const std::string& path) {
  std::vector<Stamp> stamps;
  std::istringstream lines(ReadWholeFile(path));
  std::string what;
  long long micros = 0;
  unsigned code = 0;
  while (lines >> what >> std::dec >> micros >> std::hex >> code) stamps.push_back({what == "send", micros, code});
  return stamps;
}

int Fail(const char* what) {
  std::fprintf(stderr, "wine_transfer_driver: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const int delayMs = argc > 1 ? std::atoi(argv[1]) : 0;
  const std::string keyboard = "model=2\nfree=16000000\ndelay_ms=" + std::to_string(delayMs) + "\n";
  VirtualStage stage("wine_transfer", "");
  const std::string stamps = stage.folder + "\\stamps.txt";
  // Written again without the frame log of the stage: a file write per message would slow the keyboard.
  // The driver reports a send done at once, so only the answers pace the transfer.
  WriteFileBytes(stage.config, "in=Virtual MIDI In\nout=Virtual MIDI Out\ndone_ms=0\ntimestamps=" + stamps + "\n" +
                                   keyboard);
  WriteFileBytes(stage.settings, "[SONGPORT]\r\nIN=0\r\nOUT=0\r\n");
  const su::bench::Bytes song = su::bench::RealisticSong({"200KB image", 172 * 1024, 9});
  WriteFileBytes(stage.song, std::string(song.begin(), song.end()));

  Program program(stage.Options());
  if (!program.Started()) return Fail("the program did not start");
  HWND selection = program.WaitWindow("Selection");
  if (selection == nullptr) return Fail("no Selection dialog");
  PressButton(selection, IDOK);
  HWND send = program.WaitWindow("Send the Data", 30000);
  if (send == nullptr) return Fail("no Send the Data dialog");
  if (!WaitUntil([&] { return ListRowCount(send, IDC_SLOT_LIST) == 10 && ControlText(send, IDC_FREE_SIZE) != ""; })) {
    return Fail("the slots were never listed");
  }
  std::size_t imageBytes = 0;
  const std::vector<std::string> workDirs = WorkDirectories(stage.temp);
  if (workDirs.size() == 1) imageBytes = ReadWholeFile(stage.temp + "\\" + workDirs[0] + "\\song.sq0").size();

  PressButton(send, IDC_SEND);
  HWND box = program.WaitMessageBox(kTransferMs);
  if (box == nullptr) return Fail("no message after Send");
  const std::string text = MessageBoxText(box);
  AnswerMessageBox(box, IDOK);
  if (!program.WaitExit()) return Fail("the program did not end");
  if (text != "Complete!") return Fail(("the send ended with: " + text).c_str());

  // Pair every data block handed in with the answer that came next, and that answer with the next message.
  const std::vector<Stamp> all = ReadStamps(stamps);
  std::vector<double> wall, turn, kept;
  long long firstBlock = -1, lastAnswer = -1, previousBlock = -1;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (!all[i].send || all[i].code != kDataBlock) continue;
    if (firstBlock < 0) firstBlock = all[i].micros;
    if (previousBlock >= 0) wall.push_back(double(all[i].micros - previousBlock));
    previousBlock = all[i].micros;
    if (i > 0 && !all[i - 1].send) {
      const bool afterBlock = i > 1 && all[i - 2].send && all[i - 2].code == kDataBlock;
      if (afterBlock) turn.push_back(double(all[i].micros - all[i - 1].micros));
    }
    if (i + 1 < all.size() && !all[i + 1].send) {
      kept.push_back(double(all[i + 1].micros - all[i].micros));
      lastAnswer = all[i + 1].micros;
    }
  }
  if (wall.empty() || turn.empty()) return Fail("no data blocks were recorded");
  const Stats w = Summarise(wall), t = Summarise(turn), k = Summarise(kept);
  const double transferMs = double(lastAnswer - firstBlock) / 1000.0;
  std::printf("keyboard delay %d ms, song image %zu bytes, %zu data blocks, transfer %.1f ms\n", delayMs, imageBytes,
              k.count, transferMs);
  std::printf("  wall per block      median %8.1f us  mean %8.1f us\n", w.median, w.mean);
  std::printf("  own turn per block  median %8.1f us  mean %8.1f us\n", t.median, t.mean);
  std::printf("  keyboard per block  median %8.1f us  mean %8.1f us  (its own time in all %.1f ms)\n", k.median,
              k.mean, k.total / 1000.0);
  if (delayMs > 0) {
    const double nominal = double(k.count) * delayMs;
    std::printf("  transfer / keyboard's own time: %.3f (measured), %.3f (its nominal %d ms x %zu blocks)\n",
                transferMs / (k.total / 1000.0), transferMs / nominal, delayMs, k.count);
  }
  RemoveFolderTree(stage.folder);
  RemoveFolderTree(stage.temp);
  return 0;
}
