#include "transfer/slot_session.h"

#include "resources/message_numbers.h"

namespace su {

void SetUpSlots(SlotSession& session, std::uint16_t modelAddress, int count, int firstLabel) {
  session.modelAddress = modelAddress;
  session.slotCount = count;
  session.slotLabels.clear();
  for (int slot = 0; slot < count; ++slot) session.slotLabels.push_back(std::to_string(firstLabel + slot));
  session.slots.assign(static_cast<std::size_t>(count), SlotEntry{});
}

void ReadSlotEntries(SlotSession& session, TransferProgress& progress,
                     int (*readSlotInfo)(std::uint16_t modelAddress, std::uint8_t slot, std::uint32_t* size,
                                         char* name)) {
  progress.Begin(session.slotCount);
  progress.Status(IDS_GETTING_INFORMATION);
  // Sizes are unsigned as the keyboard reports them; the sum wraps like the keyboard's own 32-bit count.
  std::uint32_t total = 0;
  session.totalSize = 0;
  for (int slot = 0; slot < session.slotCount; ++slot) {
    progress.Step();
    SlotEntry& entry = session.slots[static_cast<std::size_t>(slot)];
    entry.used = readSlotInfo(session.modelAddress, static_cast<std::uint8_t>(slot), &entry.size, entry.name);
    total += entry.size;
    session.totalSize = total;
  }
}

}  // namespace su
