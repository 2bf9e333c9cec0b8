// PLACEHOLDER until the wave miniport with streams and loopback ring replaces it.

#include "wave_miniport.h"

#include "data_ranges.h"
#include "pool.h"

namespace {

constexpr PCPIN_DESCRIPTOR BridgePin(KSPIN_DATAFLOW flow) {
  return {0, 0, 0, nullptr, {0, nullptr, 0, nullptr, 1, kAnalogBridgeRanges, flow, KSPIN_COMMUNICATION_NONE, &KSCATEGORY_AUDIO, nullptr, {0}}};
}

// Pins 0 (capture) and 2 (render) are the stream pins to come; here they take no instances.
constexpr PCPIN_DESCRIPTOR StreamPin(KSPIN_DATAFLOW flow, const GUID* name) {
  return {0, 0, 0, nullptr, {0, nullptr, 0, nullptr, 1, kAnalogBridgeRanges, flow, KSPIN_COMMUNICATION_SINK, &KSCATEGORY_AUDIO, name, {0}}};
}

constinit const PCPIN_DESCRIPTOR kPins[] = {
    StreamPin(KSPIN_DATAFLOW_OUT, &KSAUDFNAME_RECORDING_CONTROL),
    BridgePin(KSPIN_DATAFLOW_IN),
    StreamPin(KSPIN_DATAFLOW_IN, nullptr),
    BridgePin(KSPIN_DATAFLOW_OUT),
};

constinit const PCFILTER_DESCRIPTOR kWaveFilterDescriptor = {
    0, nullptr, sizeof(PCPIN_DESCRIPTOR), 4, kPins, sizeof(PCNODE_DESCRIPTOR), 0, nullptr, 0, nullptr, 0, nullptr};

}  // namespace

NTSTATUS CreateWaveMiniport(PUNKNOWN* unknown, REFCLSID, PUNKNOWN outer, POOL_TYPE pool) {
  WaveMiniport* miniport = NewPoolObject<WaveMiniport>(pool, kObjectPoolTag, outer);
  if (miniport == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  miniport->unknown_.AddRef();
  *unknown = CreatedUnknown(outer, &miniport->unknown_, static_cast<IMiniportWaveCyclic*>(miniport));
  return STATUS_SUCCESS;
}

WaveMiniport::WaveMiniport(PUNKNOWN outer) : outer_(outer != nullptr ? outer : &unknown_) {}

WaveMiniport::~WaveMiniport() {
  if (adapter_ != nullptr) adapter_->Release();
}

void WaveMiniport::Destroy(WaveMiniport* miniport) { DeletePoolObject(miniport, kObjectPoolTag); }

NTSTATUS WaveMiniport::NonDelegatingQueryInterface(REFIID iid, PVOID* object) {
  if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IMiniport) || IsEqualGUID(iid, IID_IMiniportWaveCyclic)) {
    *object = static_cast<IMiniportWaveCyclic*>(this);
    AddRef();
    return STATUS_SUCCESS;
  }
  *object = nullptr;
  return STATUS_INVALID_PARAMETER;
}

NTSTATUS WaveMiniport::GetDescription(const PCFILTER_DESCRIPTOR** Description) {
  *Description = descriptor_;
  return STATUS_SUCCESS;
}

NTSTATUS WaveMiniport::DataRangeIntersection(ULONG, PKSDATARANGE, PKSDATARANGE, ULONG, PVOID, PULONG) {
  return STATUS_NOT_IMPLEMENTED;
}

NTSTATUS WaveMiniport::Init(PUNKNOWN UnknownAdapter, PRESOURCELIST, PPORTWAVECYCLIC) {
  if (UnknownAdapter == nullptr) return STATUS_INVALID_PARAMETER;
  const NTSTATUS status = UnknownAdapter->QueryInterface(IID_IAudioAdapter, reinterpret_cast<PVOID*>(&adapter_));
  if (!NT_SUCCESS(status)) {
    adapter_ = nullptr;
    return status;
  }
  descriptor_ = &kWaveFilterDescriptor;
  return STATUS_SUCCESS;
}

NTSTATUS WaveMiniport::NewStream(PMINIPORTWAVECYCLICSTREAM* Stream, PUNKNOWN, POOL_TYPE, ULONG, BOOLEAN,
                                 PKSDATAFORMAT, PDMACHANNEL* DmaChannel, PSERVICEGROUP* ServiceGroup) {
  *Stream = nullptr;
  *DmaChannel = nullptr;
  *ServiceGroup = nullptr;
  return STATUS_NOT_IMPLEMENTED;
}
