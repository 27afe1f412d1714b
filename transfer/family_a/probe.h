// The family A probe of the keyboard search: keyboards of model types 21 and 22 answer no identity request.
#pragma once

namespace su {

// 1 with Run().modelType set to 21 or 22 when a family A keyboard answered; 0 otherwise. The type-22 model
// address is tried only when the settings file asks for it (DEBUG_ZT52=1).
int ProbeFamilyA();

}  // namespace su
