#include "loopback_ring.h"

namespace {

constinit LoopbackRing gRing;

}  // namespace

LoopbackRing& TheLoopbackRing() { return gRing; }

class LoopbackRing::Guard {
 public:
  explicit Guard(LoopbackRing& ring) { KeAcquireInStackQueuedSpinLock(&ring.lock_, &handle_); }
  ~Guard() { KeReleaseInStackQueuedSpinLock(&handle_); }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  KLOCK_QUEUE_HANDLE handle_;
};

// The store is allocated before the lock is taken and freed after it is let go: neither may
// happen at DISPATCH_LEVEL under a lock that the streams' copies spin on.
NTSTATUS LoopbackRing::Create(ULONG capacity, bool* made) {
  *made = false;
  if (Exists()) return STATUS_SUCCESS;
  auto* store = static_cast<UCHAR*>(ExAllocatePoolWithTag(NonPagedPoolNx, capacity, kRingStorePoolTag));
  if (store == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  {
    Guard guard(*this);
    if (store_ == nullptr) {
      store_ = store;
      capacity_ = capacity;
      fillEnd_ = store;
      frameSize_ = 1;
      store = nullptr;
      *made = true;
    }
  }
  if (store != nullptr) ExFreePoolWithTag(store, kRingStorePoolTag);  // another stream was first
  return STATUS_SUCCESS;
}

void LoopbackRing::Destroy() {
  UCHAR* store;
  {
    Guard guard(*this);
    store = store_;
    store_ = nullptr;
    fillEnd_ = nullptr;
    capacity_ = 0;
  }
  if (store != nullptr) ExFreePoolWithTag(store, kRingStorePoolTag);
}

void LoopbackRing::AdoptFrameSizeLocked(ULONG frameSize) {
  if (frameSize == frameSize_) return;
  dropped_ += HeldLocked();
  fillEnd_ = store_;
  frameSize_ = frameSize;
}

// Counts are whole frames, and so is what is kept: at most the capacity rounded down to
// whole frames, the newest of what was held followed by what comes.
void LoopbackRing::Append(const void* source, ULONG count, ULONG frameSize) {
  const auto* bytes = static_cast<const UCHAR*>(source);
  Guard guard(*this);
  if (store_ == nullptr || frameSize == 0) return;
  AdoptFrameSizeLocked(frameSize);
  const ULONG room = capacity_ / frameSize * frameSize;
  const ULONG held = HeldLocked();
  if (count > room) {
    dropped_ += held + (count - room);
    RtlCopyMemory(store_, bytes + (count - room), room);
    fillEnd_ = store_ + room;
    return;
  }
  const ULONG free = room > held ? room - held : 0;
  if (free < count) {
    const ULONG drop = count - free;
    RtlMoveMemory(store_, store_ + drop, held - drop);
    fillEnd_ -= drop;
    dropped_ += drop;
  }
  RtlCopyMemory(fillEnd_, bytes, count);
  fillEnd_ += count;
}

ULONG LoopbackRing::Take(void* destination, ULONG count, ULONG frameSize) {
  auto* bytes = static_cast<UCHAR*>(destination);
  Guard guard(*this);
  if (store_ == nullptr || frameSize == 0) return 0;
  AdoptFrameSizeLocked(frameSize);
  const ULONG held = HeldLocked();
  const ULONG wanted = count / frameSize * frameSize;
  if (wanted >= held) {
    RtlCopyMemory(bytes, store_, held);
    fillEnd_ = store_;
    return held;
  }
  RtlCopyMemory(bytes, store_, wanted);
  RtlMoveMemory(store_, store_ + wanted, held - wanted);
  fillEnd_ -= wanted;
  return wanted;
}

bool LoopbackRing::Exists() {
  Guard guard(*this);
  return store_ != nullptr;
}

ULONG LoopbackRing::Capacity() {
  Guard guard(*this);
  return capacity_;
}

ULONG LoopbackRing::Held() {
  Guard guard(*this);
  return store_ != nullptr ? HeldLocked() : 0;
}

ULONGLONG LoopbackRing::Dropped() {
  Guard guard(*this);
  return dropped_;
}
