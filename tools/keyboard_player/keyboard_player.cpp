// The keyboard player: the virtual keyboard behind a pair of MIDI ports of its own, over RtMidi, so that
// songuploader can be tried without a keyboard. It reads the same config files as the demos
// (tools/virtual_midi/*.cfg): `in=` names the port songuploader reads from (our output), `out=` the port it
// writes to (our input); every other line describes the keyboard.
//
//   keyboard_player CONFIG [--api alsa|jack]
//
// Without --api it chooses the MIDI system as songuploader does: the ALSA sequencer when it is there, else
// JACK. It prints "ready" once its ports are open and runs until Ctrl-C or SIGTERM.
#include <rtmidi/RtMidi.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "midi/rtmidi/rtmidi_driver.h"
#include "tools/virtual_keyboard/virtual_keyboard.h"
#include "tools/virtual_midi/vmidi_config.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

volatile std::sig_atomic_t gStop = 0;
extern "C" void OnStop(int) { gStop = 1; }

// Messages from the program are handed to the keyboard on a worker thread (not on the MIDI system's own);
// its answers wait there until they are due and then go out.
class Player : public su::test::ReplySink {
 public:
  Player(su::test::VirtualKeyboard& keyboard, RtMidiOut& out) : keyboard_(keyboard), out_(out) {}

  void Received(const std::vector<unsigned char>& message) {
    if (message.empty() || message[0] != 0xF0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    incoming_.emplace_back(message.begin(), message.end());
    changed_.notify_all();
  }

  void Reply(Bytes bytes, std::uint32_t delayMs) override {
    // Called from the worker itself, inside OnMessage.
    due_.emplace(std::make_pair(Clock::now() + std::chrono::milliseconds(delayMs), order_++), std::move(bytes));
  }

  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (gStop == 0) {
      while (!incoming_.empty()) {
        Bytes message = std::move(incoming_.front());
        incoming_.pop_front();
        lock.unlock();
        keyboard_.OnMessage(message, *this);
        lock.lock();
      }
      const auto now = Clock::now();
      while (!due_.empty() && due_.begin()->first.first <= now) {
        out_.sendMessage(&due_.begin()->second);
        due_.erase(due_.begin());
      }
      const auto wake = due_.empty() ? now + std::chrono::milliseconds(50)
                                     : std::min(due_.begin()->first.first, now + std::chrono::milliseconds(50));
      changed_.wait_until(lock, wake);
    }
  }

 private:
  su::test::VirtualKeyboard& keyboard_;
  RtMidiOut& out_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Bytes> incoming_;
  std::map<std::pair<Clock::time_point, std::uint64_t>, Bytes> due_;
  std::uint64_t order_ = 0;
};

void OnInput(double, std::vector<unsigned char>* message, void* player) {
  static_cast<Player*>(player)->Received(*message);
}

}  // namespace

int main(int argc, char** argv) {
  std::string configPath;
  su::MidiSystem system = su::MidiSystem::Default;
  bool usage = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--api" || arg.rfind("--api=", 0) == 0) {
      const std::string name = arg.size() > 5 ? arg.substr(6) : i + 1 < argc ? argv[++i] : "";
      if (name == "alsa") system = su::MidiSystem::Alsa;
      else if (name == "jack") system = su::MidiSystem::Jack;
      else usage = true;
    } else if (configPath.empty() && !arg.empty() && arg[0] != '-') {
      configPath = arg;
    } else {
      usage = true;
    }
  }
  if (usage || configPath.empty()) {
    std::cerr << "usage: keyboard_player CONFIG [--api alsa|jack]\n";
    return 2;
  }
  system = su::ResolveMidiSystem(system);
  const RtMidi::Api api = system == su::MidiSystem::Alsa   ? RtMidi::LINUX_ALSA
                          : system == su::MidiSystem::Jack ? RtMidi::UNIX_JACK
                                                           : RtMidi::UNSPECIFIED;
  std::ifstream file(configPath);
  std::stringstream text;
  text << file.rdbuf();
  su::test::VirtualMidiConfig midi;
  su::test::KeyboardConfig config;
  std::string error;
  if (!file || !su::test::ParseVirtualMidiConfig(text.str(), &midi, &error) ||
      !su::test::ParseKeyboardConfig(midi.keyboardText, &config, &error)) {
    std::cerr << "keyboard_player: " << configPath << ": " << (error.empty() ? "cannot be read" : error) << '\n';
    return 2;
  }

  try {
    su::test::VirtualKeyboard keyboard(config);
    RtMidiIn in(api, "virtual keyboard");
    RtMidiOut out(api, "virtual keyboard");
    Player player(keyboard, out);
    in.ignoreTypes(false, true, true);
    in.setCallback(OnInput, &player);
    // Named from songuploader's side: it reads from the `in=` port and writes to the `out=` port.
    out.openVirtualPort(midi.inNames.empty() ? "Virtual MIDI In" : midi.inNames.front());
    in.openVirtualPort(midi.outNames.empty() ? "Virtual MIDI Out" : midi.outNames.front());
    std::signal(SIGINT, OnStop);
    std::signal(SIGTERM, OnStop);
    std::cout << "ready" << std::endl;
    player.Run();
    in.closePort();
    out.closePort();
  } catch (const RtMidiError& e) {
    std::cerr << "keyboard_player: " << e.getMessage() << '\n';
    return 1;
  }
  return 0;
}
