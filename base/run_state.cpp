#include "base/run_state.h"

namespace su {

RunState& Run() {
  static RunState state;
  return state;
}

void ReleaseSongImage(RunState& run) {
  run.songImage.reset();
  run.songImageSize = 0;
}

}  // namespace su
