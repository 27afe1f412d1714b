#include "transfer/family_c/slot_layout.h"

namespace su {

namespace {

// Every model's labels count up by one from the first.
struct LayoutRow {
  std::int32_t modelType;
  std::int32_t slotCount;
  std::int32_t firstLabel;
};

constexpr LayoutRow kLayouts[] = {
    {4, 10, 30},  {5, 10, 25},  {6, 10, 80},  {7, 10, 50},  {8, 10, 40},  {9, 10, 30},  {10, 10, 0},
    {11, 10, 30}, {12, 10, 20}, {13, 5, 60},  {14, 5, 65},  {15, 10, 50}, {16, 10, 40}, {17, 5, 50},
    {18, 15, 65}, {19, 10, 65}, {20, 5, 50},  {23, 10, 70}, {24, 10, 50}, {28, 5, 101},
};

}  // namespace

SlotLayout SlotLayoutFor(std::int32_t modelType) {
  SlotLayout layout;
  for (const LayoutRow& row : kLayouts) {
    if (row.modelType != modelType) continue;
    layout.slotCount = row.slotCount;
    for (std::int32_t slot = 0; slot < row.slotCount; ++slot) {
      layout.slotLabels.push_back(std::to_string(row.firstLabel + slot));
    }
    break;
  }
  return layout;
}

}  // namespace su
