#pragma once

#include "device_system.h"

#include <string>
#include <vector>

namespace devinstall {

// The value names the status command writes for what it found: "Error" when the devices
// could not be enumerated, "NotFound" when none matched, else "FoundProblem" and/or "FoundOK".
std::vector<std::wstring> statusValueNames(bool enumerated, unsigned devices, unsigned bits);

// Finds the devices the pattern selects and adds the answer as empty text values under
// HKEY_CURRENT_USER\subkey, which must exist and be named. Deletes nothing an earlier run left.
void runStatus(DeviceSystem& system, const std::wstring& pattern, const std::wstring& subkey);

}  // namespace devinstall
