// Keyboard identification: the family C reply frame check, the identity request with its model table, the
// family A and B probes, and ConnectKeyboard, which ties the port choice, the opening of the ports and the
// identification together.
#include "midi/identification.h"

#include <cstdio>
#include <memory>
#include <string>

#include "base/run_state.h"
#include "base/screen.h"
#include "midi/device_selection.h"
#include "midi/port_session.h"
#include "resources/resource.h"

namespace su {

namespace {

// Frame head positions shared by every family C message, the identity exchange included.
constexpr std::uint32_t kMinFrameLength = 6;  // F0 44 hi lo command F7
constexpr std::uint8_t kSysExStart = 0xF0;
constexpr std::uint8_t kSysExEnd = 0xF7;
constexpr std::uint8_t kMakerId = 0x44;
constexpr std::uint32_t kModelBytePos = 5;
constexpr std::uint32_t kModelInfoPos = 6;        // four bytes of model information: 6, 7, 8, 9
constexpr std::uint32_t kLengthWithModelInfo = 11;  // ... and the closing F7 at 10

// The identity request: command 00 to model address 0x1400.
constexpr std::uint8_t kIdentityRequest[] = {0xF0, 0x44, 0x14, 0x00, 0x00, 0xF7};

struct ModelRow {
  std::uint8_t modelByte;
  std::int32_t modelType;
  bool keepsModelInfo;  // the converter needs bytes 6..9 for this model
};

constexpr ModelRow kModelTable[] = {
    {2, 4, false},   {3, 5, false},   {4, 6, false},   {5, 7, false},   {6, 8, false},
    {7, 9, false},   {8, 10, false},  {9, 11, false},  {10, 12, false}, {11, 13, true},
    {12, 14, false}, {13, 15, false}, {14, 16, false}, {15, 17, true},  {16, 18, true},
    {17, 19, true},  {18, 20, true},  {19, 23, false}, {20, 24, false}, {21, 28, true},
};

const ModelRow* FindModel(std::uint8_t modelByte) {
  for (const ModelRow& row : kModelTable) {
    if (row.modelByte == modelByte) return &row;
  }
  return nullptr;
}

std::string HexByte(std::uint8_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(value));
  return text;
}

std::string HexModelInfo(const std::uint8_t* info) {
  char text[16];
  std::snprintf(text, sizeof text, "%02x%02x%02x%02x", static_cast<unsigned>(info[0]),
                static_cast<unsigned>(info[1]), static_cast<unsigned>(info[2]), static_cast<unsigned>(info[3]));
  return text;
}

// Closes the wait box however the search ends, a raised failure included.
class WaitBox {
 public:
  WaitBox() : box_(TheScreen().OpenBox(IDD_LOOKING, nullptr, nullptr)) {
    TheScreen().ProgressRange(box_, IDC_PROGRESS, 0, 2);
    TheScreen().ProgressStep(box_, IDC_PROGRESS, 1);
  }
  ~WaitBox() {
    try {
      TheScreen().CloseBox(box_);
    } catch (...) {
      // Nothing sensible is left to do with a box that will not close; the process cleans up at exit.
    }
  }
  WaitBox(const WaitBox&) = delete;
  WaitBox& operator=(const WaitBox&) = delete;

  void Step() { TheScreen().ProgressStepIt(box_, IDC_PROGRESS); }

 private:
  WindowRef box_;
};

}  // namespace

int CheckReplyFrame(std::uint16_t modelAddress, const std::uint8_t* bytes, std::uint32_t length) {
  if (bytes == nullptr || length < kMinFrameLength) return -1;
  if (bytes[0] != kSysExStart || bytes[length - 1] != kSysExEnd) return -1;
  if (bytes[1] != kMakerId) return -1;
  if (bytes[2] != static_cast<std::uint8_t>(modelAddress >> 8)) return -1;
  if (bytes[3] != static_cast<std::uint8_t>(modelAddress & 0xFF)) return -1;
  return bytes[4];
}

int IdentifyKeyboard() {
  RunState& run = Run();
  run.modelCode.clear();
  run.modelInfoValid = 0;
  run.modelInfo.clear();

  if (SendSysEx(kIdentityRequest, sizeof kIdentityRequest) == 0) return 0;

  // Keep taking replies while each comes within the receive time-out; pass over anything unrecognised.
  for (;;) {
    std::unique_ptr<std::uint8_t[]> reply;
    std::uint32_t length = 0;
    if (ReceiveSysEx(&reply, &length) == 0) return 0;
    if (CheckReplyFrame(kModelAddressC, reply.get(), length) < 0) continue;

    const std::uint8_t modelByte = reply[kModelBytePos];
    run.modelCode = HexByte(modelByte);
    const ModelRow* row = FindModel(modelByte);
    if (row == nullptr) continue;
    if (row->keepsModelInfo) {
      // A reply too short to carry the model information the converter needs for this model cannot be
      // used; it is passed over like an unrecognised one.
      if (length < kLengthWithModelInfo) continue;
      run.modelInfo = HexModelInfo(&reply[kModelInfoPos]);
      run.modelInfoValid = 1;
    }
    run.modelType = row->modelType;
    return 1;
  }
}

// The family A and B probes come with those families' protocols; until then no such keyboard is found.
int ProbeFamilyA() { return 0; }
int ProbeFamilyB() { return 0; }

int ConnectKeyboard() {
  bool retry = false;
  for (;;) {
    if (retry || CheckDeviceSetup() != 0) {
      if (ShowMidiDeviceDialog() != 0) return 0;
    }
    if (CheckHyperthreading() != 0) {
      ShowMessage(nullptr, IDS_HYPERTHREADING, BoxKind::Warning);
      return 0;
    }
    if (OpenMidiPorts() == 0) {
      ShowMessage(nullptr, IDS_DEVICE_BUSY, BoxKind::Ok);
      return 0;
    }

    int found = 0;
    {
      WaitBox box;
      // A failed start shows up as a silent keyboard: the identification then times out.
      StartMidiInput();
      box.Step();
      found = IdentifyKeyboard();
      if (found == 0) {
        box.Step();
        found = ProbeFamilyA();
      }
      if (found == 0) {
        box.Step();
        found = ProbeFamilyB();
      }
    }
    if (found != 0) return 1;

    // The ports stay open: the next OpenMidiPorts closes them first, CleanUp otherwise.
    if (ShowMessage(nullptr, IDS_NO_RESPONSE, BoxKind::YesNo) == kAnswerNo) return 0;
    retry = true;
  }
}

}  // namespace su
