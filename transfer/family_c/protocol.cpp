// The family C operations: one request, then answers taken until an acknowledgement or a refusal comes.
//
// Every answer copy is checked as a frame of model address 0x1400 before any byte of it is read, and an
// answer too short for the positions an operation reads is passed over like any unrelated frame. Copies
// are owned by unique_ptr and released as soon as they have been looked at; the packed image and the
// block buffer of SendSongImage are released on every way out, failures included.
#include "transfer/family_c/protocol.h"

#include <cstring>
#include <memory>

#include "base/errors.h"
#include "midi/identification.h"
#include "midi/port_session.h"
#include "midi/seven_bit.h"
#include "resources/message_numbers.h"
#include "resources/strings.h"
#include "transfer/family_c/frames.h"

static_assert(sizeof(TEXT_IN_USE_MARKER) <= su::kSlotNameSize, "the in-use marker fits the name field");

namespace su {
namespace {

using namespace family_c;

// An acknowledgement needs only the head and F7; a refusal also its error code at byte 5.
constexpr std::uint32_t kAckMin = 6;
constexpr std::uint32_t kRefusalMin = 7;

// The name field is filled from at most five packing groups: 40 packed bytes give 35 name bytes, more than
// the 31 the field keeps, so a longer name is cut without unpacking the rest of the answer.
constexpr std::uint32_t kNamePackedMax = 40;
constexpr std::uint32_t kNameUnpackedMax = 35;

enum class Outcome { Ack, Refused, Silence, Cancelled };

struct Answer {
  Outcome outcome;
  std::uint8_t code;  // the error code of a refusal
};

void Send(const std::uint8_t* bytes, std::size_t length) {
  if (!SendSysEx(bytes, static_cast<std::uint32_t>(length))) RaiseMessage(IDS_TIMEOUT);
}

// Takes answers until an acknowledgement of at least `ackMin` bytes (handed to `take`) or a refusal comes.
// Without a cancel flag a receive that brings nothing ends the wait; with one, the wait goes on until an
// answer comes or the flag is set (a device that is gone ends it in the port session).
template <typename Take>
Answer AwaitAnswer(std::uint32_t ackMin, Take take, const int* cancelFlag) {
  for (;;) {
    if (cancelFlag != nullptr && *cancelFlag != 0) return {Outcome::Cancelled, 0};
    std::unique_ptr<std::uint8_t[]> copy;
    std::uint32_t length = 0;
    if (!ReceiveSysEx(&copy, &length)) {
      if (cancelFlag != nullptr) continue;
      return {Outcome::Silence, 0};
    }
    const int code = CheckReplyFrame(kModelAddressC, copy.get(), length);
    if (code == kAnswerAck && length >= ackMin) {
      take(copy.get(), length);
      return {Outcome::Ack, 0};
    }
    if (code == kAnswerRefused && length >= kRefusalMin) return {Outcome::Refused, copy[kPosParam]};
  }
}

void TakeNothing(const std::uint8_t*, std::uint32_t) {}

// Refusals of a data block or the closing message that are not asks for a resend.
[[noreturn]] void RaiseSendRefusal(std::uint8_t code) {
  switch (code) {
    case kErrNotReady: RaiseMessage(IDS_NOT_READY);
    case kErrLowVoltage: RaiseMessage(IDS_LOW_VOLTAGE);
    case kErrNoMemory: RaiseMessage(IDS_NOT_ENOUGH_MEMORY);
    case kErrStopped: RaiseMessage(IDS_TRANSMISSION_STOPPED);
    default: RaiseKeyboardError(code);
  }
}

bool AsksResend(std::uint8_t code) { return code >= kErrResendFirst && code <= kErrResendLast; }

constexpr std::uint32_t kMaxResends = 5;

// Sends every block of the packed image, resending a block the keyboard asks for again.
void SendBlocks(TransferProgress& progress, const std::uint8_t* image, std::uint32_t size) {
  const std::uint32_t packedLength = PackedLength(size);
  const std::unique_ptr<std::uint8_t[]> packed(new std::uint8_t[packedLength + 10]());
  const std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[kBlockBufferSize]);
  PackSevenBit(packed.get(), image, size);

  const std::uint32_t lastLength = packedLength % kBlockDataMax;
  const std::uint32_t blockCount = packedLength / kBlockDataMax + (lastLength != 0 ? 1 : 0);

  progress.Begin(static_cast<int>(blockCount));
  progress.Status(IDS_NOW_SENDING);

  for (std::uint32_t index = 0; index < blockCount; ++index) {
    const std::uint32_t count = (index + 1 == blockCount && lastLength != 0) ? lastLength : kBlockDataMax;
    std::uint32_t resends = 0;
    for (;;) {
      std::memset(block.get(), 0, kBlockBufferSize);
      const std::size_t length = BuildDataBlock(block.get(), packed.get() + index * kBlockDataMax, count);
      Send(block.get(), length);
      const Answer answer = AwaitAnswer(kAckMin, TakeNothing, nullptr);
      if (answer.outcome == Outcome::Ack) break;
      if (answer.outcome != Outcome::Refused) RaiseMessage(IDS_TIMEOUT);
      if (!AsksResend(answer.code)) RaiseSendRefusal(answer.code);
      if (++resends > kMaxResends) RaiseKeyboardError(answer.code);
    }
    progress.Step();
  }
  // An empty image has no blocks to send, so the keyboard was never asked for anything.
  if (blockCount == 0) RaiseMessage(IDS_TIMEOUT);
}

// Sends the CRC-32 of the image and waits until the keyboard answers or the user cancels the checking wait.
// When no way to cancel could be offered, the first silent receive ends the wait as a cancel would.
void CloseTransfer(TransferProgress& progress, const std::uint8_t* image, std::uint32_t size) {
  progress.Clear();

  struct CheckingWait {
    TransferProgress& progress;
    int* cancelFlag;
    ~CheckingWait() {
      try {
        progress.CloseCheckingWait();
      } catch (...) {
        // A box that will not close goes with the process; the failure under way matters more.
      }
    }
  } wait{progress, progress.OpenCheckingWait()};

  std::uint8_t message[kCloseTransferLength];
  const std::size_t length = BuildCloseTransfer(message, Crc32(image, size));
  const bool delivered = SendSysEx(message, static_cast<std::uint32_t>(length)) != 0;
  const Answer answer =
      delivered ? AwaitAnswer(kAckMin, TakeNothing, wait.cancelFlag) : Answer{Outcome::Cancelled, 0};
  progress.CloseCheckingWait();

  if (answer.outcome == Outcome::Ack) return;
  if (answer.outcome == Outcome::Refused) RaiseSendRefusal(answer.code);
  RaiseMessage(IDS_TIMEOUT);
}

}  // namespace

int ReadSlotInfo(std::uint8_t slot, std::uint32_t* size, char* name) {
  std::uint8_t request[kReadSlotInfoLength];
  Send(request, BuildReadSlotInfo(request, slot));

  int status = 0;
  const Answer answer = AwaitAnswer(
      kSlotInfoAckMin,
      [&](const std::uint8_t* bytes, std::uint32_t length) {
        status = bytes[kPosSlotStatus];
        const bool holdsSong = status == 1;
        if (size != nullptr) *size = holdsSong ? UnpackU32(bytes + kPosSlotSize) : 0;
        if (name == nullptr) return;
        name[0] = '\0';
        if (!holdsSong) return;
        std::uint8_t field[kNameUnpackedMax] = {};
        if (length > kSlotInfoAckMin) {
          std::uint32_t packedName = length - kSlotInfoAckMin;
          if (packedName > kNamePackedMax) packedName = kNamePackedMax;
          UnpackSevenBit(field, bytes + kPosSlotName, packedName);
        }
        std::uint32_t n = 0;
        while (n + 1 < kSlotNameSize && field[n] != 0) {
          name[n] = static_cast<char>(field[n]);
          ++n;
        }
        name[n] = '\0';
        if (n == 0) std::memcpy(name, TEXT_IN_USE_MARKER, sizeof(TEXT_IN_USE_MARKER));
      },
      nullptr);

  if (answer.outcome == Outcome::Ack) return status;
  if (answer.outcome == Outcome::Refused) {
    if (answer.code == kErrNotReady) RaiseMessage(IDS_NOT_READY);
    RaiseKeyboardError(answer.code);
  }
  RaiseMessage(IDS_TIMEOUT);
}

std::uint32_t ReadFreeSpace() {
  std::uint8_t request[kReadFreeSpaceLength];
  Send(request, BuildReadFreeSpace(request));

  std::uint32_t free = 0;
  const Answer answer = AwaitAnswer(
      kFreeSpaceAckMin, [&](const std::uint8_t* bytes, std::uint32_t) { free = UnpackU32(bytes + kPosFreeSpace); },
      nullptr);
  if (answer.outcome == Outcome::Ack) return free;
  if (answer.outcome == Outcome::Refused) RaiseKeyboardError(answer.code);
  RaiseMessage(IDS_TIMEOUT);
}

int AnnounceSong(std::uint8_t slot, std::uint32_t size) {
  std::uint8_t request[kAnnounceSongLength];
  Send(request, BuildAnnounceSong(request, slot, size));

  const Answer answer = AwaitAnswer(kAckMin, TakeNothing, nullptr);
  if (answer.outcome == Outcome::Ack) return 1;
  if (answer.outcome == Outcome::Refused) {
    switch (answer.code) {
      case kErrNoMemory: return -1;
      case kErrNotReady: RaiseMessage(IDS_NOT_READY);
      case kErrLowVoltage: RaiseMessage(IDS_LOW_VOLTAGE);
      default: RaiseKeyboardError(answer.code);
    }
  }
  RaiseMessage(IDS_TIMEOUT);
}

void SendSongImage(TransferProgress& progress, const std::uint8_t* image, std::uint32_t size) {
  SendBlocks(progress, image, size);
  progress.EveryBlockTaken();
  CloseTransfer(progress, image, size);
}

}  // namespace su
