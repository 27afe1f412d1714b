// A fixture that wires the program to the virtual link: one input and one output device, chosen in a fresh
// run state, and a recording screen installed. A test puts a virtual keyboard or a scripted peer at the far
// end and opens the ports as it needs. Tear-down closes the ports, expects no driver misuse and no protocol
// fault noticed by the keyboard, uninstalls everything and leaves a fresh run state.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "base/run_state.h"
#include "midi/port_session.h"
#include "midi/system_affinity.h"
#include "tests/support/fake_screen.h"
#include "tests/support/state_folder.h"
#include "tests/support/virtual_link.h"
#include "tools/virtual_keyboard/virtual_keyboard.h"

namespace su::test {

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    su::Run() = RunState{};
    link.SetInDevices({"Virtual in"});
    link.SetOutDevices({"Virtual out"});
    InstallMidi(&link, &link);
    su::Run().midiInIndex = 0;
    su::Run().midiOutIndex = 0;
  }
  void TearDown() override {
    CloseMidiPorts();
    EXPECT_TRUE(link.Misuse().empty()) << link.Misuse().front();
    if (keyboard) {
      EXPECT_TRUE(keyboard->Faults().empty()) << keyboard->Faults().front();
    }
    InstallMidi(nullptr, nullptr);
    InstallAffinityMaskSource(nullptr);
    su::Run() = RunState{};
  }

  // Opens both ports and starts input, as a flow does once the keyboard is found.
  void OpenPorts() {
    ASSERT_EQ(OpenMidiPorts(), 1);
    ASSERT_EQ(StartMidiInput(), 1);
  }
  // A virtual keyboard at the far end of the link, in place of whatever was there.
  VirtualKeyboard& Connect(KeyboardConfig config = {}) {
    keyboard = std::make_unique<VirtualKeyboard>(std::move(config));
    link.AttachPeer(keyboard.get());
    return *keyboard;
  }
  // What the program sent from message `from` on.
  std::vector<std::vector<std::uint8_t>> SentSince(std::size_t from) const {
    return {link.Sent().begin() + static_cast<std::ptrdiff_t>(from), link.Sent().end()};
  }
  // A peer that answers from `script`, in place of whatever was there.
  void Script(ScriptedPeer::Script script) {
    peer = std::make_unique<ScriptedPeer>(std::move(script));
    link.AttachPeer(peer.get());
  }

  VirtualLink link;
  FakeScreen screen;
  ScopedScreen scopedScreen{screen};
  std::unique_ptr<VirtualKeyboard> keyboard;
  std::unique_ptr<ScriptedPeer> peer;
};

}  // namespace su::test
