#include "wave_miniport.h"

#include "pool.h"
#include "wave_descriptor.h"
#include "wave_stream.h"
#include "word_access.h"

NTSTATUS CreateWaveMiniport(PUNKNOWN* unknown, REFCLSID, PUNKNOWN outer, POOL_TYPE pool) {
  WaveMiniport* miniport = NewPoolObject<WaveMiniport>(pool, kObjectPoolTag, outer);
  if (miniport == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  miniport->dmaBufferSize_ = kWaveDmaBufferSize;
  miniport->unknown_.AddRef();
  *unknown = CreatedUnknown(outer, &miniport->unknown_, static_cast<IMiniportWaveCyclic*>(miniport));
  return STATUS_SUCCESS;
}

WaveMiniport::WaveMiniport(PUNKNOWN outer) : UnknownObject(this, outer) {}

// Port Class lets go of the miniport only after every stream is gone; the streams hold it.
WaveMiniport::~WaveMiniport() {
  if (serviceGroup_ != nullptr) serviceGroup_->Release();
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

// PASSIVE_LEVEL.
NTSTATUS WaveMiniport::GetDescription(const PCFILTER_DESCRIPTOR** Description) {
  *Description = descriptor_;
  return STATUS_SUCCESS;
}

// Port Class intersects against the data ranges itself.
NTSTATUS WaveMiniport::DataRangeIntersection(ULONG, PKSDATARANGE, PKSDATARANGE, ULONG, PVOID, PULONG) {
  return STATUS_NOT_IMPLEMENTED;
}

// PASSIVE_LEVEL. The port is kept without a reference: it owns this miniport, which lives only
// as long as the port holds it (or its streams, which the port closes first). A counted
// reference back would be a cycle that nothing breaks when the subdevice fails to register.
NTSTATUS WaveMiniport::Init(PUNKNOWN UnknownAdapter, PRESOURCELIST, PPORTWAVECYCLIC Port) {
  if (UnknownAdapter == nullptr || Port == nullptr) return STATUS_INVALID_PARAMETER;
  limits_ = {1, 2, 8, 16, 4000, 64000};
  port_ = Port;
  NTSTATUS status = UnknownAdapter->QueryInterface(IID_IAudioAdapter, reinterpret_cast<PVOID*>(&adapter_));
  if (NT_SUCCESS(status)) {
    KeInitializeMutex(&formatLock_, 1);
    status = PcNewServiceGroup(&serviceGroup_, nullptr);
  }
  if (!NT_SUCCESS(status)) {
    if (adapter_ != nullptr) adapter_->Release();
    adapter_ = nullptr;
    serviceGroup_ = nullptr;
    port_ = nullptr;
    return status;
  }
  adapter_->AttachWaveServiceGroup(serviceGroup_);
  WriteWord(captureSlot_.open, BOOL{0});
  WriteWord(renderSlot_.open, BOOL{0});
  descriptor_ = &kWaveFilterDescriptor;
  return STATUS_SUCCESS;
}

// PASSIVE_LEVEL. The pin is not looked at: the capture flag says which slot the stream takes.
// The slot is taken under the format lock before the stream is made and given back if that
// fails, so that two openings of a direction cannot both pass, and a stream closing meanwhile
// (which tears its ring down under the same lock) is either gone or still holds its slot.
// Streams always come from non-paged memory, whatever pool the port names.
NTSTATUS WaveMiniport::NewStream(PMINIPORTWAVECYCLICSTREAM* Stream, PUNKNOWN OuterUnknown, POOL_TYPE, ULONG,
                                 BOOLEAN Capture, PKSDATAFORMAT DataFormat, PDMACHANNEL* DmaChannel,
                                 PSERVICEGROUP* ServiceGroup) {
  *Stream = nullptr;
  *DmaChannel = nullptr;
  *ServiceGroup = nullptr;
  const bool capture = Capture != FALSE;
  NTSTATUS status = LockFormat();
  if (!NT_SUCCESS(status)) return status;
  WAVEFORMATEX wave;
  if (StreamOpen(capture))
    status = STATUS_INSUFFICIENT_RESOURCES;
  else
    status = CheckFormatLocked(capture, DataFormat, &wave);
  WaveStream* stream = nullptr;
  if (NT_SUCCESS(status)) {
    TakeSlot(capture, wave);
    status = WaveStream::Create(this, OuterUnknown, capture, DataFormat, &stream);
    if (NT_SUCCESS(status))
      stream->MarkOpen();
    else
      FreeSlot(capture);  // a stream that failed set-up is gone already
  }
  UnlockFormat();
  if (!NT_SUCCESS(status)) return status;

  *Stream = static_cast<IMiniportWaveCyclicStream*>(stream);
  (*Stream)->AddRef();
  *DmaChannel = static_cast<IDmaChannel*>(stream);
  (*DmaChannel)->AddRef();
  *ServiceGroup = serviceGroup_;
  (*ServiceGroup)->AddRef();
  stream->ReleaseCreationReference();
  return STATUS_SUCCESS;
}

NTSTATUS WaveMiniport::CheckFormatLocked(bool capture, const KSDATAFORMAT* format, WAVEFORMATEX* wave) const {
  const NTSTATUS status = CheckStreamFormat(format, limits_, wave);
  if (!NT_SUCCESS(status)) return status;
  const StreamSlot& other = Slot(!capture);
  if (other.open && !SameStreamFormat(*wave, other.format)) return STATUS_NO_MATCH;
  return STATUS_SUCCESS;
}

NTSTATUS WaveMiniport::ProposeFormat(bool capture, const KSDATAFORMAT* format) {
  if (!NT_SUCCESS(LockFormat())) return STATUS_NO_MATCH;
  WAVEFORMATEX wave;
  const NTSTATUS status = CheckFormatLocked(capture, format, &wave);
  UnlockFormat();
  return NT_SUCCESS(status) ? STATUS_SUCCESS : STATUS_NO_MATCH;
}

ULONG WaveMiniport::SamplingRate() const { return ReadWord(samplingRate_); }
ULONG WaveMiniport::NotificationInterval() const { return ReadWord(notificationInterval_); }
bool WaveMiniport::StreamOpen(bool capture) const { return ReadWord(Slot(capture).open) != 0; }

// DISPATCH_LEVEL: the port's service runs in the caller.
void WaveMiniport::NotifyTimerDpc(PKDPC, PVOID context, PVOID, PVOID) {
  auto* miniport = static_cast<WaveMiniport*>(context);
  if (miniport->port_ != nullptr) miniport->port_->Notify(miniport->serviceGroup_);
}

// An infinite wait: it returns only once the mutex is ours.
NTSTATUS WaveMiniport::LockFormat() { return KeWaitForSingleObject(&formatLock_, Executive, KernelMode, FALSE, nullptr); }
void WaveMiniport::UnlockFormat() { KeReleaseMutex(&formatLock_, FALSE); }
void WaveMiniport::SetSamplingRate(ULONG rate) { WriteWord(samplingRate_, rate); }
void WaveMiniport::SetNotificationInterval(ULONG milliseconds) { WriteWord(notificationInterval_, milliseconds); }
void WaveMiniport::TakeSlot(bool capture, const WAVEFORMATEX& format) {
  Slot(capture).format = format;
  WriteWord(Slot(capture).open, BOOL{1});
}
void WaveMiniport::SetSlotFormat(bool capture, const WAVEFORMATEX& format) { Slot(capture).format = format; }
void WaveMiniport::FreeSlot(bool capture) { WriteWord(Slot(capture).open, BOOL{0}); }
