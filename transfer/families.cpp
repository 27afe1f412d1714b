#include "transfer/families.h"

#if __has_include(<iconv.h>)
#include <iconv.h>
#define SU_HAS_ICONV 1
#else
#define SU_HAS_ICONV 0
#endif

#include "base/conversion.h"
#include "base/run_state.h"
#include "resources/strings.h"
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

constexpr char kInUseMarkerReadable[] = "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF\xE3\x81\x8C\xE3\x81\x82\xE3\x82\x8A"
                                        "\xE3\x81\xBE\xE3\x81\x99";  // the in-use marker in UTF-8

// One double-byte character of code page 932 in UTF-8, "?" where the system cannot decode it.
std::string DoubleByteCharacter(const std::string& bytes) {
#if SU_HAS_ICONV
  iconv_t decoder = iconv_open("UTF-8", "CP932");
  if (decoder == reinterpret_cast<iconv_t>(-1)) return "?";
  char in[2] = {bytes[0], bytes[1]};
  char out[8] = {};
  char* inAt = in;
  char* outAt = out;
  std::size_t inLeft = 2;
  std::size_t outLeft = sizeof out;
  const std::size_t done = iconv(decoder, &inAt, &inLeft, &outAt, &outLeft);
  iconv_close(decoder);
  if (done == static_cast<std::size_t>(-1) || inLeft != 0) return "?";
  return std::string(out, sizeof out - outLeft);
#else
  (void)bytes;
  return "?";
#endif
}

}  // namespace

const FamilyEntry* FamilyFor(std::int32_t modelType) {
  for (const FamilyEntry& family : kFamilies) {
    if (family.owns(modelType)) return &family;
  }
  return nullptr;
}

std::string SlotNameShown(const std::string& name) {
  if (name == TEXT_IN_USE_MARKER) return kInUseMarkerReadable;
  std::string text;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      text += name[i];
    } else if (byte >= 0xA1 && byte <= 0xDF) {
      // A half-width katakana of code page 932: U+FF61 on.
      const unsigned point = 0xFF61 + (byte - 0xA1);
      text += static_cast<char>(0xE0 | (point >> 12));
      text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (point & 0x3F));
    } else if (((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC)) && i + 1 < name.size()) {
      text += DoubleByteCharacter(name.substr(i, 2));
      ++i;
    } else {
      text += '?';
    }
  }
  return text;
}

}  // namespace su
