// Processor time of a song transfer: a 200 KB song image sent in blocks over the virtual link with no
// latency, for family C (announced, packed, closed with its CRC-32) and family A (word triplets, one answer
// per block, the closing frames). Targets: under 2 microseconds of protocol work per block, the whole
// transfer under 10 ms.
//
//  - .../VirtualKeyboard: against the virtual keyboard, which also checks, stores and unpacks every block;
//  - .../AckingPeer: against a peer that answers every message at once, so the time is the program's own
//    (encoding, frames, checksums, the waits) plus the virtual link's bookkeeping.
// "per_block" is the processor time per data block, "transfer" per whole transfer.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "app/dialogs/dialog_progress.h"
#include "base/run_state.h"
#include "midi/port_session.h"
#include "midi/seven_bit.h"
#include "resources/resource.h"
#include "tests/support/fake_screen.h"
#include "tests/support/virtual_link.h"
#include "tools/virtual_keyboard/virtual_keyboard.h"
#include "transfer/family_a/frames.h"
#include "transfer/family_a/protocol.h"
#include "transfer/family_c/frames.h"
#include "transfer/family_c/protocol.h"

namespace su {
namespace {

constexpr std::uint32_t kImageSize = 200 * 1024;

std::vector<std::uint8_t> SongImage() {
  std::mt19937 random(2024);
  std::vector<std::uint8_t> image(kImageSize);
  for (auto& b : image) b = static_cast<std::uint8_t>(random());
  return image;
}

std::uint32_t BlockCountC() {
  const std::uint32_t packed = PackedLength(kImageSize);
  return packed / family_c::kBlockDataMax + (packed % family_c::kBlockDataMax != 0 ? 1 : 0);
}

constexpr std::uint32_t kBlockCountA = kImageSize / family_a::kBlockBytes;

// Runs `transfer` (one whole transfer of `image` into the dialog's progress) once per iteration over the
// virtual link to `peer`, and counts `blocks` per transfer.
template <typename Transfer>
void RunTransfers(benchmark::State& state, test::VirtualPeer& peer, std::uint32_t blocks, Transfer transfer) {
  test::FakeScreen screen;
  test::ScopedScreen scoped(screen);
  test::VirtualLink link;
  link.SetInDevices({"Virtual in"});
  link.SetOutDevices({"Virtual out"});
  link.SetSendDoneDelay(0);
  link.AttachPeer(&peer);
  InstallMidi(&link, &link);
  Run().midiInIndex = 0;
  Run().midiOutIndex = 0;
  if (OpenMidiPorts() != 1 || StartMidiInput() != 1) {
    state.SkipWithError("the virtual ports did not open");
    return;
  }
  const WindowRef dialog = screen.OpenBox(IDD_SEND_C, nullptr, nullptr);
  const std::vector<std::uint8_t> image = SongImage();

  for (auto _ : state) {
    DialogProgress progress(dialog);
    if (!transfer(progress, image)) {
      state.SkipWithError("the song was refused");
      break;
    }
  }

  state.counters["blocks"] = blocks;
  state.counters["per_block"] =
      benchmark::Counter(blocks, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["transfer"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
  CloseMidiPorts();
  InstallMidi(nullptr, nullptr);
  Run().midiInIndex = -1;
  Run().midiOutIndex = -1;
}

bool TransferC(TransferProgress& progress, const std::vector<std::uint8_t>& image) {
  if (AnnounceSong(0, kImageSize) != 1) return false;
  SendSongImage(progress, image.data(), kImageSize);
  return true;
}

bool TransferA(TransferProgress& progress, const std::vector<std::uint8_t>& image) {
  SendSongImageA(family_a::kAddressType21, 0, progress, image.data(), kImageSize);
  return true;
}

void VirtualKeyboard(benchmark::State& state) {
  test::KeyboardConfig config;
  config.freeMemory = 64u << 20;
  test::VirtualKeyboard keyboard(config);
  RunTransfers(state, keyboard, BlockCountC(), TransferC);
  if (!keyboard.Faults().empty()) state.SkipWithError(keyboard.Faults().front().c_str());
}

void AckingPeer(benchmark::State& state) {
  test::ScriptedPeer peer([ack = test::KeyboardAck()](const std::vector<std::uint8_t>&, test::ReplySink& sink) {
    sink.Reply(ack, 0);
  });
  RunTransfers(state, peer, BlockCountC(), TransferC);
}

void VirtualKeyboardA(benchmark::State& state) {
  test::KeyboardConfig config;
  config.family = test::KeyboardFamily::A;
  config.freeMemory = 64u << 20;
  test::VirtualKeyboard keyboard(config);
  RunTransfers(state, keyboard, kBlockCountA, TransferA);
  if (!keyboard.Faults().empty()) state.SkipWithError(keyboard.Faults().front().c_str());
}

// Every block is answered "taken" at once; other frames go unanswered, as the keyboard leaves them.
void AckingPeerA(benchmark::State& state) {
  const std::vector<std::uint8_t> taken = {0xF0, 0x44, 0x11, 0x03, 0x00, 0x07, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7};
  test::ScriptedPeer peer([taken](const std::vector<std::uint8_t>& m, test::ReplySink& sink) {
    if (m.size() > 5 && m[5] == family_a::kActBlock) sink.Reply(taken, 0);
  });
  RunTransfers(state, peer, kBlockCountA, TransferA);
}

// Processor time is what the targets are about; the virtual link never sleeps, so it equals wall time. The
// iterations are fixed because the link and the keyboard keep every message they saw.
BENCHMARK(VirtualKeyboard)
    ->Name("FamilyCTransfer/VirtualKeyboard")
    ->MeasureProcessCPUTime()
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(AckingPeer)
    ->Name("FamilyCTransfer/AckingPeer")
    ->MeasureProcessCPUTime()
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(VirtualKeyboardA)
    ->Name("FamilyATransfer/VirtualKeyboard")
    ->MeasureProcessCPUTime()
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(AckingPeerA)
    ->Name("FamilyATransfer/AckingPeer")
    ->MeasureProcessCPUTime()
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace su

BENCHMARK_MAIN();
