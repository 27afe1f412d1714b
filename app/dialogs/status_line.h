// The status line (control 11000) of a transfer dialog, filled from the string table.
#pragma once

#include <cstddef>

#include "app/dialog_screen.h"

namespace su {

// Status lines live in buffers of 64 characters (the zero included).
constexpr std::size_t kStatusBufferChars = 64;

// The status line of `dialog`: message `number`, or "" to clear it.
void SetStatusLine(WindowRef dialog, int number);
void ClearStatusLine(WindowRef dialog);

}  // namespace su
