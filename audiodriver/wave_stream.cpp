#include "wave_stream.h"

#include "loopback_ring.h"
#include "pool.h"
#include "wave_format.h"
#include "wave_miniport.h"

namespace {

constexpr ULONGLONG kUnitsPerMillisecond = 10000;  // interrupt time counts 100 ns
constexpr LONG kUnitsPerSecond = 10000000;

}  // namespace

NTSTATUS WaveStream::Create(WaveMiniport* miniport, PUNKNOWN outer, bool capture, const KSDATAFORMAT* format,
                            WaveStream** stream) {
  WaveStream* made = NewPoolObject<WaveStream>(NonPagedPoolNx, kDataPoolTag, miniport, outer, capture);
  if (made == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  made->unknown_.AddRef();
  const NTSTATUS status = made->Init(format);
  if (!NT_SUCCESS(status)) {
    made->unknown_.Release();
    return status;
  }
  *stream = made;
  return STATUS_SUCCESS;
}

WaveStream::WaveStream(WaveMiniport* miniport, PUNKNOWN outer, bool capture)
    : UnknownObject(this, outer), miniport_(miniport), capture_(capture) {
  miniport_->AddRef();
}

// PASSIVE_LEVEL. No DPC of the stream may be queued or running once its memory goes.
WaveStream::~WaveStream() {
  if (timer_ != nullptr) {
    KeCancelTimer(timer_);
    ExFreePoolWithTag(timer_, kDataPoolTag);
  }
  if (dpc_ != nullptr) {
    KeRemoveQueueDpc(dpc_);
    KeFlushQueuedDpcs();
    ExFreePoolWithTag(dpc_, kDataPoolTag);
  }
  if (open_) {
    // The slot goes only once the ring is gone, and both under the format lock, so that a
    // stream opened meanwhile makes a ring of its own rather than losing it to this one.
    miniport_->LockFormat();
    FreeBuffer();
    miniport_->FreeSlot(capture_);
    miniport_->UnlockFormat();
  } else {
    FreeBufferMemory();
    if (madeRing_) TheLoopbackRing().Destroy();
  }
  miniport_->Release();
}

void WaveStream::Destroy(WaveStream* stream) { DeletePoolObject(stream, kDataPoolTag); }

NTSTATUS WaveStream::NonDelegatingQueryInterface(REFIID iid, PVOID* object) {
  if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IMiniportWaveCyclicStream)) {
    *object = static_cast<IMiniportWaveCyclicStream*>(this);
  } else if (IsEqualGUID(iid, IID_IDmaChannel)) {
    *object = static_cast<IDmaChannel*>(this);
  } else {
    *object = nullptr;
    return STATUS_INVALID_PARAMETER;
  }
  static_cast<PUNKNOWN>(*object)->AddRef();
  return STATUS_SUCCESS;
}

// PASSIVE_LEVEL. Each step that fails leaves what it and the steps before it allocated for
// the destructor to free.
NTSTATUS WaveStream::Init(const KSDATAFORMAT* format) {
  WAVEFORMATEX wave;
  if (!FindWaveFormat(format, &wave)) return STATUS_INVALID_PARAMETER;
  NTSTATUS status = AllocateBuffer(miniport_->dmaBufferSize_, nullptr);
  if (!NT_SUCCESS(status)) return status;
  status = SetFormat(const_cast<PKSDATAFORMAT>(format));
  if (!NT_SUCCESS(status)) return status;

  dpc_ = static_cast<PKDPC>(ExAllocatePoolWithTag(NonPagedPoolNx, sizeof(KDPC), kDataPoolTag));
  if (dpc_ == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  KeInitializeDpc(dpc_, WaveMiniport::NotifyTimerDpc, miniport_);
  timer_ = static_cast<PKTIMER>(ExAllocatePoolWithTag(NonPagedPoolNx, sizeof(KTIMER), kDataPoolTag));
  if (timer_ == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  KeInitializeTimerEx(timer_, NotificationTimer);
  return STATUS_SUCCESS;
}

// ---------------------------------------------------------------------------------------
// IMiniportWaveCyclicStream

// PASSIVE_LEVEL. A format no stream can carry is refused as a missing one is, and one that
// differs from the open other direction's is no match for the ring between them.
NTSTATUS WaveStream::SetFormat(PKSDATAFORMAT DataFormat) {
  if (state_ == KSSTATE_RUN) return STATUS_INVALID_DEVICE_REQUEST;
  NTSTATUS status = miniport_->LockFormat();
  if (!NT_SUCCESS(status)) return status;
  WAVEFORMATEX wave;
  status = miniport_->CheckFormatLocked(capture_, DataFormat, &wave);
  if (NT_SUCCESS(status)) {
    blockAlign_ = wave.nBlockAlign;
    silence_ = SilenceByte(wave);
    bytesPerSecond_ = wave.nAvgBytesPerSec;
    partialBytes_ = 0;  // a frame part-way is of the old format
    miniport_->SetSamplingRate(wave.nSamplesPerSec);
    if (open_) miniport_->SetSlotFormat(capture_, wave);
  } else if (status != STATUS_NO_MATCH) {
    status = STATUS_INVALID_DEVICE_REQUEST;
  }
  miniport_->UnlockFormat();
  return status;
}

// PASSIVE_LEVEL. The interval is the miniport's, for both streams; the framing is counted in
// 32 bits with the division last.
ULONG WaveStream::SetNotificationFreq(ULONG Interval, PULONG FramingSize) {
  miniport_->SetNotificationInterval(Interval);
  *FramingSize = ULONG{blockAlign_} * miniport_->SamplingRate() * Interval / 1000;
  return Interval;
}

// PASSIVE_LEVEL. ACQUIRE counts as STOP; the timer starts at once and repeats every
// notification interval, and only STOP cancels it.
NTSTATUS WaveStream::SetState(KSSTATE State) {
  const KSSTATE state = State == KSSTATE_ACQUIRE ? KSSTATE_STOP : State;
  if (state == state_) return STATUS_SUCCESS;
  switch (state) {
    case KSSTATE_STOP:
      running_ = false;
      position_ = 0;
      timeRemainder_ = 0;
      byteRemainder_ = 0;
      partialBytes_ = 0;  // the port starts again at the buffer's start
      KeCancelTimer(timer_);
      break;
    case KSSTATE_PAUSE:
      running_ = false;
      break;
    case KSSTATE_RUN: {
      lastTime_ = KeQueryInterruptTime();
      timeRemainder_ = 0;
      running_ = true;
      const ULONG interval = miniport_->NotificationInterval();
      LARGE_INTEGER due;
      due.QuadPart = interval;  // an absolute time long past: the first expiry comes at once
      KeSetTimerEx(timer_, due, static_cast<LONG>(interval), dpc_);
      break;
    }
    default:
      break;
  }
  state_ = state;
  return STATUS_SUCCESS;
}

// DISPATCH_LEVEL. Whole milliseconds of elapsed time are turned into bytes; the time below a
// millisecond and the thousandths of a byte are carried to the next update, so that no
// fraction is lost however often the port asks. The arithmetic is 64-bit, so that a stream
// left without updates for minutes still lands where the clock says.
NTSTATUS WaveStream::GetPosition(PULONG Position) {
  if (running_) {
    const ULONGLONG now = KeQueryInterruptTime();
    const ULONGLONG elapsed = timeRemainder_ + (now - lastTime_);
    const ULONGLONG milliseconds = elapsed / kUnitsPerMillisecond;
    timeRemainder_ = elapsed % kUnitsPerMillisecond;
    const ULONGLONG thousandths = ULONGLONG{bytesPerSecond_} * milliseconds + byteRemainder_;
    byteRemainder_ = static_cast<ULONG>(thousandths % 1000);
    const ULONGLONG advanced = position_ + thousandths / 1000;
    position_ = bufferSize_ != 0 ? static_cast<ULONG>(advanced % bufferSize_) : 0;
    lastTime_ = now;
  }
  *Position = position_;
  return STATUS_SUCCESS;
}

// Any IRQL. Bytes to 100-ns units at the filter's rate; a format without block alignment or
// rate has no such time, and is refused rather than divided by.
NTSTATUS WaveStream::NormalizePhysicalPosition(PLONGLONG PhysicalPosition) {
  const ULONG rate = miniport_->SamplingRate();
  if (blockAlign_ == 0 || rate == 0) return STATUS_INVALID_DEVICE_REQUEST;
  const LONG unitsPerFrame = kUnitsPerSecond / static_cast<LONG>(blockAlign_);
  *PhysicalPosition = LONGLONG{unitsPerFrame} * *PhysicalPosition / static_cast<LONGLONG>(rate);
  return STATUS_SUCCESS;
}

// DISPATCH_LEVEL.
void WaveStream::Silence(PVOID Buffer, ULONG ByteCount) { RtlFillMemory(Buffer, ByteCount, silence_); }

// ---------------------------------------------------------------------------------------
// IDmaChannel

// PASSIVE_LEVEL. The address constraint is ignored: no device reads this memory.
NTSTATUS WaveStream::AllocateBuffer(ULONG BufferSize, PPHYSICAL_ADDRESS) {
  auto* buffer = static_cast<UCHAR*>(ExAllocatePoolWithTag(NonPagedPoolNx, BufferSize, kDataPoolTag));
  if (buffer == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  FreeBufferMemory();
  buffer_ = buffer;
  bufferSize_ = BufferSize;
  bool made = false;
  const NTSTATUS status = TheLoopbackRing().Create(BufferSize, &made);
  madeRing_ = madeRing_ || made;
  return status;
}

// PASSIVE_LEVEL. Whichever stream frees its buffer takes the ring down with it.
void WaveStream::FreeBuffer() {
  FreeBufferMemory();
  TheLoopbackRing().Destroy();
  madeRing_ = false;
}

void WaveStream::FreeBufferMemory() {
  if (buffer_ != nullptr) ExFreePoolWithTag(buffer_, kDataPoolTag);
  buffer_ = nullptr;
  bufferSize_ = 0;
}

ULONG WaveStream::MaximumBufferSize() { return miniport_->dmaBufferSize_; }

void WaveStream::SetBufferSize(ULONG BufferSize) {
  if (BufferSize <= bufferSize_) bufferSize_ = BufferSize;
}

// There is no device: the buffer's virtual address stands for its physical one.
PPHYSICAL_ADDRESS WaveStream::PhysicalAddress(PPHYSICAL_ADDRESS Result) {
  Result->QuadPart = static_cast<LONGLONG>(reinterpret_cast<ULONG_PTR>(buffer_));
  return Result;
}

// DISPATCH_LEVEL. What is rendered goes to the ring in whole frames; the emulated buffer is
// not written.
void WaveStream::CopyTo(PVOID, PVOID Source, ULONG ByteCount) {
  const ULONG frame = FrameSize();
  const auto* bytes = static_cast<const UCHAR*>(Source);
  ULONG at = 0;
  if (partialBytes_ > 0) {
    at = frame - partialBytes_ < ByteCount ? frame - partialBytes_ : ByteCount;
    RtlCopyMemory(partial_ + partialBytes_, bytes, at);
    partialBytes_ += at;
    if (partialBytes_ < frame) return;
    TheLoopbackRing().Append(partial_, frame, frame);
    partialBytes_ = 0;
  }
  const ULONG whole = (ByteCount - at) / frame * frame;
  if (whole > 0) TheLoopbackRing().Append(bytes + at, whole, frame);
  at += whole;
  partialBytes_ = ByteCount - at;
  RtlCopyMemory(partial_, bytes + at, partialBytes_);
}

// DISPATCH_LEVEL. What is captured comes from the ring in whole frames; what the ring cannot
// supply is whole frames of silence rather than whatever the destination held before.
void WaveStream::CopyFrom(PVOID Destination, PVOID, ULONG ByteCount) {
  const ULONG frame = FrameSize();
  auto* bytes = static_cast<UCHAR*>(Destination);
  ULONG at = 0;
  if (partialBytes_ > 0) {
    at = partialBytes_ < ByteCount ? partialBytes_ : ByteCount;
    RtlCopyMemory(bytes, partial_ + (frame - partialBytes_), at);
    partialBytes_ -= at;
  }
  const ULONG whole = (ByteCount - at) / frame * frame;
  const ULONG taken = TheLoopbackRing().Take(bytes + at, whole, frame);
  if (taken < whole) Silence(bytes + at + taken, whole - taken);
  at += whole;
  if (at == ByteCount) return;
  if (TheLoopbackRing().Take(partial_, frame, frame) < frame) Silence(partial_, frame);
  RtlCopyMemory(bytes + at, partial_, ByteCount - at);
  partialBytes_ = frame - (ByteCount - at);
}
