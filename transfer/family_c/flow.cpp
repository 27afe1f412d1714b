// Placeholder until the family C flow lands.
#include "transfer/family_c/flow.h"
namespace su {
int RunFamilyC() { return 1; }
}  // namespace su
