#pragma once

#include <string>
#include <vector>

#include "kernel_objects.h"
#include "kernel_standin/device.h"

// What Port Class keeps per device: the start routine, the subdevices and physical
// connections registered, the power-management interface. The Pc* entry points fill it.
namespace kstandin {

class ResourceList final : public IResourceList {
 public:
  NTSTATUS QueryInterface(REFIID iid, PVOID* object) override;
  ULONG AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  ULONG Release() override { return static_cast<ULONG>(InterlockedDecrement(&references_)); }
  LONG References() const { return references_; }

 private:
  LONG volatile references_ = 1;  // the device's own; never freed
};

struct SubdeviceEntry {
  std::u16string name;
  Subdevice* subdevice;  // holds the registration's reference, through Unknown()
};

struct ConnectionEntry {
  size_t from;
  ULONG fromPin;
  size_t to;
  ULONG toPin;
};

class DeviceImpl {
 public:
  explicit DeviceImpl(DriverEntryRoutine driverEntry);

  DriverEntryRoutine driverEntry;
  uint64_t firstSerial;  // pool allocations after this one belong to the device
  DRIVER_OBJECT driverObject;
  DEVICE_OBJECT physicalDevice;
  DEVICE_OBJECT functionalDevice;
  bool added = false;
  bool removed = false;
  PCPFNSTARTDEVICE startDevice = nullptr;
  ULONG maxObjects = 0;
  std::vector<SubdeviceEntry> subdevices;
  std::vector<ConnectionEntry> connections;
  IAdapterPowerManagement* power = nullptr;  // referenced
  ResourceList resources;

  // The registered subdevice behind a port's unknown, or none.
  const SubdeviceEntry* Find(PUNKNOWN unknown, size_t* index) const;
};

}  // namespace kstandin
