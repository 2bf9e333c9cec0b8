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
// Further elements are ignored. Under WOW64 a well-formed command line is handed whole to the
// 64-bit build of the program, whose exit code is returned; it runs here only when that one
// cannot be started.
int runCommandLine(const std::vector<std::wstring>& arguments, DeviceSystem& system);

}  // namespace devinstall
