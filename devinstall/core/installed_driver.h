#pragma once

#include "device_system.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace devinstall {

// The version of the driver node installed on a device, or none when it is not known. Asks
// the platform directly; when the platform refuses the installed-driver flags, finds the node
// in the device's own INF whose manufacturer, provider, section and description are exactly
// those the device and its driver key record.
std::optional<std::uint64_t> installedDriverVersion(DeviceSet& set, std::size_t device);

}  // namespace devinstall
