#pragma once

#include "device_system.h"

#include <cstddef>
#include <string>

namespace devinstall {

// Longest full INF path and hardware ID the install accepts, in characters.
inline constexpr std::size_t kMaxInfPath = 259;
inline constexpr std::size_t kMaxHardwareId = 255;

// Makes sure that a root device with this hardware ID exists and runs the driver of this INF:
// when devices with the ID exist and one has a problem or an older driver, removes them all
// and installs anew; when they all work with a driver at least as new, does nothing. Reports
// nothing; a failure ends the command where it happens.
void runInstall(DeviceSystem& system, const std::wstring& infPath, const std::wstring& hardwareId);

}  // namespace devinstall
