#include "transfer/families.h"

#include "base/conversion.h"
#include "base/run_state.h"
#include "transfer/family_a/frames.h"
#include "transfer/family_a/protocol.h"
#include "transfer/family_a/slot_operations.h"
#include "transfer/family_b/protocol.h"
#include "transfer/family_b/slot_operations.h"
#include "transfer/family_c/slot_layout.h"
#include "transfer/family_c/slot_operations.h"
#include "transfer/slot_list.h"

namespace su {

namespace {

std::string Bounded(const char* text, std::size_t size) {
  std::size_t length = 0;
  while (length < size && text[length] != '\0') ++length;
  return std::string(text, length);
}

// The slots of a session read from a keyboard of family A or B, with the keyboard's total size.
Listing ListingOf(const SlotSession& session) {
  Listing listing;
  for (int slot = 0; slot < session.slotCount; ++slot) {
    const SlotEntry& entry = session.slots[static_cast<std::size_t>(slot)];
    listing.slots.push_back(SlotRow{session.slotLabels[static_cast<std::size_t>(slot)], entry.used != 0,
                                    Bounded(entry.name, kSlotEntryNameSize), entry.size});
  }
  listing.totalSize = session.totalSize;
  return listing;
}

// ---- Family A -------------------------------------------------------------------------------------

SlotSession SessionA() {
  SlotSession session;
  SetUpSessionA(session, Run().modelType, "");
  return session;
}

bool OwnsA(std::int32_t modelType) { return modelType == 21 || modelType == 22; }

std::vector<std::string> LabelsA(std::int32_t) { return SessionA().slotLabels; }

std::string ModelCodeA() { return kModelCodeA; }
std::string NoModelInfo() { return ""; }
std::size_t NoNameField() { return 0; }

void ReadA(Listing& listing, TransferProgress& progress) {
  SlotSession session = SessionA();
  ReadSlotTableA(session, progress);
  listing = ListingOf(session);
  listing.freeSize = session.freeSize;
}

SendOutcome SendA(std::size_t slot, const std::string& songName, const std::uint8_t* image, std::uint32_t size,
                  TransferProgress& progress, SendPrompts& prompts) {
  SlotSession session;
  SetUpSessionA(session, Run().modelType, songName);
  return SendSongToSlotA(session, static_cast<std::uint8_t>(slot), image, size, progress, prompts);
}

void EraseA(std::size_t slot) { DeleteSongInSlotA(SessionA(), static_cast<std::uint8_t>(slot)); }

SlotRow ReadSlotA(std::size_t slot) {
  const SlotSession session = SessionA();
  SlotRow row;
  char name[kSlotNameSizeA] = {};
  row.used = ReadSlotInfoA(session.modelAddress, static_cast<std::uint8_t>(slot), &row.size, name) != 0;
  row.name = Bounded(name, sizeof name);
  return row;
}

std::size_t NameFieldA() { return SessionA().modelAddress == family_a::kAddressType21 ? 12 : 8; }

// ---- Family B -------------------------------------------------------------------------------------

SlotSession SessionB() {
  SlotSession session;
  SetUpSessionB(session);
  return session;
}

bool OwnsB(std::int32_t modelType) { return modelType >= 25 && modelType <= 27; }

std::vector<std::string> LabelsB(std::int32_t) { return SessionB().slotLabels; }

std::string ModelCodeOfB() { return ModelCodeB(Run().modelType); }

void ReadB(Listing& listing, TransferProgress& progress) {
  SlotSession session = SessionB();
  ReadSlotTableB(session, progress);
  listing = ListingOf(session);
  listing.hasMaxSongSize = true;
  listing.maxSongSize = session.maxSongSize;
}

SendOutcome SendB(std::size_t slot, const std::string&, const std::uint8_t* image, std::uint32_t size,
                  TransferProgress& progress, SendPrompts& prompts) {
  return SendSongToSlotB(SessionB(), static_cast<std::uint8_t>(slot), image, size, progress, prompts);
}

void EraseB(std::size_t slot) { DeleteSongInSlotB(SessionB(), static_cast<std::uint8_t>(slot)); }

SlotRow ReadSlotB(std::size_t slot) {
  SlotRow row;
  char name[kSlotNameSizeB] = {};
  row.used = ReadSlotInfoB(SessionB().modelAddress, static_cast<std::uint8_t>(slot), &row.size, name) != 0;
  row.name = Bounded(name, sizeof name);
  return row;
}

// ---- Family C -------------------------------------------------------------------------------------

bool OwnsC(std::int32_t modelType) { return SlotLayoutFor(modelType).slotCount > 0; }

std::vector<std::string> LabelsC(std::int32_t modelType) { return SlotLayoutFor(modelType).slotLabels; }

std::string ModelCodeC() { return Run().modelCode; }

void ReadC(Listing& listing, TransferProgress& progress) {
  const SlotLayout layout = SlotLayoutFor(Run().modelType);
  SlotTableC table{};
  ReadSlotTableC(layout, table, progress);
  listing = Listing{};
  for (int slot = 0; slot < layout.slotCount && slot < kMaxSlotsC; ++slot) {
    const SlotRecordC& record = table.slots[slot];
    listing.slots.push_back(SlotRow{layout.slotLabels[static_cast<std::size_t>(slot)], record.inUse != 0,
                                    Bounded(record.name, kSlotNameSize), record.size});
  }
  listing.totalSize = table.totalSize;
  listing.freeSize = table.freeSize;
}

SendOutcome SendC(std::size_t slot, const std::string&, const std::uint8_t* image, std::uint32_t size,
                  TransferProgress& progress, SendPrompts& prompts) {
  return SendSongToSlotC(static_cast<std::uint8_t>(slot), image, size, progress, prompts);
}

void EraseC(std::size_t slot) { DeleteSongInSlotC(static_cast<std::uint8_t>(slot)); }

SlotRow ReadSlotC(std::size_t slot) {
  SlotRow row;
  char name[kSlotNameSize] = {};
  row.used = (ReadSlotInfo(static_cast<std::uint8_t>(slot), &row.size, name) & 0xFF) != 0;
  row.name = Bounded(name, sizeof name);
  return row;
}

// Families A and B first: family C serves every type of its own layout table.
constexpr FamilyEntry kFamilies[] = {
    {'A', OwnsA, LabelsA, ModelCodeA, NoModelInfo, ReadA, SendA, EraseA, ReadSlotA, NameFieldA,
     TotalKilobytesText},
    {'B', OwnsB, LabelsB, ModelCodeOfB, NoModelInfo, ReadB, SendB, EraseB, ReadSlotB, NoNameField,
     TotalKilobytesTextB},
    {'C', OwnsC, LabelsC, ModelCodeC, ModelInfoArgument, ReadC, SendC, EraseC, ReadSlotC, NoNameField,
     TotalKilobytesText},
};

}  // namespace

const FamilyEntry* FamilyFor(std::int32_t modelType) {
  for (const FamilyEntry& family : kFamilies) {
    if (family.owns(modelType)) return &family;
  }
  return nullptr;
}


}  // namespace su
