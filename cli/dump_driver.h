// --dump: every System Exclusive message sent to the keyboard and received from it, in hex with the time
// since the first, on standard error (for bug reports). A driver in front of the real one; everything else
// passes straight through.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

#include "midi/midi_driver.h"

namespace su::cli {

class DumpingDriver : public MidiDriver {
 public:
  DumpingDriver(MidiDriver& inner, std::ostream& out) : inner_(inner), out_(out) {}

  std::uint32_t InDeviceCount() override { return inner_.InDeviceCount(); }
  std::uint32_t OutDeviceCount() override { return inner_.OutDeviceCount(); }
  bool InDeviceName(std::int32_t index, std::string* name) override { return inner_.InDeviceName(index, name); }
  bool OutDeviceName(std::int32_t index, std::string* name) override { return inner_.OutDeviceName(index, name); }
  bool OpenIn(std::int32_t index, EventRef filled) override { return inner_.OpenIn(index, filled); }
  bool IsInOpen() const override { return inner_.IsInOpen(); }
  bool ResetIn() override { return inner_.ResetIn(); }
  bool StartIn() override { return inner_.StartIn(); }
  bool StopIn() override { return inner_.StopIn(); }
  bool CloseIn() override { return inner_.CloseIn(); }
  void SetInBuffer(std::uint8_t* data, std::uint32_t size) override {
    inBuffer_ = data;
    inner_.SetInBuffer(data, size);
  }
  void ClearInHeader() override { inner_.ClearInHeader(); }
  bool PrepareIn() override { return inner_.PrepareIn(); }
  bool UnprepareIn() override { return inner_.UnprepareIn(); }
  bool AddIn() override { return inner_.AddIn(); }
  std::uint32_t InBytesRecorded() override;
  bool OpenOut(std::int32_t index, EventRef done) override { return inner_.OpenOut(index, done); }
  bool IsOutOpen() const override { return inner_.IsOutOpen(); }
  void SetOutMessage(const std::uint8_t* data, std::uint32_t size) override {
    outData_ = data;
    outSize_ = size;
    inner_.SetOutMessage(data, size);
  }
  bool PrepareOut() override { return inner_.PrepareOut(); }
  bool SendOut() override;
  bool UnprepareOut() override { return inner_.UnprepareOut(); }
  bool ResetOut() override { return inner_.ResetOut(); }
  bool CloseOut() override { return inner_.CloseOut(); }
  void ReportLossTo(EventRef loss) override { inner_.ReportLossTo(loss); }
  bool DeviceRemoved() const override { return inner_.DeviceRemoved(); }
  std::string LastFailure() const override { return inner_.LastFailure(); }

 private:
  void Dump(const char* direction, const std::uint8_t* bytes, std::uint32_t size, const char* note);

  MidiDriver& inner_;
  std::ostream& out_;
  std::uint8_t* inBuffer_ = nullptr;
  const std::uint8_t* outData_ = nullptr;
  std::uint32_t outSize_ = 0;
  bool started_ = false;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace su::cli
