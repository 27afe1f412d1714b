// The system's processor affinity mask, which the keyboard-port check looks at. The program installs the
// platform's reading; tests install whatever machine they need. With nothing installed the machine counts
// as having one processor.
#pragma once

#include <cstdint>
#include <functional>

namespace su {

void InstallAffinityMaskSource(std::function<std::uint64_t()> source);
std::uint64_t SystemAffinityMask();

}  // namespace su
