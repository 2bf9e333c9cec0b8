#pragma once

#include "device_system.h"

#include <string>
#include <vector>

namespace devinstall {

// Exit codes: a malformed command line, and everything else whatever the outcome.
inline constexpr int kExitMalformed = 1;
inline constexpr int kExitDone = 0;

// Runs the command of an already split command line (element 0 is the program):
//   devinstall INF-path hardware-ID        install
//   devinstall -word pattern subkey        status (any first argument beginning with "-")
// Further elements are ignored.
int runCommandLine(const std::vector<std::wstring>& arguments, DeviceSystem& system);

}  // namespace devinstall
