// Placeholder until the converter and the save flow land.
#include "app/save_flow.h"
namespace su {
int SaveSongFile() { return 0; }
}  // namespace su
