#include "topology_port.h"

#include "faults.h"
#include "irql.h"
#include "pool_object.h"

namespace kstandin {

NTSTATUS TopologyPort::Create(PPORT* port) {
  TopologyPort* created = NewInPool<TopologyPort>(kPortTag);
  if (created == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  *port = created;
  return STATUS_SUCCESS;
}

NTSTATUS TopologyPort::QueryInterface(REFIID iid, PVOID* object) {
  if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IPort) || IsEqualGUID(iid, IID_IPortTopology)) {
    *object = static_cast<IPortTopology*>(this);
  } else if (IsEqualGUID(iid, IID_IStandinSubdevice)) {
    *object = static_cast<Subdevice*>(this);
  } else {
    *object = nullptr;
    return STATUS_INVALID_PARAMETER;
  }
  AddRef();
  return STATUS_SUCCESS;
}

ULONG TopologyPort::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG TopologyPort::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) DeleteInPool(this, kPortTag);
  return static_cast<ULONG>(left);
}

NTSTATUS TopologyPort::Init(PDEVICE_OBJECT, PIRP, PUNKNOWN UnknownMiniport, PUNKNOWN UnknownAdapter,
                            PRESOURCELIST ResourceList) {
  RequireIrqlAtMost(PASSIVE_LEVEL, "IPortTopology::Init");
  if (UnknownMiniport == nullptr) return STATUS_INVALID_PARAMETER;
  if (BoundMiniport() != nullptr) return STATUS_INVALID_DEVICE_REQUEST;
  if (const auto fault = TakeFault(PcCall::PortInit)) return *fault;
  IMiniportTopology* miniport = nullptr;
  NTSTATUS status = UnknownMiniport->QueryInterface(IID_IMiniportTopology, reinterpret_cast<PVOID*>(&miniport));
  if (!NT_SUCCESS(status)) return status;
  status = miniport->Init(UnknownAdapter, ResourceList, this);
  if (NT_SUCCESS(status)) status = Bind(miniport, UnknownMiniport);
  if (!NT_SUCCESS(status)) miniport->Release();
  return status;
}

NTSTATUS TopologyPort::GetDeviceProperty(DEVICE_REGISTRY_PROPERTY, ULONG, PVOID, PULONG) {
  return STATUS_NOT_IMPLEMENTED;
}

NTSTATUS TopologyPort::NewRegistryKey(PREGISTRYKEY* OutRegistryKey, PUNKNOWN, ULONG, ACCESS_MASK, POBJECT_ATTRIBUTES,
                                      ULONG, PULONG) {
  if (OutRegistryKey != nullptr) *OutRegistryKey = nullptr;
  return STATUS_NOT_IMPLEMENTED;
}

}  // namespace kstandin
