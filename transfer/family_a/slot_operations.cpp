#include "transfer/family_a/slot_operations.h"

#include <vector>

#include "base/code_page.h"
#include "resources/message_numbers.h"
#include "transfer/family_a/frames.h"
#include "transfer/family_a/protocol.h"
#include "transfer/septet_encodings.h"

namespace su {

namespace {

constexpr int kSlotCountA = 10;

// The plain letters of U+00C0 to U+017F ("?" where there is none).
constexpr char kPlainLatin1[] = "AAAAAAACEEEEIIIIDNOOOOO?OUUUUY?saaaaaaaceeeeiiiidnooooo?ouuuuy?y";
constexpr char kPlainLatinA[] =
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIiIiJjKkkLlLlLlLlLlNnNnNnnNnOoOoOoOoRrRrRrSsSsSsSsTtTtTt"
    "UuUuUuUuUuUuWwYyYZzZzZzs";
static_assert(sizeof kPlainLatin1 == 64 + 1 && sizeof kPlainLatinA == 128 + 1, "one letter per code point");

char PlainLetter(std::uint32_t point) {
  if (point >= 0x20 && point < 0x7F) return static_cast<char>(point);
  if (point >= 0xC0 && point < 0x100) return kPlainLatin1[point - 0xC0];
  if (point >= 0x100 && point < 0x180) return kPlainLatinA[point - 0x100];
  return '?';
}

// The code points of `text` when it is valid UTF-8 (shortest forms only); false otherwise.
bool DecodeUtf8(const std::string& text, std::vector<std::uint32_t>* points) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                               : lead >= 0xF0 && lead < 0xF5              ? 4
                                                                          : 0;
    if (length == 0 || i + length > text.size()) return false;
    std::uint32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = (point << 6) | (next & 0x3F);
    }
    if ((length == 3 && point < 0x800) || (length == 4 && (point < 0x10000 || point > 0x10FFFF))) return false;
    points->push_back(point);
    i += length;
  }
  return true;
}

}  // namespace

std::string ShowableNameA(const std::string& name) {
  std::string shown;
  std::vector<std::uint32_t> points;
  if (DecodeUtf8(name, &points)) {
    for (const std::uint32_t point : points) shown += PlainLetter(point);
    return shown;
  }
  for (std::size_t i = 0; i < name.size(); i += CharacterLength(name, i)) {
    shown += CharacterLength(name, i) == 2 ? '?' : PlainLetter(static_cast<unsigned char>(name[i]));
  }
  return shown;
}

void SetUpSessionA(SlotSession& session, std::int32_t modelType, const std::string& songName) {
  session.songName = ShowableNameA(songName);
  SetUpSlots(session, modelType == 22 ? family_a::kAddressType22 : family_a::kAddressType21, kSlotCountA, 0);
}

void ReadSlotTableA(SlotSession& session, TransferProgress& progress) {
  const ProgressClearing clearing(progress);
  ReadSlotEntries(session, progress, ReadSlotInfoA);
  session.freeSize = ReadFreeSpaceA(session.modelAddress);
}

SendOutcome SendSongToSlotA(const SlotSession& session, std::uint8_t slot, const std::uint8_t* image,
                            std::uint32_t size, TransferProgress& progress, SendPrompts& prompts) {
  const ProgressClearing clearing(progress);
  const std::uint16_t address = session.modelAddress;
  PrepareKeyboardA(address, false);
  std::uint32_t oldSize = 0;
  const int used = ReadSlotInfoA(address, slot, &oldSize, nullptr);
  const std::uint32_t free = ReadFreeSpaceA(address);
  // The song in the target slot makes room when it is replaced. An odd-sized song goes out padded into a
  // whole last word, and that byte needs room too. Summed wide so that absurd readings cannot wrap round.
  const std::uint64_t needed = WholeWordsSize(size);
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
