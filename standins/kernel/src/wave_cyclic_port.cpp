#include "kernel_standin/wave_cyclic_port.h"

#include <algorithm>
#include <utility>

#include "descriptor_access.h"
#include "faults.h"
#include "irql.h"
#include "pool_object.h"
#include "port_stream.h"

namespace kstandin {
namespace {

// Kernel streaming's wildcard for a format GUID in a data range is GUID_NULL.
bool Matches(const GUID& range, const GUID& format) {
  return IsEqualGUID(range, GUID_NULL) || IsEqualGUID(range, format);
}

bool FormatMatchesPin(const KSPIN_DESCRIPTOR& pin, const KSDATAFORMAT& format) {
  for (ULONG i = 0; i < pin.DataRangesCount; ++i) {
    const KSDATARANGE& range = *pin.DataRanges[i];
    if (Matches(range.MajorFormat, format.MajorFormat) && Matches(range.SubFormat, format.SubFormat) &&
        Matches(range.Specifier, format.Specifier))
      return true;
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Stream handle

Stream::Stream(Stream&& other) noexcept : stream_(std::exchange(other.stream_, nullptr)) {}

Stream& Stream::operator=(Stream&& other) noexcept {
  if (this != &other) {
    Close();
    stream_ = std::exchange(other.stream_, nullptr);
  }
  return *this;
}

NTSTATUS Stream::SetState(KSSTATE state) { return stream_->SetState(state); }
KSSTATE Stream::State() const { return stream_->State(); }
NTSTATUS Stream::SetFormat(const KSDATAFORMAT* format) { return stream_->SetFormat(format); }
NTSTATUS Stream::Position(ULONG* position) const { return stream_->Position(position); }
ULONG Stream::BufferSize() const { return stream_->BufferSize(); }
ULONG Stream::FramingSize() const { return stream_->FramingSize(); }
IMiniportWaveCyclicStream* Stream::MiniportStream() const { return stream_->MiniportStream(); }
IDmaChannel* Stream::DmaChannel() const { return stream_->DmaChannel(); }

void Stream::Close() {
  if (stream_ == nullptr) return;
  stream_->Close();
  std::exchange(stream_, nullptr)->Release();
}

// ---------------------------------------------------------------------------------------
// Port

NTSTATUS WaveCyclicPort::Create(PPORT* port) {
  WaveCyclicPort* created = NewInPool<WaveCyclicPort>(kPortTag);
  if (created == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  *port = created;
  return STATUS_SUCCESS;
}

WaveCyclicPort::~WaveCyclicPort() = default;

NTSTATUS WaveCyclicPort::QueryInterface(REFIID iid, PVOID* object) {
  if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IPort) || IsEqualGUID(iid, IID_IPortWaveCyclic)) {
    *object = static_cast<IPortWaveCyclic*>(this);
  } else if (IsEqualGUID(iid, IID_IStandinSubdevice)) {
    *object = static_cast<Subdevice*>(this);
  } else {
    *object = nullptr;
    return STATUS_INVALID_PARAMETER;
  }
  AddRef();
  return STATUS_SUCCESS;
}

ULONG WaveCyclicPort::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG WaveCyclicPort::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) DeleteInPool(this, kPortTag);
  return static_cast<ULONG>(left);
}

NTSTATUS WaveCyclicPort::Init(PDEVICE_OBJECT, PIRP, PUNKNOWN UnknownMiniport, PUNKNOWN UnknownAdapter,
                              PRESOURCELIST ResourceList) {
  RequireIrqlAtMost(PASSIVE_LEVEL, "IPortWaveCyclic::Init");
  if (UnknownMiniport == nullptr) return STATUS_INVALID_PARAMETER;
  if (BoundMiniport() != nullptr) return STATUS_INVALID_DEVICE_REQUEST;
  if (const auto fault = TakeFault(PcCall::PortInit)) return *fault;
  IMiniportWaveCyclic* miniport = nullptr;
  NTSTATUS status = UnknownMiniport->QueryInterface(IID_IMiniportWaveCyclic, reinterpret_cast<PVOID*>(&miniport));
  if (!NT_SUCCESS(status)) return status;
  status = miniport->Init(UnknownAdapter, ResourceList, this);
  if (NT_SUCCESS(status)) status = Bind(miniport, UnknownMiniport);
  if (!NT_SUCCESS(status)) {
    miniport->Release();
    return status;
  }
  miniport_ = miniport;
  return STATUS_SUCCESS;
}

NTSTATUS WaveCyclicPort::GetDeviceProperty(DEVICE_REGISTRY_PROPERTY, ULONG, PVOID, PULONG) {
  return STATUS_NOT_IMPLEMENTED;
}

NTSTATUS WaveCyclicPort::NewRegistryKey(PREGISTRYKEY* OutRegistryKey, PUNKNOWN, ULONG, ACCESS_MASK,
                                        POBJECT_ATTRIBUTES, ULONG, PULONG) {
  if (OutRegistryKey != nullptr) *OutRegistryKey = nullptr;
  return STATUS_NOT_IMPLEMENTED;
}

void WaveCyclicPort::Notify(PSERVICEGROUP ServiceGroup) {
  RequireIrqlAtMost(DISPATCH_LEVEL, "IPortWaveCyclic::Notify");
  if (ServiceGroup != nullptr) ServiceGroup->RequestService();
}

NTSTATUS WaveCyclicPort::NewMasterDmaChannel(PDMACHANNEL* DmaChannel, PUNKNOWN, PRESOURCELIST, ULONG, BOOLEAN,
                                             BOOLEAN, DMA_WIDTH, DMA_SPEED) {
  if (DmaChannel != nullptr) *DmaChannel = nullptr;
  return STATUS_NOT_IMPLEMENTED;
}

NTSTATUS WaveCyclicPort::NewSlaveDmaChannel(PDMACHANNELSLAVE* DmaChannel, PUNKNOWN, PRESOURCELIST, ULONG, ULONG,
                                            BOOLEAN, DMA_SPEED) {
  if (DmaChannel != nullptr) *DmaChannel = nullptr;
  return STATUS_NOT_IMPLEMENTED;
}

NTSTATUS WaveCyclicPort::OpenStream(ULONG pin, const KSDATAFORMAT* format, StreamClient* client, Stream* stream,
                                    ULONG notificationMs) {
  RequireIrqlAtMost(PASSIVE_LEVEL, "opening a stream");
  const PCFILTER_DESCRIPTOR* filter = Descriptor();
  if (filter == nullptr || miniport_ == nullptr) return STATUS_INVALID_DEVICE_REQUEST;
  if (pin >= filter->PinCount) return STATUS_INVALID_PARAMETER;
  const PCPIN_DESCRIPTOR& descriptor = PinAt(*filter, pin);
  const KSPIN_DESCRIPTOR& ks = descriptor.KsPinDescriptor;
  if (ks.Communication != KSPIN_COMMUNICATION_SINK && ks.Communication != KSPIN_COMMUNICATION_SOURCE &&
      ks.Communication != KSPIN_COMMUNICATION_BOTH)
    return STATUS_INVALID_DEVICE_REQUEST;
  if (OpenInstances(pin) >= descriptor.MaxFilterInstanceCount) return STATUS_INSUFFICIENT_RESOURCES;
  if (format == nullptr || format->FormatSize < sizeof(KSDATAFORMAT)) return STATUS_INVALID_PARAMETER;
  if (!FormatMatchesPin(ks, *format)) return STATUS_NO_MATCH;

  PortStream* opened = nullptr;
  const NTSTATUS status = PortStream::Open(this, miniport_, pin, ks.DataFlow == KSPIN_DATAFLOW_OUT, format, client,
                                           notificationMs, &opened);
  if (!NT_SUCCESS(status)) return status;
  {
    std::lock_guard guard(streamsLock_);
    opened->AddRef();
    streams_.push_back(opened);
  }
  *stream = Stream(opened);
  return STATUS_SUCCESS;
}

ULONG WaveCyclicPort::OpenInstances(ULONG pin) const {
  std::lock_guard guard(streamsLock_);
  return static_cast<ULONG>(
      std::count_if(streams_.begin(), streams_.end(), [pin](const PortStream* s) { return s->Pin() == pin; }));
}

void WaveCyclicPort::Forget(PortStream* stream) {
  {
    std::lock_guard guard(streamsLock_);
    const auto found = std::find(streams_.begin(), streams_.end(), stream);
    if (found == streams_.end()) return;
    streams_.erase(found);
  }
  stream->Release();
}

void WaveCyclicPort::ReleaseChildren() {
  std::vector<PortStream*> open;
  {
    std::lock_guard guard(streamsLock_);
    open = streams_;
    for (PortStream* stream : open) stream->AddRef();
  }
  for (PortStream* stream : open) {
    stream->Close();
    stream->Release();
  }
  miniport_ = nullptr;
  Subdevice::ReleaseChildren();
}

}  // namespace kstandin
