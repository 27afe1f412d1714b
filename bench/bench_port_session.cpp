// What the port session's waits cost.
//   SilentReceive: one ReceiveSysEx that times out after 3000 ms of real time, over a clock that blocks the
//     way the program's does (a timed wait on the event). Processor time must stay far below 1% of the wall
//     time: the counter cpu_percent reports it.
//   RoundTrip: one SendSysEx and the ReceiveSysEx of its reply through the virtual link (virtual time): the
//     session's own cost per exchange.
#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/run_state.h"
#include "midi/port_session.h"
#include "tests/support/virtual_link.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

// A real-time clock whose waits block on a condition variable, as the program's block in the system's
// message-aware wait. There are no window messages here.
class BlockingClock : public su::Clock {
 public:
  struct Event {
    std::mutex mutex;
    std::condition_variable changed;
    bool set = false;
  };
  su::EventRef NewEvent() override { return new Event; }
  void DeleteEvent(su::EventRef event) override { delete static_cast<Event*>(event); }
  std::uint32_t Ticks() override {
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now().time_since_epoch()).count());
  }
  void Pause(std::uint32_t ms) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
  // The silent driver never reports a loss: the loss event is never set, so it is not watched.
  su::Wake WaitEventOrInput(su::EventRef ref, su::EventRef, std::uint32_t ms) override {
    auto* event = static_cast<Event*>(ref);
    if (event == nullptr) {
      Pause(ms);
      return su::Wake::Quiet;
    }
    std::unique_lock<std::mutex> lock(event->mutex);
    if (!event->changed.wait_for(lock, std::chrono::milliseconds(ms), [&] { return event->set; })) {
      return su::Wake::Quiet;
    }
    event->set = false;
    return su::Wake::Event;
  }
  void DispatchWindowMessages() override {}
};

// Ports that open and accept everything and from which nothing ever arrives.
class SilentDriver : public su::MidiDriver {
 public:
  std::uint32_t InDeviceCount() override { return 1; }
  std::uint32_t OutDeviceCount() override { return 1; }
  bool InDeviceName(std::int32_t index, std::string* name) override { return index == 0 && (*name = "In", true); }
  bool OutDeviceName(std::int32_t index, std::string* name) override { return index == 0 && (*name = "Out", true); }
  bool OpenIn(std::int32_t, su::EventRef) override { return inOpen_ = true; }
  bool IsInOpen() const override { return inOpen_; }
  bool ResetIn() override { return true; }
  bool StartIn() override { return true; }
  bool StopIn() override { return true; }
  bool CloseIn() override { return !(inOpen_ = false); }
  void SetInBuffer(std::uint8_t*, std::uint32_t) override {}
  void ClearInHeader() override {}
  bool PrepareIn() override { return true; }
  bool UnprepareIn() override { return true; }
  bool AddIn() override { return true; }
  std::uint32_t InBytesRecorded() override { return 0; }
  bool OpenOut(std::int32_t, su::EventRef) override { return outOpen_ = true; }
  bool IsOutOpen() const override { return outOpen_; }
  void SetOutMessage(const std::uint8_t*, std::uint32_t) override {}
  bool PrepareOut() override { return true; }
  bool SendOut() override { return true; }
  bool UnprepareOut() override { return true; }
  bool ResetOut() override { return true; }
  bool CloseOut() override { return !(outOpen_ = false); }

 private:
  bool inOpen_ = false, outOpen_ = false;
};

void SilentReceive(benchmark::State& state) {
  SilentDriver driver;
  BlockingClock clock;
  su::InstallMidi(&driver, &clock);
  su::Run().midiInIndex = 0;
  su::Run().midiOutIndex = 0;
  if (su::OpenMidiPorts() != 1 || su::StartMidiInput() != 1) {
    state.SkipWithError("ports did not open");
    return;
  }
  double cpuSeconds = 0, wallSeconds = 0;
  for (auto _ : state) {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::uint32_t length = 0;
    const std::clock_t cpuBefore = std::clock();
    const auto wallBefore = SteadyClock::now();
    const int result = su::ReceiveSysEx(&bytes, &length);
    wallSeconds += std::chrono::duration<double>(SteadyClock::now() - wallBefore).count();
    cpuSeconds += static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    if (result != 0) state.SkipWithError("a silent receive must time out");
  }
  state.counters["wall_ms"] = benchmark::Counter(1000 * wallSeconds / state.iterations());
  state.counters["cpu_ms"] = benchmark::Counter(1000 * cpuSeconds / state.iterations());
  state.counters["cpu_percent"] = benchmark::Counter(wallSeconds > 0 ? 100 * cpuSeconds / wallSeconds : 0);
  su::CloseMidiPorts();
  su::InstallMidi(nullptr, nullptr);
}
BENCHMARK(SilentReceive)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void RoundTrip(benchmark::State& state) {
  su::test::VirtualLink link;
  link.SetInDevices({"In"});
  link.SetOutDevices({"Out"});
  su::test::ScriptedPeer echo([](const std::vector<std::uint8_t>& message, su::test::ReplySink& sink) {
    sink.Reply(message, 2);
  });
  link.AttachPeer(&echo);
  su::InstallMidi(&link, &link);
  su::Run().midiInIndex = 0;
  su::Run().midiOutIndex = 0;
  if (su::OpenMidiPorts() != 1 || su::StartMidiInput() != 1) {
    state.SkipWithError("ports did not open");
    return;
  }
  const std::vector<std::uint8_t> request = {0xF0, 0x44, 0x14, 0x00, 0x00, 0xF7};
  for (auto _ : state) {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::uint32_t length = 0;
    if (su::SendSysEx(request.data(), static_cast<std::uint32_t>(request.size())) != 1 ||
        su::ReceiveSysEx(&bytes, &length) != 1 || length != request.size()) {
      state.SkipWithError("the exchange failed");
      break;
    }
    benchmark::DoNotOptimize(bytes.get());
  }
  su::CloseMidiPorts();
  su::InstallMidi(nullptr, nullptr);
}
BENCHMARK(RoundTrip);

}  // namespace

BENCHMARK_MAIN();
