#include "transfer/family_c/slot_operations.h"

#include <memory>

#include "base/errors.h"
#include "midi/identification.h"
#include "midi/port_session.h"
#include "resources/message_numbers.h"
#include "transfer/family_c/frames.h"

namespace su {

namespace {

// The reading steps the bar once per slot on this range, whatever the slot count.
constexpr int kReadingRange = 10;

enum class DeleteOutcome { Done, Refused, Failed };

}  // namespace

void ReadSlotTableC(const SlotLayout& layout, SlotTableC& table, TransferProgress& progress) {
  const ProgressClearing clearing(progress);
  progress.Begin(kReadingRange);
  progress.Status(IDS_GETTING_INFORMATION);
  // Sizes are unsigned as the keyboard reports them; the sum wraps like the keyboard's own 32-bit count.
  std::uint32_t total = 0;
  table.totalSize = 0;
  const int count = layout.slotCount < kMaxSlotsC ? layout.slotCount : kMaxSlotsC;
  for (int slot = 0; slot < count; ++slot) {
    progress.Step();
    SlotRecordC& record = table.slots[slot];
    const int status = ReadSlotInfo(static_cast<std::uint8_t>(slot), &record.size, record.name);
    total += record.size;
    table.totalSize = total;
    record.inUse = status & 0xFF;
  }
  table.freeSize = ReadFreeSpace();
}

SendOutcome SendSongToSlotC(std::uint8_t slot, const std::uint8_t* image, std::uint32_t size,
                            TransferProgress& progress, SendPrompts& prompts) {
  const ProgressClearing clearing(progress);
  if ((ReadSlotInfo(slot, nullptr, nullptr) & 0xFF) != 0) {
    if (!prompts.ConfirmReplace()) return SendOutcome::Declined;
  }
  if (AnnounceSong(slot, size) == 1) {
    PromptScope sending(prompts, &SendPrompts::SendingBegins, &SendPrompts::SendingEnds);
    SendSongImage(progress, image, size);
    return SendOutcome::Sent;
  }
  prompts.NoRoom(IDS_MEMORY_SHORT_C);
  return SendOutcome::NoRoom;
}

void DeleteSongInSlotC(std::uint8_t slot) {
  std::uint8_t message[family_c::kDeleteSongLength];
  const std::size_t length = family_c::BuildDeleteSong(message, slot);

  DeleteOutcome outcome = DeleteOutcome::Failed;
  std::uint8_t errorCode = 0;
  if (SendSysEx(message, static_cast<std::uint32_t>(length)) != 0) {
    for (;;) {
      std::unique_ptr<std::uint8_t[]> answer;
      std::uint32_t answerLength = 0;
      if (ReceiveSysEx(&answer, &answerLength) == 0) break;  // silence: the delete failed
      const int code = CheckReplyFrame(kModelAddressC, answer.get(), answerLength);
      if (code == family_c::kAnswerAck) {
        outcome = DeleteOutcome::Done;
        break;
      }
      // A refusal too short to carry its error code before the F7 is passed over like unrelated traffic.
      if (code == family_c::kAnswerRefused && answerLength > family_c::kPosParam + 1) {
        errorCode = answer[family_c::kPosParam];
        outcome = DeleteOutcome::Refused;
        break;
      }
    }
  }
  if (outcome == DeleteOutcome::Done) return;
  if (outcome == DeleteOutcome::Refused) RaiseKeyboardError(errorCode);
  RaiseMessage(IDS_TIMEOUT);
}

}  // namespace su
