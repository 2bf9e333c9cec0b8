#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kernel_standin/pool.h"
#include "kernel_standin/subdevice.h"
#include "kernel_standin/wave_cyclic_port.h"
#include "kernel_surface.h"

// One root-enumerated device driven through its life as Plug and Play and Port Class drive
// it: driver entry, AddDevice, the start IRP, and removal. It records what the driver
// registers. Used from one test thread.
namespace kstandin {

using DriverEntryRoutine = NTSTATUS (*)(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath);

struct PhysicalConnection {
  std::u16string fromSubdevice;
  ULONG fromPin;
  std::u16string toSubdevice;
  ULONG toPin;
  bool operator==(const PhysicalConnection&) const = default;
};

// What removal left behind: pool blocks allocated since the device was created and not freed,
// and stand-in objects still referenced. Empty on a clean removal.
struct RemovalReport {
  std::vector<PoolBlock> leaks;
  std::vector<std::string> liveObjects;
  bool Clean() const { return leaks.empty() && liveObjects.empty(); }
  std::string Text() const;
};

class DeviceImpl;

class Device {
 public:
  explicit Device(DriverEntryRoutine driverEntry);
  ~Device();  // removes the device if Remove was not called
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  // DriverEntry, AddDevice and StartDevice in turn, at PASSIVE_LEVEL; the first failing
  // status is returned and what was registered until then stays for inspection and removal.
  NTSTATUS Start();
  // Each port lets go of its miniport, the power-management registration is released, then
  // the device's reference to each port; the report says what survived.
  RemovalReport Remove();

  std::vector<std::u16string> SubdeviceNames() const;
  Subdevice* FindSubdevice(std::u16string_view name) const;
  WaveCyclicPort* FindWaveCyclicPort(std::u16string_view name) const;
  std::vector<PhysicalConnection> PhysicalConnections() const;
  // The interface PcRegisterAdapterPowerManagement took, as Port Class calls it.
  IAdapterPowerManagement* PowerManagement() const;
  ULONG MaxObjects() const;
  PDEVICE_OBJECT FunctionalDeviceObject() const;

 private:
  std::unique_ptr<DeviceImpl> impl_;
};

}  // namespace kstandin
