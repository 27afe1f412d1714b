#include "transfer/song_fate.h"

#include <string>

#include "transfer/septet_encodings.h"

namespace su {

namespace {

// Family A pads the name it keeps with spaces to its field.
std::string Trimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

bool SlotShowsSong(const FamilyEntry& family, const KeyboardSlots& slots, const SlotRow& row, std::uint32_t size) {
  if (!row.used) return false;
  // A whole-word family sends an odd-sized song with its padding byte, and may report it with it.
  if (row.size != size && !(family.sendsWholeWords && row.size == WholeWordsSize(size))) return false;
  const std::size_t field = family.nameField(slots);
  return field == 0 || Trimmed(row.name) == Trimmed(slots.songName.substr(0, field));
}

bool SameRow(const SlotRow& a, const SlotRow& b) {
  return a.used && b.used && a.size == b.size && Trimmed(a.name) == Trimmed(b.name);
}

FateReading ReadFate(const FamilyEntry& family, const KeyboardSlots& slots, std::uint32_t size, SendEvidence sent,
                     const SlotRow& before, const SlotRow* after) {
  FateReading reading;
  if (after != nullptr) {
    reading.oldStill = SameRow(before, *after);
    reading.emptied = before.used && !after->used;
  }
  const bool shows = after != nullptr && SlotShowsSong(family, slots, *after, size);
  switch (sent) {
    case SendEvidence::Acknowledged:
      // The keyboard took the song whole: a reading that shows it confirms it; none at all leaves the
      // keyboard's word standing; one that shows the slot empty or holding another song contradicts it.
      if (after == nullptr || shows) {
        reading.fate = SongFate::Stored;
        reading.confirmed = shows;
      } else {
        reading.fate = SongFate::Failed;
      }
      break;
    case SendEvidence::EndUnknown:
      // Every block went in but the end was never confirmed: only a row the old one cannot explain is the
      // new song; the old row unchanged (or no reading) cannot tell.
      if (after == nullptr || (shows && reading.oldStill)) {
        reading.fate = SongFate::Unknown;
      } else if (shows) {
        reading.fate = SongFate::Stored;
        reading.confirmed = true;
      } else {
        reading.fate = SongFate::Failed;
      }
      break;
    case SendEvidence::Partial:
    case SendEvidence::NothingSent:
      // The keyboard never took the whole song: whatever its slot shows is not this song.
      reading.fate = SongFate::Failed;
      break;
  }
  return reading;
}

}  // namespace su
