#include "topology_miniport.h"

#include "pool.h"
#include "topology_descriptor.h"

NTSTATUS CreateTopologyMiniport(PUNKNOWN* unknown, REFCLSID, PUNKNOWN outer, POOL_TYPE pool) {
  TopologyMiniport* miniport = NewPoolObject<TopologyMiniport>(pool, kObjectPoolTag, outer);
  if (miniport == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  miniport->unknown_.AddRef();
  *unknown = CreatedUnknown(outer, &miniport->unknown_, static_cast<IMiniportTopology*>(miniport));
  return STATUS_SUCCESS;
}

TopologyMiniport::TopologyMiniport(PUNKNOWN outer) : UnknownObject(this, outer) {}

TopologyMiniport::~TopologyMiniport() {
  if (adapter_ != nullptr) adapter_->Release();
}

void TopologyMiniport::Destroy(TopologyMiniport* miniport) { DeletePoolObject(miniport, kObjectPoolTag); }

NTSTATUS TopologyMiniport::NonDelegatingQueryInterface(REFIID iid, PVOID* object) {
  if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IMiniport) || IsEqualGUID(iid, IID_IMiniportTopology)) {
    *object = static_cast<IMiniportTopology*>(this);
    AddRef();
    return STATUS_SUCCESS;
  }
  *object = nullptr;
  return STATUS_INVALID_PARAMETER;
}

// PASSIVE_LEVEL.
NTSTATUS TopologyMiniport::GetDescription(const PCFILTER_DESCRIPTOR** Description) {
  *Description = descriptor_;
  return STATUS_SUCCESS;
}

// Port Class intersects against the data ranges itself.
NTSTATUS TopologyMiniport::DataRangeIntersection(ULONG, PKSDATARANGE, PKSDATARANGE, ULONG, PVOID, PULONG) {
  return STATUS_NOT_IMPLEMENTED;
}

// PASSIVE_LEVEL. The port and the resource list are not kept.
NTSTATUS TopologyMiniport::Init(PUNKNOWN UnknownAdapter, PRESOURCELIST, PPORTTOPOLOGY) {
  PAUDIOADAPTER adapter = nullptr;
  const NTSTATUS status =
      UnknownAdapter != nullptr
          ? UnknownAdapter->QueryInterface(IID_IAudioAdapter, reinterpret_cast<PVOID*>(&adapter))
          : STATUS_INVALID_PARAMETER;
  if (!NT_SUCCESS(status)) {
    if (adapter != nullptr) adapter->Release();
    return status;
  }
  if (adapter_ != nullptr) adapter_->Release();
  adapter_ = adapter;
  adapter_->ResetMixer();
  descriptor_ = &kTopologyFilterDescriptor;
  adapter_->WriteMux(kMicrophonePin);  // the microphone is the capture source
  return STATUS_SUCCESS;
}
