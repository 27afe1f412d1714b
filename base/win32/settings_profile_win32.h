// The settings file through the platform's profile-file services.
#pragma once

namespace su {

void InstallWin32Settings();

}  // namespace su
