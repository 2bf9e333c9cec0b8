#pragma once

#include "device_system.h"
#include "hardware_id_pattern.h"

#include <cstddef>
#include <functional>

namespace devinstall {

enum class Enumeration {
  kCompleted,    // the set was enumerated to its end
  kUnavailable,  // the set or its details were not available
};

// Runs the action on each device the pattern selects, in enumeration order, on the one set
// that this call opens and releases. The action must not release the set.
using DeviceAction = std::function<void(DeviceSet& set, std::size_t device)>;

Enumeration enumerateDevices(DeviceSystem& system, const HardwareIdPattern& pattern, const DeviceAction& action);

}  // namespace devinstall
