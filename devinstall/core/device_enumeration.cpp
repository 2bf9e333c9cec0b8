#include "device_enumeration.h"

#include <algorithm>

namespace devinstall {

namespace {

using Kind = HardwareIdPattern::Kind;

// The set a pattern selects from. A class name that no class has selects nothing, and
// that is a complete enumeration; a set that cannot be had is not.
struct Selection {
  std::unique_ptr<DeviceSet> set;
  bool available = true;
};

Selection openSet(DeviceSystem& system, const HardwareIdPattern& pattern) {
  std::unique_ptr<DeviceSet> set;
  switch (pattern.kind()) {
    case Kind::kInstanceId:
      // An empty instance ID would open the root of the device tree: "@" alone names nothing.
      if (pattern.text().empty()) return {nullptr, true};
      set = system.deviceWithInstanceId(pattern.text());
      break;
    case Kind::kSetupClass: {
      const ClassLookup lookup = system.setupClassNamed(pattern.text());
      if (lookup.result == ClassLookup::Result::kNoClass) return {nullptr, true};
      if (lookup.result == ClassLookup::Result::kFound) set = system.presentDevicesOfClass(lookup.guid);
      break;
    }
    default:
      set = system.presentDevices();
      break;
  }
  const bool available = set != nullptr;
  return {std::move(set), available};
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
  const Selection selection = openSet(system, pattern);
  if (!selection.available) return Enumeration::kUnavailable;
  DeviceSet* const set = selection.set.get();
  for (std::size_t device = 0; set && set->contains(device); ++device) {
    if (selected(*set, device, pattern)) action(*set, device);
  }
  return Enumeration::kCompleted;
}

}  // namespace devinstall
