#include <cstdio>

#include "device_impl.h"
#include "irql.h"
#include "kernel_standin/device.h"
#include "kernel_standin/pool.h"

namespace kstandin {
namespace {

const char16_t kRegistryPath[] = u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\VextraAudio";

std::string Narrow(const std::u16string& text) {
  std::string narrow;
  for (char16_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
  return narrow;
}

}  // namespace

NTSTATUS ResourceList::QueryInterface(REFIID iid, PVOID* object) {
  if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IResourceList)) {
    *object = static_cast<IResourceList*>(this);
    AddRef();
    return STATUS_SUCCESS;
  }
  *object = nullptr;
  return STATUS_INVALID_PARAMETER;
}

DeviceImpl::DeviceImpl(DriverEntryRoutine entry)
    : driverEntry(entry),
      firstSerial(AllocationSerial()),
      driverObject{this, nullptr},
      physicalDevice{this, false},
      functionalDevice{this, true} {}

const SubdeviceEntry* DeviceImpl::Find(PUNKNOWN unknown, size_t* index) const {
  if (unknown == nullptr) return nullptr;
  Subdevice* subdevice = nullptr;
  if (!NT_SUCCESS(unknown->QueryInterface(IID_IStandinSubdevice, reinterpret_cast<PVOID*>(&subdevice)))) return nullptr;
  subdevice->Unknown()->Release();
  for (size_t i = 0; i < subdevices.size(); ++i) {
    if (subdevices[i].subdevice == subdevice) {
      *index = i;
      return &subdevices[i];
    }
  }
  return nullptr;
}

std::string RemovalReport::Text() const {
  std::string text;
  for (const std::string& object : liveObjects) text += object + "\n";
  return text + DescribeBlocks(leaks);
}

Device::Device(DriverEntryRoutine driverEntry) : impl_(std::make_unique<DeviceImpl>(driverEntry)) {}

Device::~Device() {
  if (!impl_->removed) Remove();
}

NTSTATUS Device::Start() {
  RequireIrqlAtMost(PASSIVE_LEVEL, "starting a device");
  DeviceImpl& device = *impl_;
  std::u16string path(kRegistryPath);
  UNICODE_STRING registryPath{static_cast<USHORT>(path.size() * sizeof(char16_t)),
                              static_cast<USHORT>(path.size() * sizeof(char16_t)), path.data()};
  NTSTATUS status = device.driverEntry(&device.driverObject, &registryPath);
  if (!NT_SUCCESS(status)) return status;
  if (device.driverObject.addDevice == nullptr) return STATUS_UNSUCCESSFUL;  // no AddDevice: nothing to start

  status = device.driverObject.addDevice(&device.driverObject, &device.physicalDevice);
  if (!NT_SUCCESS(status)) return status;
  if (!device.added) return STATUS_UNSUCCESSFUL;

  IRP startIrp{};
  return device.startDevice(&device.functionalDevice, &startIrp, &device.resources);
}

RemovalReport Device::Remove() {
  RequireIrqlAtMost(PASSIVE_LEVEL, "removing a device");
  DeviceImpl& device = *impl_;
  RemovalReport report;
  if (device.removed) return report;
  device.removed = true;

  for (auto entry = device.subdevices.rbegin(); entry != device.subdevices.rend(); ++entry)
    entry->subdevice->ReleaseChildren();
  if (device.power != nullptr) {
    device.power->Release();
    device.power = nullptr;
  }
  for (auto entry = device.subdevices.rbegin(); entry != device.subdevices.rend(); ++entry) {
    PUNKNOWN port = entry->subdevice->Unknown();
    port->Release();
    // The port's pool block starts at its primary interface; while it lives it can be asked.
    if (IsLiveBlock(port)) {
      char line[160];
      std::snprintf(line, sizeof line, "port \"%s\" still has %u references after removal",
                    Narrow(entry->name).c_str(), entry->subdevice->References());
      report.liveObjects.push_back(line);
    }
  }
  device.subdevices.clear();
  device.connections.clear();
  if (device.resources.References() != 1) {
    char line[96];
    std::snprintf(line, sizeof line, "resource list still has %d references after removal",
                  static_cast<int>(device.resources.References() - 1));
    report.liveObjects.push_back(line);
  }
  report.leaks = OutstandingBlocks(device.firstSerial);
  return report;
}

std::vector<std::u16string> Device::SubdeviceNames() const {
  std::vector<std::u16string> names;
  for (const SubdeviceEntry& entry : impl_->subdevices) names.push_back(entry.name);
  return names;
}

Subdevice* Device::FindSubdevice(std::u16string_view name) const {
  for (const SubdeviceEntry& entry : impl_->subdevices)
    if (entry.name == name) return entry.subdevice;
  return nullptr;
}

WaveCyclicPort* Device::FindWaveCyclicPort(std::u16string_view name) const {
  Subdevice* subdevice = FindSubdevice(name);
  if (subdevice == nullptr) return nullptr;
  IPortWaveCyclic* port = nullptr;
  if (!NT_SUCCESS(subdevice->Unknown()->QueryInterface(IID_IPortWaveCyclic, reinterpret_cast<PVOID*>(&port))))
    return nullptr;
  port->Release();  // the registration keeps it alive
  return static_cast<WaveCyclicPort*>(port);
}

std::vector<PhysicalConnection> Device::PhysicalConnections() const {
  std::vector<PhysicalConnection> connections;
  for (const ConnectionEntry& c : impl_->connections)
    connections.push_back(
        {impl_->subdevices[c.from].name, c.fromPin, impl_->subdevices[c.to].name, c.toPin});
  return connections;
}

IAdapterPowerManagement* Device::PowerManagement() const { return impl_->power; }
ULONG Device::MaxObjects() const { return impl_->maxObjects; }
PDEVICE_OBJECT Device::FunctionalDeviceObject() const { return &impl_->functionalDevice; }

}  // namespace kstandin
