// The song slots of each family C model: how many there are and the number under which the keyboard itself
// shows each one. Messages address a slot by its position in the list (0 up); the label is only shown.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace su {

constexpr int kMaxSlotsC = 15;  // the largest slot count of any family C model

struct SlotLayout {
  std::int32_t slotCount = 0;
  std::vector<std::string> slotLabels;  // one decimal text per slot, in slot order
};

// The layout of `modelType`; an empty layout (no slots) for a type outside family C.
SlotLayout SlotLayoutFor(std::int32_t modelType);

}  // namespace su
