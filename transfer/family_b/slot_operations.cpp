#include "transfer/family_b/slot_operations.h"

#include <string>

#include "resources/message_numbers.h"
#include "transfer/family_b/frames.h"
#include "transfer/family_b/protocol.h"
#include "transfer/septet_encodings.h"

namespace su {

namespace {

constexpr int kSlotCountB = 10;
constexpr int kFirstSlotLabelB = 61;

}  // namespace

const char* ModelCodeB(std::int32_t modelType) {
  switch (modelType) {
    case 26: return "e1";
    case 27: return "e3";
    default: return "e2";
  }
}

void SetUpSessionB(SlotSession& session) {
  SetUpSlots(session, family_b::kAddress, kSlotCountB, kFirstSlotLabelB);
}

void ReadSlotTableB(SlotSession& session, TransferProgress& progress) {
  const ProgressClearing clearing(progress);
  ReadSlotEntries(session, progress, ReadSlotInfoB);
  ReadFreeSpaceB(session.modelAddress);  // waits until the keyboard is ready; the value is not shown
  session.maxSongSize = ReadMaxSongSizeB(session.modelAddress);
}

SendOutcome SendSongToSlotB(const SlotSession& session, std::uint8_t slot, const std::uint8_t* image,
                            std::uint32_t size, TransferProgress& progress, SendPrompts& prompts) {
  const ProgressClearing clearing(progress);
  const std::uint16_t address = session.modelAddress;
  std::uint32_t oldSize = 0;
  const int used = ReadSlotInfoB(address, slot, &oldSize, nullptr);
  ReadFreeSpaceB(address);  // waits until the keyboard is ready; the value plays no part
  const std::uint32_t largest = ReadMaxSongSizeB(address);
  // An odd-sized song goes out padded into a whole last word; that byte is part of what the keyboard takes.
  const std::uint64_t needed = WholeWordsSize(size);
  if (largest < needed) {
    prompts.NoRoom(IDS_MEMORY_SHORT_B);
    return SendOutcome::NoRoom;
  }
  // The new song is sent over the old one: nothing is deleted first.
  if (used != 0 && !prompts.ConfirmReplace()) return SendOutcome::Declined;
  PromptScope sending(prompts, &SendPrompts::SendingBegins, &SendPrompts::SendingEnds);
  SendSongImageB(address, slot, progress, image, size);
  return SendOutcome::Sent;
}

void DeleteSongInSlotB(const SlotSession& session, std::uint8_t slot) {
  DeleteSlotB(session.modelAddress, slot);
  ReadFreeSpaceB(session.modelAddress);  // waits until the keyboard has finished deleting
}

}  // namespace su
