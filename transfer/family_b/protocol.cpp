// The family B operations. Answers to reads are taken by their area and parameter bytes; anything else that
// arrives in between (other devices, answers to other parameters, answers too short for the bytes read from
// them) is passed over. Block answers are any frame of this keyboard.
#include "transfer/family_b/protocol.h"

#include <cstring>
#include <memory>

#include "base/errors.h"
#include "midi/port_session.h"
#include "resources/message_numbers.h"
#include "transfer/family_b/frames.h"
#include "transfer/septet_encodings.h"

namespace su {

using namespace family_b;

namespace {

using Frame = std::unique_ptr<std::uint8_t[]>;

// The long wait of the free-memory read: after a silent receive one more at once, then up to eleven more
// each after a pause; a keyboard busy tidying its memory is given about 75 seconds.
constexpr int kLongWaitPausedTries = 11;
constexpr std::uint32_t kPauseMs = 3000;

// The block answer codes (low four bits of byte 5) with which the keyboard stops the transfer.
bool IsStopCode(std::uint8_t code) { return code == 0x0B || code == 0x0C || code == 0x0F; }

bool Send(const std::uint8_t* bytes, std::size_t length) {
  return SendSysEx(bytes, static_cast<std::uint32_t>(length)) != 0;
}

// One receive; nullptr after the receive time-out.
Frame Receive(std::uint32_t* length) {
  Frame frame;
  if (ReceiveSysEx(&frame, length) == 0) return nullptr;
  if (frame == nullptr) frame.reset(new std::uint8_t[1]());  // an empty buffer: a frame of length 0
  return frame;
}

struct Expected {
  std::uint8_t area;
  std::uint8_t param;
  std::uint32_t minLength;
};

// The next answer to the read, or nullptr after a receive that brought nothing in time.
Frame AwaitAnswer(const Expected& expected) {
  for (;;) {
    std::uint32_t length = 0;
    Frame frame = Receive(&length);
    if (frame == nullptr) return nullptr;
    if (IsReadAnswer(frame.get(), length, expected.area, expected.param, expected.minLength)) return frame;
  }
}

// The same with the long wait: every new wait (at first and after each frame passed over) has its own tries.
Frame AwaitAnswerLong(const Expected& expected) {
  for (;;) {
    std::uint32_t length = 0;
    Frame frame = Receive(&length);
    if (frame == nullptr) frame = Receive(&length);
    // The pauses end early when the device is gone: it will not answer however long it is given.
    for (int tries = 0; frame == nullptr && tries < kLongWaitPausedTries; ++tries) {
      PauseExchange(kPauseMs);
      frame = Receive(&length);
    }
    if (frame == nullptr) {
      PauseExchange(kPauseMs);
      return nullptr;
    }
    if (IsReadAnswer(frame.get(), length, expected.area, expected.param, expected.minLength)) return frame;
  }
}

// The answer to a data block: a silent receive gets one more try after a pause, and so does every wait that
// begins again after a frame that is not from this keyboard. Its code, or -1 when none came.
int AwaitBlockAnswer() {
  for (;;) {
    std::uint32_t length = 0;
    Frame frame = Receive(&length);
    if (frame == nullptr) {
      PauseExchange(kPauseMs);
      frame = Receive(&length);
      if (frame == nullptr) return -1;
    }
    if (IsBlockAnswer(frame.get(), length)) return frame[kPosAction] & 0x0F;
  }
}

Frame Read(std::uint8_t area, std::uint8_t param, std::uint8_t slot, std::uint8_t nameMark, std::uint32_t minLength,
           bool* sent) {
  // A request the driver refuses is not sent; a device that is gone ends the read in the port session
  // instead, with message 38, rather than the slot being taken for empty.
  std::uint8_t request[kReadLength];
  *sent = Send(request, BuildRead(request, area, param, slot, nameMark));
  if (!*sent) return nullptr;
  return AwaitAnswer({area, param, minLength});
}

}  // namespace

std::uint8_t ReadModelB(std::uint16_t) {
  DrainInput();
  bool sent = false;
  const Frame answer = Read(kAreaKeyboard, kParamModel, 0x00, 0x00, kAnswerModelMin, &sent);
  return answer == nullptr ? 0xFF : answer[kPosValue];
}

int ReadSlotInfoB(std::uint16_t, std::uint8_t slot, std::uint32_t* size, char* name) {
  DrainInput();
  bool sent = false;
  const Frame sizeAnswer = Read(kAreaSlot, kParamSlotSize, slot, 0x00, kAnswerNumberMin, &sent);
  if (sent && sizeAnswer == nullptr) RaiseMessage(IDS_TIMEOUT);
  const std::uint32_t songSize = sent ? GetFiveSeptets(sizeAnswer.get() + kPosValue) : 0;
  if (size != nullptr) *size = songSize;
  if (name != nullptr) name[0] = '\0';
  if (songSize == 0) return 0;

  if (name != nullptr) {
    const Frame nameAnswer = Read(kAreaSlot, kParamSlotName, slot, kNameMark, kAnswerNameMin, &sent);
    if (sent) {
      if (nameAnswer == nullptr) RaiseMessage(IDS_TIMEOUT);
      // The twelve bytes as they are; a zero among them ends the name early.
      std::memcpy(name, nameAnswer.get() + kPosValue, kNameLength);
      name[kNameLength] = '\0';
    }
  }
  return 1;
}

std::uint32_t ReadFreeSpaceB(std::uint16_t) {
  DrainInput();
  std::uint8_t request[kReadLength];
  if (!Send(request, BuildRead(request, kAreaKeyboard, kParamFreeSpace, 0x00))) RaiseMessage(IDS_TIMEOUT);
  const Frame answer = AwaitAnswerLong({kAreaKeyboard, kParamFreeSpace, kAnswerNumberMin});
  if (answer == nullptr) RaiseMessage(IDS_TIMEOUT);
  return GetFiveSeptets(answer.get() + kPosValue);
}

std::uint32_t ReadMaxSongSizeB(std::uint16_t) {
  DrainInput();
  bool sent = false;
  const Frame answer = Read(kAreaKeyboard, kParamMaxSongSize, 0x00, 0x00, kAnswerNumberMin, &sent);
  if (answer == nullptr) RaiseMessage(IDS_TIMEOUT);
  return GetFiveSeptets(answer.get() + kPosValue);
}

int DeleteSlotB(std::uint16_t, std::uint8_t slot) {
  DrainInput();
  std::uint8_t frame[kDeleteLength];
  return Send(frame, BuildDelete(frame, slot)) ? 1 : 0;
}

void SendSongImageB(std::uint16_t, std::uint8_t slot, TransferProgress& progress, const std::uint8_t* image,
                    std::uint32_t size) {
  DrainInput();
  const std::unique_ptr<std::uint8_t[]> frame(new std::uint8_t[kBlockFrameMax]);
  const std::uint32_t blocks = size / kBlockBytes + (size % kBlockBytes != 0 ? 1 : 0);

  progress.Begin(static_cast<int>(blocks));
  progress.Status(IDS_NOW_SENDING);
  for (std::uint32_t block = 0; block < blocks; ++block) {
    const std::uint32_t offset = block * kBlockBytes;
    const std::uint32_t count = size - offset < kBlockBytes ? size - offset : kBlockBytes;
    // A block that cannot be sent would leave a hole in the song on the keyboard: the transfer fails.
    if (!Send(frame.get(), BuildDataBlock(frame.get(), slot, block, image + offset, count))) RaiseMessage(IDS_TIMEOUT);
    const int code = AwaitBlockAnswer();
    if (code < 0) RaiseMessage(IDS_TIMEOUT);
    if (IsStopCode(static_cast<std::uint8_t>(code))) RaiseMessage(IDS_TRANSMISSION_STOPPED);
    progress.Step();
  }
  progress.EveryBlockTaken();

  // Without both closing frames the keyboard never commits the song: a refused one fails the transfer.
  std::uint8_t closing[kClosingLength];
  if (!Send(closing, BuildClosing(closing, kActClosingFirst, slot))) RaiseMessage(IDS_TIMEOUT);
  if (!Send(closing, BuildClosing(closing, kActClosingSecond, slot))) RaiseMessage(IDS_TIMEOUT);
}

}  // namespace su
