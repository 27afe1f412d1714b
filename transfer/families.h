// Each keyboard family described once, as data and a few operations, for every front end alike (the Windows
// dialogs, the command line, the page): how its slots are labelled and read into the one slot record, how a
// song is sent and deleted, which memory figure it shows and how its total reads, and whether its dialog
// reads the slots again while the delete message is still up. What differs between families is a field
// here, never a front end's own copy of a rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "transfer/progress.h"
#include "transfer/send_prompts.h"

namespace su {

// One slot as the last reading found it: the one slot record of every family.
struct SlotRow {
  std::string label;  // as the keyboard itself numbers the slot
  bool used = false;
  std::string name;   // as the keyboard reports it ("(Untitled)", the in-use marker, or empty)
  std::uint32_t size = 0;
};

struct Listing {
  std::vector<SlotRow> slots;
  std::uint32_t totalSize = 0;
  std::uint32_t freeSize = 0;     // families A and C
  std::uint32_t maxSongSize = 0;  // family B: the largest song it takes
};

// Which figure a family shows beside its total: the free memory, or the largest song it takes.
enum class MemoryFigure { FreeMemory, LargestSong };

// The keyboard a family's operations talk to, as it was found: the model address its frames carry, its
// slots as it labels them, and the song's name as the keyboard keeps it (family A writes it).
struct KeyboardSlots {
  std::uint16_t modelAddress = 0;
  std::vector<std::string> labels;
  std::string songName;
};

struct FamilyEntry {
  char letter;
  bool (*owns)(std::int32_t modelType);
  // The slots of a keyboard of `modelType`, with `songName` (the staged song's base name, or "") as the
  // family keeps it.
  KeyboardSlots (*slotsOf)(std::int32_t modelType, const std::string& songName);
  // The converter's model code and model info for the identified keyboard.
  std::string (*modelCode)();
  std::string (*modelInfo)();
  // Reads every slot and the memory figures, one progress step per slot; the progress is cleared after.
  void (*read)(const KeyboardSlots& slots, Listing& listing, TransferProgress& progress);
  SendOutcome (*send)(const KeyboardSlots& slots, std::size_t slot, const std::uint8_t* image, std::uint32_t size,
                      TransferProgress& progress, SendPrompts& prompts);
  void (*erase)(const KeyboardSlots& slots, std::size_t slot);
  // Reads one slot back: used, size and name.
  SlotRow (*readSlot)(const KeyboardSlots& slots, std::size_t slot);
  // How much of the song's name the keyboard keeps (0: the family writes no name).
  std::size_t (*nameField)(const KeyboardSlots& slots);
  // The total of stored songs in kilobytes as the family's transfer dialog shows it (family B never shows 0
  // for a keyboard that holds a song).
  std::string (*totalText)(std::uint32_t bytes);
  MemoryFigure memory;
  // The label of that figure, as every front end shows it beside the total.
  const char* memoryLabel;
  // The family sends the song in whole words (word triplets): an odd-sized song takes its padding byte too.
  bool sendsWholeWords;
  // After a delete the dialog reads the slots again while message 50 is still up (the refresh is posted
  // before it opens), or only once it has been closed.
  bool refreshUnderDeleteMessage;
  // The message that says the keyboard lacks room for a song: 52, or 59 for a family that takes songs up
  // to a largest size.
  int noRoomMessage;
  // Whether a keyboard error code refusing a delete means the keyboard is not ready (family C), rather than
  // an error of its own.
  bool (*deleteNotReady)(std::uint8_t code);
  // The transfer dialog is disabled as a whole while the blocks go out (families A and B: their sends take
  // long pauses in which nothing else may start).
  bool disablesWhileSending;
  // The keyboard answers the close of a song it took (family C's final check). Families A and B end a song
  // with frames the keyboard never answers, so their send alone cannot say the keyboard kept the song.
  bool confirmsSongEnd;
};

const FamilyEntry& FamilyA();
const FamilyEntry& FamilyB();
const FamilyEntry& FamilyC();
// The family of the identified keyboard (Run().modelType); nullptr for a type no family serves.
const FamilyEntry* FamilyFor(std::int32_t modelType);

// Whether the slot of `row` held a song at the last reading; false for a row the listing does not have.
bool HoldsSong(const Listing& listing, std::size_t row);
// The slot a selected row stands for: the row itself, or slot 0 when nothing (or nothing listed) is selected.
std::size_t SlotOfRow(const Listing& listing, int row);
// The memory figure the family shows, in bytes.
std::uint32_t MemoryShown(const FamilyEntry& family, const Listing& listing);

}  // namespace su
