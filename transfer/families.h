// What a front end (the command line, the page) needs of each keyboard family, as one table entry per family
// over the family's shared slot operations: the slot labels, reading the slots, sending, deleting and reading
// one slot back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "transfer/progress.h"
#include "transfer/send_prompts.h"

namespace su {

struct SlotRow {
  std::string label;  // as the transfer dialog shows it
  bool used = false;
  std::string name;   // as the keyboard reports it ("(Untitled)", the in-use marker, or empty)
  std::uint32_t size = 0;
};

struct Listing {
  std::vector<SlotRow> slots;
  std::uint32_t totalSize = 0;
  std::uint32_t freeSize = 0;     // families A and C
  bool hasMaxSongSize = false;    // family B shows the largest song it takes instead of its free memory
  std::uint32_t maxSongSize = 0;
};

struct FamilyEntry {
  char letter;
  bool (*owns)(std::int32_t modelType);
  std::vector<std::string> (*labels)(std::int32_t modelType);
  // The converter's model code and model info for the identified keyboard.
  std::string (*modelCode)();
  std::string (*modelInfo)();
  void (*read)(Listing& listing, TransferProgress& progress);
  SendOutcome (*send)(std::size_t slot, const std::string& songName, const std::uint8_t* image,
                      std::uint32_t size, TransferProgress& progress, SendPrompts& prompts);
  void (*erase)(std::size_t slot);
  // Reads one slot back: used, size and name.
  SlotRow (*readSlot)(std::size_t slot);
  // How much of the song's name the keyboard keeps (0: the family writes no name).
  std::size_t (*nameField)();
  // The total of stored songs in kilobytes as the family's transfer dialog shows it (family B never shows 0
  // for a keyboard that holds a song).
  std::string (*totalText)(std::uint32_t bytes);
};

// The family of the identified keyboard (Run().modelType); nullptr for a type no family serves.
const FamilyEntry* FamilyFor(std::int32_t modelType);

}  // namespace su
