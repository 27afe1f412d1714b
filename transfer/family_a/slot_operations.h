// The family A rules that the transfer dialog and the command line share: the session of a model type,
// reading the slot table, the room check and replace order of a send, and deleting a slot's song.
#pragma once

#include <cstdint>
#include <string>

#include "transfer/progress.h"
#include "transfer/send_prompts.h"
#include "transfer/slot_session.h"

namespace su {

// The model code the converter is given for every family A keyboard.
constexpr char kModelCodeA[] = "f0";

// The song's name as a family A keyboard can show it: printable ASCII, one character for each character of
// `name`. A letter beyond ASCII becomes its plain letter where it has one ("ü" -> "u"), anything else "?".
// `name` is read as UTF-8 when it is valid UTF-8, else in the system's code page (Latin-1 letters for
// single bytes, a double-byte character as one "?").
std::string ShowableNameA(const std::string& name);

// Ten slots labelled "0" to "9", all cleared, at the model address of `modelType` (21 or 22); the song's
// name as ShowableNameA gives it.
void SetUpSessionA(SlotSession& session, std::int32_t modelType, const std::string& songName);
// Reads every slot and the free memory into `session`: one step per slot after status 47, then cleared.
void ReadSlotTableA(SlotSession& session, TransferProgress& progress);
// Sends `image` into `slot`: the opening request, the room check (the old song counts as room, an odd size
// needs its padding byte), message 39 and the delete before a replace, the blocks, then the song's name.
SendOutcome SendSongToSlotA(const SlotSession& session, std::uint8_t slot, const std::uint8_t* image,
                            std::uint32_t size, TransferProgress& progress, SendPrompts& prompts);
// Asks the keyboard to delete the slot's song (the opening request first).
void DeleteSongInSlotA(const SlotSession& session, std::uint8_t slot);

}  // namespace su
