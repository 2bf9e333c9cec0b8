#include "driver_entry.h"

#include "start_device.h"

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath) {
  return PcInitializeAdapterDriver(driverObject, registryPath, AddDevice);
}

NTSTATUS AddDevice(PDRIVER_OBJECT driverObject, PDEVICE_OBJECT physicalDeviceObject) {
  return PcAddAdapterDevice(driverObject, physicalDeviceObject, StartDevice, kMaxSubdevices, 0);
}
