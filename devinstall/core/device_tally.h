#pragma once

#include "device_system.h"

#include <cstddef>
#include <cstdint>

namespace devinstall {

// What an enumeration found: the devices counted and what was seen on them.
struct DeviceTally {
  static constexpr unsigned kInfIsNewer = 1;    // install check: the INF's driver is newer
  static constexpr unsigned kProblem = 2;       // a device has a problem
  static constexpr unsigned kDriverLoaded = 4;  // status: a device has its driver loaded

  unsigned devices = 0;
  unsigned bits = 0;

  void count(unsigned seen) noexcept {
    ++devices;
    bits |= seen;
  }
};

// The install check of one device against the INF's driver version number.
void classifyForInstall(DeviceSet& set, std::size_t device, std::uint64_t infVersion, DeviceTally& tally);

// The status command's view of one device.
void classifyForStatus(DeviceSet& set, std::size_t device, DeviceTally& tally);

}  // namespace devinstall
