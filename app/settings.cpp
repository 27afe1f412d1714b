// Placeholder until the settings file lands.
#include "app/settings.h"
namespace su {
int MakeSettingsPath() { return 1; }
int LoadSettings() { return 1; }
int StorePortChoice() { return 1; }
}  // namespace su
