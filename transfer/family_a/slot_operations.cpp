#include "transfer/family_a/slot_operations.h"

#include "resources/message_numbers.h"
#include "transfer/family_a/frames.h"
#include "transfer/family_a/protocol.h"

namespace su {

namespace {

constexpr int kSlotCountA = 10;

}  // namespace

void SetUpSessionA(SlotSession& session, std::int32_t modelType, const std::string& songName) {
  session.songName = songName;
  SetUpSlots(session, modelType == 22 ? family_a::kAddressType22 : family_a::kAddressType21, kSlotCountA, 0);
}

void ReadSlotTableA(SlotSession& session, TransferProgress& progress) {
  ReadSlotEntries(session, progress, ReadSlotInfoA);
  session.freeSize = ReadFreeSpaceA(session.modelAddress);
  progress.Clear();
}

SendOutcome SendSongToSlotA(const SlotSession& session, std::uint8_t slot, const std::uint8_t* image,
                            std::uint32_t size, TransferProgress& progress, SendPrompts& prompts) {
  const std::uint16_t address = session.modelAddress;
  PrepareKeyboardA(address, false);
  std::uint32_t oldSize = 0;
  const int used = ReadSlotInfoA(address, slot, &oldSize, nullptr);
  const std::uint32_t free = ReadFreeSpaceA(address);
  // The song in the target slot makes room when it is replaced. An odd-sized song goes out padded into a
  // whole last word, and that byte needs room too. Summed wide so that absurd readings cannot wrap round.
  const std::uint64_t needed = (std::uint64_t{size} + 1) & ~std::uint64_t{1};
  if (std::uint64_t{free} + oldSize < needed) {
    prompts.NoRoom(IDS_MEMORY_SHORT_C);
    return SendOutcome::NoRoom;
  }
  if (used != 0) {
    if (!prompts.ConfirmReplace()) return SendOutcome::Declined;
    PromptScope deleting(prompts, &SendPrompts::DeletingBegins, &SendPrompts::DeletingEnds);
    PrepareKeyboardA(address, false);
    DeleteSlotA(address, slot);
  }
  {
    PromptScope sending(prompts, &SendPrompts::SendingBegins, &SendPrompts::SendingEnds);
    SendSongImageA(address, slot, progress, image, size);
  }
  WriteSongNameA(address, slot, session.songName.c_str(), static_cast<int>(session.songName.size()));
  return SendOutcome::Sent;
}

void DeleteSongInSlotA(const SlotSession& session, std::uint8_t slot) {
  PrepareKeyboardA(session.modelAddress, false);
  DeleteSlotA(session.modelAddress, slot);
}

}  // namespace su
