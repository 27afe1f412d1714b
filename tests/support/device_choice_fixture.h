// The machine that the port-choice tests start from: three MIDI inputs and two outputs on the virtual link,
// no ports chosen yet, and a settings file in memory beside the program.
#pragma once

#include <cstdint>

#include "base/run_state.h"
#include "base/settings.h"
#include "tests/support/link_fixture.h"
#include "tests/support/recording_profile.h"

namespace su::test {

class DeviceChoiceTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    link.SetInDevices({"Synth In", "2- QK USB IN 1", "Loop In"});
    link.SetOutDevices({"Synth Out", "2- QK USB OUT 1"});
    InstallProfileFile(&profile);
    Choose(-1, -1);
    MakeSettingsPath();
  }
  void TearDown() override {
    InstallProfileFile(nullptr);
    LinkTest::TearDown();
  }
  void Choose(std::int32_t in, std::int32_t out) {
    su::Run().midiInIndex = in;
    su::Run().midiOutIndex = out;
  }

  RecordingProfile profile;
};

}  // namespace su::test
