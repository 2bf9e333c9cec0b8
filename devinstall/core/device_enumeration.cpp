#include "device_enumeration.h"

#include <algorithm>

namespace devinstall {

namespace {

using Kind = HardwareIdPattern::Kind;

std::unique_ptr<DeviceSet> openSet(DeviceSystem& system, const HardwareIdPattern& pattern, bool& empty) {
  empty = false;
  switch (pattern.kind()) {
    case Kind::kInstanceId:
      return system.deviceWithInstanceId(pattern.text());
    case Kind::kSetupClass: {
      const ClassLookup lookup = system.setupClassNamed(pattern.text());
      if (lookup.result == ClassLookup::Result::kFound) return system.presentDevicesOfClass(lookup.guid);
      empty = lookup.result == ClassLookup::Result::kNoClass;
      return nullptr;
    }
    default:
      return system.presentDevices();
  }
}

bool selected(DeviceSet& set, std::size_t device, const HardwareIdPattern& pattern) {
  if (pattern.readsInstanceId()) {
    const auto id = set.instanceId(device);
    return id && pattern.matches(*id);
  }
  if (pattern.readsIdLists()) {
    const auto matches = [&](const std::wstring& id) { return pattern.matches(id); };
    for (const IdList which : {IdList::kHardware, IdList::kCompatible}) {
      const auto ids = set.ids(device, which);
      if (std::any_of(ids.begin(), ids.end(), matches)) return true;
    }
    return false;
  }
  return true;
}

}  // namespace

Enumeration enumerateDevices(DeviceSystem& system, const HardwareIdPattern& pattern, const DeviceAction& action) {
  bool empty = false;
  const std::unique_ptr<DeviceSet> set = openSet(system, pattern, empty);
  if (!set) return empty ? Enumeration::kCompleted : Enumeration::kUnavailable;
  for (std::size_t device = 0; set->contains(device); ++device) {
    if (selected(*set, device, pattern)) action(*set, device);
  }
  return Enumeration::kCompleted;
}

}  // namespace devinstall
