// Keyboard identification: the family C reply frame check and the identity request with its model table.
#include "midi/identification.h"

#include <memory>
#include <string>

#include "base/run_state.h"
#include "midi/port_session.h"

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

// Hexadecimal digits written by hand: the C library's formatted output would bring its floating-point
// formatting into the page's core with it.
constexpr char kHexDigits[] = "0123456789abcdef";

std::string HexByte(std::uint8_t value) {
  std::string text;
  if (value >= 0x10) text += kHexDigits[value >> 4];
  return text + kHexDigits[value & 0x0F];
}

std::string HexModelInfo(const std::uint8_t* info) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    text += kHexDigits[info[i] >> 4];
    text += kHexDigits[info[i] & 0x0F];
  }
  return text;
}

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


}  // namespace su
