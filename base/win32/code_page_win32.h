// The lead bytes of the system's ANSI code page, handed to the portable core at start.
#pragma once

namespace su {

void InstallSystemLeadBytes();

}  // namespace su
