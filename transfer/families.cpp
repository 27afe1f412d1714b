#include "transfer/families.h"

#include "base/conversion.h"
#include "base/run_state.h"
#include "midi/identification.h"
#include "resources/message_numbers.h"
#include "transfer/family_a/frames.h"
#include "transfer/family_a/protocol.h"
#include "transfer/family_a/slot_operations.h"
#include "transfer/family_b/protocol.h"
#include "transfer/family_b/slot_operations.h"
#include "transfer/family_c/frames.h"
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

// The slot records of a family A or B keyboard as its protocol reads them.
SlotSession SessionOf(const KeyboardSlots& slots) {
  SlotSession session;
  SetUpSlots(session, slots.modelAddress, static_cast<int>(slots.labels.size()), 0);
  session.slotLabels = slots.labels;
  session.songName = slots.songName;
  return session;
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

std::string NoModelInfo() { return ""; }
std::size_t NoNameField(const KeyboardSlots&) { return 0; }

// ---- Family A -------------------------------------------------------------------------------------

bool OwnsA(std::int32_t modelType) { return modelType == 21 || modelType == 22; }

KeyboardSlots SlotsOfA(std::int32_t modelType, const std::string& songName) {
  SlotSession session;
  SetUpSessionA(session, modelType, songName);
  return {session.modelAddress, session.slotLabels, session.songName};
}

std::string ModelCodeA() { return kModelCodeA; }

void ReadA(const KeyboardSlots& slots, Listing& listing, TransferProgress& progress) {
  SlotSession session = SessionOf(slots);
  ReadSlotTableA(session, progress);
  listing = ListingOf(session);
  listing.freeSize = session.freeSize;
}

SendOutcome SendA(const KeyboardSlots& slots, std::size_t slot, const std::uint8_t* image, std::uint32_t size,
                  TransferProgress& progress, SendPrompts& prompts) {
  return SendSongToSlotA(SessionOf(slots), static_cast<std::uint8_t>(slot), image, size, progress, prompts);
}

void EraseA(const KeyboardSlots& slots, std::size_t slot) {
  DeleteSongInSlotA(SessionOf(slots), static_cast<std::uint8_t>(slot));
}

SlotRow ReadSlotA(const KeyboardSlots& slots, std::size_t slot) {
  SlotRow row;
  char name[kSlotNameSizeA] = {};
  row.used = ReadSlotInfoA(slots.modelAddress, static_cast<std::uint8_t>(slot), &row.size, name) != 0;
  row.name = Bounded(name, sizeof name);
  return row;
}

std::size_t NameFieldA(const KeyboardSlots& slots) {
  return slots.modelAddress == family_a::kAddressType21 ? 12 : 8;
}

// ---- Family B -------------------------------------------------------------------------------------

bool OwnsB(std::int32_t modelType) { return modelType >= 25 && modelType <= 27; }

KeyboardSlots SlotsOfB(std::int32_t, const std::string&) {
  SlotSession session;
  SetUpSessionB(session);
  return {session.modelAddress, session.slotLabels, ""};
}

std::string ModelCodeOfB() { return ModelCodeB(Run().modelType); }

void ReadB(const KeyboardSlots& slots, Listing& listing, TransferProgress& progress) {
  SlotSession session = SessionOf(slots);
  ReadSlotTableB(session, progress);
  listing = ListingOf(session);
  listing.maxSongSize = session.maxSongSize;
}

SendOutcome SendB(const KeyboardSlots& slots, std::size_t slot, const std::uint8_t* image, std::uint32_t size,
                  TransferProgress& progress, SendPrompts& prompts) {
  return SendSongToSlotB(SessionOf(slots), static_cast<std::uint8_t>(slot), image, size, progress, prompts);
}

void EraseB(const KeyboardSlots& slots, std::size_t slot) {
  DeleteSongInSlotB(SessionOf(slots), static_cast<std::uint8_t>(slot));
}

SlotRow ReadSlotB(const KeyboardSlots& slots, std::size_t slot) {
  SlotRow row;
  char name[kSlotNameSizeB] = {};
  row.used = ReadSlotInfoB(slots.modelAddress, static_cast<std::uint8_t>(slot), &row.size, name) != 0;
  row.name = Bounded(name, sizeof name);
  return row;
}

// ---- Family C -------------------------------------------------------------------------------------

bool OwnsC(std::int32_t modelType) { return SlotLayoutFor(modelType).slotCount > 0; }

KeyboardSlots SlotsOfC(std::int32_t modelType, const std::string&) {
  return {kModelAddressC, SlotLayoutFor(modelType).slotLabels, ""};
}

std::string ModelCodeC() { return Run().modelCode; }

void ReadC(const KeyboardSlots& slots, Listing& listing, TransferProgress& progress) {
  SlotLayout layout;
  layout.slotCount = static_cast<std::int32_t>(slots.labels.size());
  layout.slotLabels = slots.labels;
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

SendOutcome SendC(const KeyboardSlots&, std::size_t slot, const std::uint8_t* image, std::uint32_t size,
                  TransferProgress& progress, SendPrompts& prompts) {
  return SendSongToSlotC(static_cast<std::uint8_t>(slot), image, size, progress, prompts);
}

void EraseC(const KeyboardSlots&, std::size_t slot) { DeleteSongInSlotC(static_cast<std::uint8_t>(slot)); }

SlotRow ReadSlotC(const KeyboardSlots&, std::size_t slot) {
  SlotRow row;
  char name[kSlotNameSize] = {};
  row.used = (ReadSlotInfo(static_cast<std::uint8_t>(slot), &row.size, name) & 0xFF) != 0;
  row.name = Bounded(name, sizeof name);
  return row;
}

bool NeverNotReady(std::uint8_t) { return false; }
bool DeleteNotReadyC(std::uint8_t code) { return code == family_c::kErrNotReady; }

constexpr char kFreeMemoryLabel[] = "Empty Size";
constexpr char kLargestSongLabel[] = "Maximum Song Size";

// Families A and B first: family C serves every type of its own layout table.
constexpr FamilyEntry kFamilies[] = {
    {'A', OwnsA, SlotsOfA, ModelCodeA, NoModelInfo, ReadA, SendA, EraseA, ReadSlotA, NameFieldA, TotalKilobytesText,
     MemoryFigure::FreeMemory, kFreeMemoryLabel, true, true, IDS_MEMORY_SHORT_C,
     NeverNotReady, true, false},
    {'B', OwnsB, SlotsOfB, ModelCodeOfB, NoModelInfo, ReadB, SendB, EraseB, ReadSlotB, NoNameField,
     TotalKilobytesTextB, MemoryFigure::LargestSong, kLargestSongLabel, true, false, IDS_MEMORY_SHORT_B,
     NeverNotReady, true, false},
    {'C', OwnsC, SlotsOfC, ModelCodeC, ModelInfoArgument, ReadC, SendC, EraseC, ReadSlotC, NoNameField,
     TotalKilobytesText, MemoryFigure::FreeMemory, kFreeMemoryLabel, false, true, IDS_MEMORY_SHORT_C,
     DeleteNotReadyC, false, true},
};

}  // namespace

const FamilyEntry& FamilyA() { return kFamilies[0]; }
const FamilyEntry& FamilyB() { return kFamilies[1]; }
const FamilyEntry& FamilyC() { return kFamilies[2]; }

const FamilyEntry* FamilyFor(std::int32_t modelType) {
  for (const FamilyEntry& family : kFamilies) {
    if (family.owns(modelType)) return &family;
  }
  return nullptr;
}

bool HoldsSong(const Listing& listing, std::size_t row) {
  return row < listing.slots.size() && listing.slots[row].used;
}

std::size_t SlotOfRow(const Listing& listing, int row) {
  return row >= 0 && static_cast<std::size_t>(row) < listing.slots.size() ? static_cast<std::size_t>(row) : 0;
}

std::uint32_t MemoryShown(const FamilyEntry& family, const Listing& listing) {
  return family.memory == MemoryFigure::LargestSong ? listing.maxSongSize : listing.freeSize;
}

}  // namespace su
