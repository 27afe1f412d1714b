// delete: the song in one slot removed, after the dialogs' question, and the slot read back.
#include <cstddef>
#include <string>

#include "base/errors.h"
#include "cli/commands.h"
#include "cli/commands/connection.h"
#include "cli/commands/context.h"
#include "cli/commands/failures.h"
#include "cli/commands/printable.h"
#include "cli/exit_codes.h"
#include "resources/message_numbers.h"

namespace su::cli {

void RunDelete(CommandContext& context) {
  PortsClosed closed;
  Connect(context);
  const FamilyEntry& family = *context.family;
  const std::size_t slot = SlotIndex(context);
  const SlotRow before = family.readSlot(context.slots, slot);
  if (!before.used) throw Stop{kExitDeclined, "Slot " + context.slotLabel + " holds no song."};
  if (!context.screen.Confirm(MessageText(IDS_DELETE_QUESTION))) throw Stop{kExitDeclined, ""};
  try {
    family.erase(context.slots, slot);
  } catch (const APP_EXCEPTION& error) {
    // A family C keyboard refuses a delete it is not ready for with its not-ready code: the same outcome as
    // a send it is not ready for, though the text stays the dialog's.
    if (family.deleteNotReady(error.code)) throw Stop{kExitNotReady, FailureText(error)};
    throw;
  }
  // The keyboard has deleted the song: a stop from here on changes nothing of what the command reports.
  context.committed = true;
  context.result = {
      {"slot", context.slotLabel}, {"name", ReadableName(RightTrimmed(before.name))}, {"bytes", before.size}};
  if (!context.options.json) context.console.out << MessageText(IDS_DELETE_COMPLETE) << '\n';
  bool stillUsed = false;
  {
    // The slot read back, which a stop asked for now lets finish, as the reading after a send.
    CheckingFlag().readingAfter = true;
    struct Shield {
      ~Shield() { CheckingFlag().readingAfter = false; }
    } shield;
    stillUsed = family.readSlot(context.slots, slot).used;
  }
  if (stillUsed) throw Stop{kExitCheckFailed, "Slot " + context.slotLabel + " still holds a song."};
}

}  // namespace su::cli
