// The family B probe of the keyboard search: keyboards of model types 25, 26 and 27 answer no identity
// request and no family A model read.
#pragma once

namespace su {

// 1 with Run().modelType set to 25, 26 or 27 when a family B keyboard answered; 0 otherwise.
int ProbeFamilyB();

}  // namespace su
