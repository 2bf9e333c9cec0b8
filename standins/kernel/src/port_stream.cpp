#include "port_stream.h"

#include <algorithm>

#include "bugcheck.h"
#include "irql.h"
#include "pool_object.h"

namespace kstandin {

PortStream::PortStream(WaveCyclicPort* port, ULONG pin, bool capture, StreamClient* client)
    : port_(port), pin_(pin), capture_(capture), client_(client) {
  port_->AddRef();
}

PortStream::~PortStream() {
  if (port_ != nullptr) port_->Release();
}

NTSTATUS PortStream::Open(WaveCyclicPort* port, IMiniportWaveCyclic* miniport, ULONG pin, bool capture,
                          const KSDATAFORMAT* format, StreamClient* client, ULONG notificationMs,
                          PortStream** stream) {
  PortStream* opened = NewInPool<PortStream>(kPortStreamTag, port, pin, capture, client);
  if (opened == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  const auto* bytes = reinterpret_cast<const unsigned char*>(format);
  opened->format_.assign(bytes, bytes + format->FormatSize);

  IMiniportWaveCyclicStream* miniportStream = nullptr;
  IDmaChannel* dma = nullptr;
  IServiceGroup* group = nullptr;
  NTSTATUS status = miniport->NewStream(&miniportStream, nullptr, NonPagedPool, pin, capture ? TRUE : FALSE,
                                        reinterpret_cast<PKSDATAFORMAT>(opened->format_.data()), &dma, &group);
  if (NT_SUCCESS(status) && (miniportStream == nullptr || dma == nullptr || group == nullptr))
    BugCheck(PORT_CONTRACT_BROKEN, "NewStream succeeded without a stream, a DMA channel and a service group");
  if (!NT_SUCCESS(status)) {
    opened->Release();
    return status;
  }
  opened->miniportStream_ = miniportStream;
  opened->dma_ = dma;
  opened->group_ = group;
  status = group->AddMember(opened);
  if (!NT_SUCCESS(status)) {
    opened->closed_ = true;
    group->Release();
    dma->Release();
    miniportStream->Release();
    opened->group_ = nullptr;
    opened->dma_ = nullptr;
    opened->miniportStream_ = nullptr;
    opened->Release();
    return status;
  }
  miniportStream->SetNotificationFreq(notificationMs, &opened->framingSize_);
  opened->bufferSize_ = dma->BufferSize();
  opened->buffer_ = static_cast<unsigned char*>(dma->SystemAddress());
  opened->staging_.resize(opened->bufferSize_);
  *stream = opened;
  return STATUS_SUCCESS;
}

NTSTATUS PortStream::QueryInterface(REFIID iid, PVOID* object) {
  if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IServiceSink)) {
    *object = static_cast<IServiceSink*>(this);
    AddRef();
    return STATUS_SUCCESS;
  }
  *object = nullptr;
  return STATUS_INVALID_PARAMETER;
}

ULONG PortStream::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG PortStream::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) DeleteInPool(this, kPortStreamTag);
  return static_cast<ULONG>(left);
}

void PortStream::RequestService() {
  std::lock_guard guard(lock_);
  if (closed_ || state_ != KSSTATE_RUN || bufferSize_ == 0) return;
  ULONG position = 0;
  if (!NT_SUCCESS(miniportStream_->GetPosition(&position))) return;
  position %= bufferSize_;
  ULONG at = last_;
  ULONG count = (position + bufferSize_ - last_) % bufferSize_;
  while (count > 0) {
    const ULONG chunk = std::min(count, bufferSize_ - at);
    Move(at, chunk);
    at = (at + chunk) % bufferSize_;
    count -= chunk;
  }
  last_ = position;
}

void PortStream::Move(ULONG offset, ULONG count) {
  unsigned char* staging = staging_.data();
  if (capture_) {
    dma_->CopyFrom(staging, buffer_ + offset, count);
    if (client_ != nullptr) client_->Capture(staging, count);
  } else {
    const ULONG supplied = client_ != nullptr ? std::min(client_->Render(staging, count), count) : 0;
    if (supplied > 0) dma_->CopyTo(buffer_ + offset, staging, supplied);
    if (supplied < count) miniportStream_->Silence(buffer_ + offset + supplied, count - supplied);
  }
}

NTSTATUS PortStream::SetState(KSSTATE target) {
  RequireIrqlAtMost(PASSIVE_LEVEL, "a stream state change");
  KSSTATE current = State();
  while (current != target) {
    const KSSTATE next = static_cast<KSSTATE>(current < target ? current + 1 : current - 1);
    if (current == KSSTATE_RUN) {
      std::lock_guard guard(lock_);  // no service once the stream leaves RUN
      state_ = next;
    }
    const NTSTATUS status = miniportStream_->SetState(next);
    if (!NT_SUCCESS(status)) {
      std::lock_guard guard(lock_);
      state_ = current;
      return status;
    }
    ULONG position = 0;
    if (next == KSSTATE_RUN) miniportStream_->GetPosition(&position);
    {
      std::lock_guard guard(lock_);
      state_ = next;
      if (next == KSSTATE_STOP) last_ = 0;
      if (next == KSSTATE_RUN) last_ = bufferSize_ == 0 ? 0 : position % bufferSize_;
    }
    current = next;
  }
  return STATUS_SUCCESS;
}

KSSTATE PortStream::State() const {
  std::lock_guard guard(lock_);
  return state_;
}

NTSTATUS PortStream::SetFormat(const KSDATAFORMAT* format) {
  RequireIrqlAtMost(PASSIVE_LEVEL, "a stream format change");
  const auto* bytes = reinterpret_cast<const unsigned char*>(format);
  std::vector<unsigned char> copy(bytes, bytes + format->FormatSize);
  const NTSTATUS status = miniportStream_->SetFormat(reinterpret_cast<PKSDATAFORMAT>(copy.data()));
  if (NT_SUCCESS(status)) format_.swap(copy);
  return status;
}

// Serialized with service, as the port serializes its own position reads.
NTSTATUS PortStream::Position(ULONG* position) const {
  std::lock_guard guard(lock_);
  if (closed_) return STATUS_INVALID_DEVICE_REQUEST;
  return miniportStream_->GetPosition(position);
}

void PortStream::Close() {
  RequireIrqlAtMost(PASSIVE_LEVEL, "closing a stream");
  KSSTATE state;
  {
    std::lock_guard guard(lock_);
    if (closed_) return;
    closed_ = true;  // from here no service touches the miniport's stream
    state = state_;
    state_ = KSSTATE_STOP;
  }
  while (state != KSSTATE_STOP) {
    state = static_cast<KSSTATE>(state - 1);
    miniportStream_->SetState(state);
  }
  group_->RemoveMember(this);
  group_->Release();
  dma_->Release();
  miniportStream_->Release();
  group_ = nullptr;
  dma_ = nullptr;
  miniportStream_ = nullptr;
  WaveCyclicPort* port = port_;
  port_ = nullptr;
  port->Forget(this);
  port->Release();
}

}  // namespace kstandin
