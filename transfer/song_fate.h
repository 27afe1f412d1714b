// What became of a song sent to a slot, from all the evidence there is: how far its send came, what the slot
// held before and what a reading of the slot shows afterwards. A reading alone cannot tell a new song from an
// old one of the same size and name (a song edited and sent again is the everyday case), so "stored" rests on
// positive evidence of the new song, and where the evidence cannot tell, the fate says so. The plan decides
// each song's fate by this rule, and the page keeps or drops its "stored" marks by it.
#pragma once

#include <cstdint>

#include "transfer/families.h"

namespace su {

// What a song's send itself established, before any reading after.
enum class SendEvidence {
  NothingSent,   // nothing of it reached the keyboard: no delete made way for it, no block went out
  Partial,       // a delete or blocks went out, but the keyboard did not take every block
  EndUnknown,    // the keyboard took every block, but its word on the whole song never came (a final check
                 // cancelled or timed out, a closing frame that could not be sent, a stop at the close)
  Acknowledged,  // the keyboard answered the close of the song: it took the song whole
};

// What became of one song of a plan.
enum class SongFate {
  Stored,    // the keyboard acknowledged it and no reading contradicts that, or a reading shows a new row
             // where its end was not known
  NotBegun,  // nothing of it went to the keyboard: it did not fit, or the plan ended before it
  Failed,    // its send failed, or the reading after shows something else in its slot
  Declined,  // the slot held a song nobody agreed to replace (the user said No, or it filled since the
             // reading the plan was made from): nothing was deleted
  Unknown,   // it went to the keyboard, but the evidence cannot tell whether the slot holds it
};

struct FateReading {
  SongFate fate = SongFate::Failed;
  bool confirmed = false;  // Stored: a reading after shows it (false: as the keyboard acknowledged only)
  bool oldStill = false;   // the reading after shows the very row the slot held before
  bool emptied = false;    // the slot held a song before, and the reading after shows it empty
};

// Whether `row` is what a song of `size` bytes sent with `slots` (its name as the family keeps it) leaves in
// a slot: the size (an odd size may come back with the padding byte a whole-word family sends) and, where the
// family keeps a name, that name.
bool SlotShowsSong(const FamilyEntry& family, const KeyboardSlots& slots, const SlotRow& row, std::uint32_t size);

// Whether two readings of one slot show the same song as far as a reading can tell: both used, the same size
// and the same name.
bool SameRow(const SlotRow& a, const SlotRow& b);

// The fate of a song whose send began (`sent` is not NothingSent, or it failed on the way): `before` is its
// slot as the reading the plan was made from showed it, `after` the reading after (nullptr when none could be
// made). A send that ended as the keyboard's protocol ends it and is not contradicted is stored; one whose end
// is unknown is stored only where the reading shows a row the old one cannot explain; a send that failed
// before the keyboard took every block is not stored.
FateReading ReadFate(const FamilyEntry& family, const KeyboardSlots& slots, std::uint32_t size, SendEvidence sent,
                     const SlotRow& before, const SlotRow* after);

}  // namespace su
