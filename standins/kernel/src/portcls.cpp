// The Port Class entry points: they record what the driver registers in its device's
// DeviceImpl, and each can be made to fail (faults.h). All run at PASSIVE_LEVEL.

#include "device_impl.h"
#include "faults.h"
#include "irql.h"
#include "kernel_standin/subdevice.h"
#include "kernel_standin/wave_cyclic_port.h"
#include "service_group.h"
#include "topology_port.h"

using namespace kstandin;

namespace {

DeviceImpl* FunctionalDevice(PDEVICE_OBJECT device) {
  return device != nullptr && device->functional ? device->device : nullptr;
}

}  // namespace

extern "C" {

NTSTATUS PcInitializeAdapterDriver(PDRIVER_OBJECT DriverObject, PUNICODE_STRING, PDRIVER_ADD_DEVICE AddDevice) {
  RequireIrqlAtMost(PASSIVE_LEVEL, "PcInitializeAdapterDriver");
  if (const auto fault = TakeFault(PcCall::InitializeAdapterDriver)) return *fault;
  if (DriverObject == nullptr || AddDevice == nullptr) return STATUS_INVALID_PARAMETER;
  DriverObject->addDevice = AddDevice;
  return STATUS_SUCCESS;
}

NTSTATUS PcAddAdapterDevice(PDRIVER_OBJECT DriverObject, PDEVICE_OBJECT PhysicalDeviceObject,
                            PCPFNSTARTDEVICE StartDevice, ULONG MaxObjects, ULONG) {
  RequireIrqlAtMost(PASSIVE_LEVEL, "PcAddAdapterDevice");
  if (const auto fault = TakeFault(PcCall::AddAdapterDevice)) return *fault;
  if (DriverObject == nullptr || PhysicalDeviceObject == nullptr || StartDevice == nullptr || MaxObjects == 0)
    return STATUS_INVALID_PARAMETER;
  DeviceImpl* device = DriverObject->device;
  if (device == nullptr || PhysicalDeviceObject != &device->physicalDevice || device->added)
    return STATUS_INVALID_DEVICE_REQUEST;
  device->added = true;
  device->startDevice = StartDevice;
  device->maxObjects = MaxObjects;
  return STATUS_SUCCESS;
}

NTSTATUS PcNewPort(PPORT* OutPort, REFCLSID ClassId) {
  RequireIrqlAtMost(PASSIVE_LEVEL, "PcNewPort");
  if (OutPort == nullptr) return STATUS_INVALID_PARAMETER;
  *OutPort = nullptr;
  if (const auto fault = TakeFault(PcCall::NewPort)) return *fault;
  if (IsEqualGUID(ClassId, CLSID_PortTopology)) return TopologyPort::Create(OutPort);
  if (IsEqualGUID(ClassId, CLSID_PortWaveCyclic)) return WaveCyclicPort::Create(OutPort);
  return STATUS_INVALID_PARAMETER;
}

NTSTATUS PcNewMiniport(PMINIPORT* OutMiniport, REFCLSID) {
  RequireIrqlAtMost(PASSIVE_LEVEL, "PcNewMiniport");
  if (OutMiniport == nullptr) return STATUS_INVALID_PARAMETER;
  *OutMiniport = nullptr;
  if (const auto fault = TakeFault(PcCall::NewMiniport)) return *fault;
  return STATUS_INVALID_PARAMETER;  // the stand-in has no built-in miniports
}

NTSTATUS PcRegisterSubdevice(PDEVICE_OBJECT DeviceObject, PCWSTR Name, PUNKNOWN Unknown) {
  RequireIrqlAtMost(PASSIVE_LEVEL, "PcRegisterSubdevice");
  if (const auto fault = TakeFault(PcCall::RegisterSubdevice)) return *fault;
  DeviceImpl* device = FunctionalDevice(DeviceObject);
  if (device == nullptr || Name == nullptr || Name[0] == 0 || Unknown == nullptr) return STATUS_INVALID_PARAMETER;
  const std::u16string name(Name);
  for (const SubdeviceEntry& entry : device->subdevices)
    if (entry.name == name) return STATUS_INVALID_PARAMETER;
  if (device->subdevices.size() >= device->maxObjects) return STATUS_INSUFFICIENT_RESOURCES;
  Subdevice* subdevice = nullptr;
  const NTSTATUS status = Unknown->QueryInterface(IID_IStandinSubdevice, reinterpret_cast<PVOID*>(&subdevice));
  if (!NT_SUCCESS(status)) return STATUS_INVALID_PARAMETER;
  if (subdevice->Descriptor() == nullptr) {  // a port never initialised is no filter
    subdevice->Unknown()->Release();
    return STATUS_INVALID_DEVICE_REQUEST;
  }
  device->subdevices.push_back({name, subdevice});
  return STATUS_SUCCESS;
}

NTSTATUS PcRegisterPhysicalConnection(PDEVICE_OBJECT DeviceObject, PUNKNOWN FromUnknown, ULONG FromPin,
                                      PUNKNOWN ToUnknown, ULONG ToPin) {
  RequireIrqlAtMost(PASSIVE_LEVEL, "PcRegisterPhysicalConnection");
  if (const auto fault = TakeFault(PcCall::RegisterPhysicalConnection)) return *fault;
  DeviceImpl* device = FunctionalDevice(DeviceObject);
  size_t from = 0;
  size_t to = 0;
  if (device == nullptr || device->Find(FromUnknown, &from) == nullptr || device->Find(ToUnknown, &to) == nullptr)
    return STATUS_INVALID_PARAMETER;
  device->connections.push_back({from, FromPin, to, ToPin});
  return STATUS_SUCCESS;
}

NTSTATUS PcRegisterAdapterPowerManagement(PUNKNOWN Unknown, PVOID pvContext1) {
  RequireIrqlAtMost(PASSIVE_LEVEL, "PcRegisterAdapterPowerManagement");
  if (const auto fault = TakeFault(PcCall::RegisterAdapterPowerManagement)) return *fault;
  DeviceImpl* device = FunctionalDevice(static_cast<PDEVICE_OBJECT>(pvContext1));
  if (device == nullptr || Unknown == nullptr) return STATUS_INVALID_PARAMETER;
  IAdapterPowerManagement* power = nullptr;
  const NTSTATUS status = Unknown->QueryInterface(IID_IAdapterPowerManagement, reinterpret_cast<PVOID*>(&power));
  if (!NT_SUCCESS(status)) return status;
  if (device->power != nullptr) device->power->Release();
  device->power = power;
  return STATUS_SUCCESS;
}

NTSTATUS PcNewServiceGroup(PSERVICEGROUP* OutServiceGroup, PUNKNOWN OuterUnknown) {
  RequireIrqlAtMost(DISPATCH_LEVEL, "PcNewServiceGroup");
  if (OutServiceGroup == nullptr) return STATUS_INVALID_PARAMETER;
  *OutServiceGroup = nullptr;
  if (const auto fault = TakeFault(PcCall::NewServiceGroup)) return *fault;
  if (OuterUnknown != nullptr) return STATUS_INVALID_PARAMETER;  // no aggregation here
  return ServiceGroup::Create(OutServiceGroup);
}

}  // extern "C"
