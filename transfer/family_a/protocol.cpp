// The family A operations. Answers are taken by their action, area and parameter bytes; anything else that
// arrives in between (other devices, answers to other parameters, answers too short for the bytes read
// from them) is passed over, and every receive waits its full time afresh.
#include "transfer/family_a/protocol.h"

#include <cstring>
#include <memory>
#include <string>

#include "base/errors.h"
#include "base/run_state.h"
#include "midi/port_session.h"
#include "resources/message_numbers.h"
#include "transfer/family_a/frames.h"
#include "transfer/septet_encodings.h"

namespace su {

using namespace family_a;

namespace {

constexpr char kUntitled[] = "(Untitled)";
static_assert(sizeof(kUntitled) <= kSlotNameSizeA, "the untitled mark fits the name field");

// How many asks in a row to start the image over may come without getting further than any earlier ask
// before the transfer is given up as stopped. An ask at a later block than every earlier one is progress
// and starts the count afresh, so a long song over a flaky link still finishes, while a keyboard that
// keeps asking at the same place (or ever earlier, or back and forth) cannot hold the program for ever.
constexpr int kMaxStartsOverWithoutProgress = 5;
// However the asks to start over move, the blocks sent for one image are bounded as a whole: a keyboard that
// asks at block 1, then 2, then 3... makes "progress" every time yet would have the whole image sent about
// N times over (N*N/2 blocks). Three times the image's blocks and a few dozen more is room for the honest
// restarts of a flaky link, on a short song too.
constexpr std::uint64_t kBlockBudgetFactor = 3;
constexpr std::uint64_t kBlockBudgetExtra = 32;

bool Send(const std::uint8_t* bytes, std::size_t length) {
  return SendSysEx(bytes, static_cast<std::uint32_t>(length)) != 0;
}

// One answer the operation waits for: what it must say in bytes 5, 6 and 7, and how long it must be.
struct Expected {
  std::uint16_t address;
  std::uint8_t action;
  std::uint8_t area;
  std::uint8_t param;
  std::uint32_t minLength;
};

// The next frame that is the expected answer, or nullptr after a receive that brought nothing in time.
std::unique_ptr<std::uint8_t[]> AwaitAnswer(const Expected& expected) {
  for (;;) {
    std::unique_ptr<std::uint8_t[]> frame;
    std::uint32_t length = 0;
    if (ReceiveSysEx(&frame, &length) == 0) return nullptr;
    if (IsAnswer(frame.get(), length, expected.address, expected.action, expected.area, expected.param,
                 expected.minLength))
      return frame;
  }
}

// A read whose request the driver refuses is not sent (a device that is gone ends the operation in the port
// session instead, with message 38).
std::unique_ptr<std::uint8_t[]> ReadValue(std::uint16_t address, std::uint8_t area, std::uint8_t param,
                                          std::uint8_t fixed, std::uint8_t slot, std::uint32_t minLength,
                                          bool* sent) {
  std::uint8_t request[kReadLength];
  *sent = Send(request, BuildRead(request, address, area, param, fixed, slot));
  if (!*sent) return nullptr;
  return AwaitAnswer({address, kAnswerRead, area, param, minLength});
}

void CopyName(const std::string& name, char* destination) {
  const std::size_t length = name.size() < kSlotNameSizeA - 1 ? name.size() : kSlotNameSizeA - 1;
  std::memcpy(destination, name.data(), length);
  destination[length] = '\0';
}

// Reads the slot's name piece by piece into `name`, which holds the name built so far after every piece.
void ReadName(std::uint16_t address, std::uint8_t slot, char* name) {
  std::string built;
  bool untitled = false;
  for (int piece = 0; piece < NamePieces(address); ++piece) {
    const auto param = static_cast<std::uint8_t>(kParamNameFirst + piece);
    bool sent = false;
    const auto answer = ReadValue(address, kAreaSlot, param, kFixedSlotValue, slot, kAnswerNumberMin, &sent);
    if (sent) {
      if (answer == nullptr) RaiseMessage(IDS_TIMEOUT);
      const std::uint32_t value = GetFiveSeptets(answer.get() + kPosValue);
      for (int shift = 24; shift >= 0; shift -= 8) {
        const auto character = static_cast<std::uint8_t>(value >> shift);
        if (character < 0x20 || character > 0x7F) untitled = true;
        built.push_back(static_cast<char>(character));
      }
    }
    CopyName(untitled ? std::string(kUntitled) : built, name);
  }
}

}  // namespace

int PrepareKeyboardA(std::uint16_t modelAddress, bool quiet) {
  DrainInput();
  std::uint8_t frame[kPrepareWriteLength];
  Send(frame, BuildPrepareWrite(frame, modelAddress));  // its result does not matter
  if (modelAddress != kAddressType21) return 1;

  const std::int32_t pause = Run().zt31Timeout;
  PauseExchange(pause > 0 ? static_cast<std::uint32_t>(pause) : 0);

  bool sent = false;
  const auto answer = ReadValue(modelAddress, kAreaKeyboard, kParamReady, kFixedReady, 0, kAnswerByteMin, &sent);
  if (!sent) return 1;
  if (answer == nullptr) {
    if (quiet) return 0;
    RaiseMessage(IDS_TIMEOUT);
  }
  if (answer[kPosValue] == kNotReady) {
    if (quiet) return 0;
    RaiseMessage(IDS_NOT_READY);
  }
  return 1;
}

bool MatchModelA(std::uint16_t modelAddress, std::uint8_t expected) {
  DrainInput();
  std::uint8_t request[kReadLength];
  if (!Send(request, BuildRead(request, modelAddress, kAreaKeyboard, kParamModel, kFixedModel, 0))) return false;
  for (;;) {
    const auto answer = AwaitAnswer({modelAddress, kAnswerRead, kAreaKeyboard, kParamModel, kAnswerModelMin});
    if (answer == nullptr) return false;
    const std::uint32_t value = (answer[kPosValue] & 0x7Fu) | std::uint32_t{answer[kPosValue + 1]} << 7;
    if ((value & 0xFF) == expected) return true;
  }
}

int ReadSlotInfoA(std::uint16_t modelAddress, std::uint8_t slot, std::uint32_t* size, char* name) {
  DrainInput();
  bool sent = false;
  const auto used = ReadValue(modelAddress, kAreaSlot, kParamUsed, kFixedUsed, slot, kAnswerByteMin, &sent);
  if (sent && used == nullptr) RaiseMessage(IDS_TIMEOUT);
  if (!sent || used[kPosValue] != kSlotUsed) {
    if (size != nullptr) *size = 0;
    if (name != nullptr) name[0] = '\0';
    return 0;
  }

  if (size != nullptr) {
    const auto answer = ReadValue(modelAddress, kAreaSlot, kParamSize, kFixedSlotValue, slot, kAnswerNumberMin, &sent);
    if (sent) {
      if (answer == nullptr) RaiseMessage(IDS_TIMEOUT);
      *size = GetFiveSeptets(answer.get() + kPosValue);
    } else if (name == nullptr) {
      RaiseMessage(IDS_TIMEOUT);
    }
  }
  if (name != nullptr) ReadName(modelAddress, slot, name);
  return 1;
}

std::uint32_t ReadFreeSpaceA(std::uint16_t modelAddress) {
  DrainInput();
  bool sent = false;
  const auto answer =
      ReadValue(modelAddress, kAreaKeyboard, kParamFreeSpace, kFixedFreeSpace, 0, kAnswerNumberMin, &sent);
  if (answer == nullptr) RaiseMessage(IDS_TIMEOUT);
  return GetFiveSeptets(answer.get() + kPosValue);
}

int DeleteSlotA(std::uint16_t modelAddress, std::uint8_t slot) {
  DrainInput();
  std::uint8_t frame[kDeleteLength];
  return Send(frame, BuildDelete(frame, modelAddress, slot)) ? 1 : 0;
}

void SendSongImageA(std::uint16_t modelAddress, std::uint8_t slot, TransferProgress& progress,
                    const std::uint8_t* image, std::uint32_t size) {
  DrainInput();
  const std::unique_ptr<std::uint8_t[]> frame(new std::uint8_t[kBlockFrameMax]);
  const std::uint32_t blocks = size / kBlockBytes + (size % kBlockBytes != 0 ? 1 : 0);

  int startsOverWithoutProgress = 0;
  bool startedOver = false;
  std::uint32_t furthestStartOver = 0;  // the furthest block at which the keyboard has asked to start over
  std::uint32_t block = 0;
  const std::uint64_t budget = kBlockBudgetFactor * blocks + kBlockBudgetExtra;
  std::uint64_t blocksSent = 0;
  progress.Begin(static_cast<int>(blocks));
  progress.Status(IDS_NOW_SENDING);
  while (block < blocks) {
    if (++blocksSent > budget) RaiseMessage(IDS_TRANSMISSION_STOPPED);
    const std::uint32_t offset = block * kBlockBytes;
    const std::uint32_t count = size - offset < kBlockBytes ? size - offset : kBlockBytes;
    // A block that cannot be sent would leave a hole in the song on the keyboard: the transfer fails.
    if (!Send(frame.get(), BuildDataBlock(frame.get(), modelAddress, slot, block, image + offset, count)))
      RaiseMessage(IDS_TIMEOUT);
    const auto answer = AwaitAnswer({modelAddress, kAnswerBlock, kAreaSlot, 0x00, kAnswerBlockMin});
    if (answer == nullptr) RaiseMessage(IDS_TIMEOUT);

    const std::uint8_t code = answer[kPosBlockCode] & 0x0F;
    if (code == kBlockStop) RaiseMessage(IDS_TRANSMISSION_STOPPED);
    if (code == kBlockStartOver) {
      if (!startedOver || block > furthestStartOver) {
        startsOverWithoutProgress = 1;
        furthestStartOver = block;
        startedOver = true;
      } else if (++startsOverWithoutProgress > kMaxStartsOverWithoutProgress) {
        RaiseMessage(IDS_TRANSMISSION_STOPPED);
      }
      block = 0;
      progress.Begin(static_cast<int>(blocks));
      progress.Status(IDS_NOW_SENDING);
      continue;
    }
    progress.Step();
    ++block;
  }
  progress.EveryBlockTaken();

  // Without both closing frames the keyboard never commits the song: a refused one fails the transfer.
  std::uint8_t closing[kClosingLength];
  if (!Send(closing, BuildClosing(closing, modelAddress, slot, 0x00))) RaiseMessage(IDS_TIMEOUT);
  if (!Send(closing, BuildClosing(closing, modelAddress, slot, kClosingMark))) RaiseMessage(IDS_TIMEOUT);
}

void WriteSongNameA(std::uint16_t modelAddress, std::uint8_t slot, const char* text, int length) {
  DrainInput();
  char field[12];
  const int fieldSize = 4 * NamePieces(modelAddress);
  std::memset(field, ' ', sizeof field);
  const int copied = length <= 0 || text == nullptr ? 0 : (length < fieldSize ? length : fieldSize);
  if (copied > 0) std::memcpy(field, text, static_cast<std::size_t>(copied));

  for (int piece = 0; piece < NamePieces(modelAddress); ++piece) {
    std::uint8_t frame[kNameWriteLength];
    const auto param = static_cast<std::uint8_t>(kParamNameFirst + piece);
    Send(frame, BuildNameWrite(frame, modelAddress, slot, param, NamePieceNumber(field + 4 * piece)));
  }
}

}  // namespace su
