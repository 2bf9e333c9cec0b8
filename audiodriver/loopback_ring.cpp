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

void LoopbackRing::Append(const void* source, ULONG count) {
  const auto* bytes = static_cast<const UCHAR*>(source);
  Guard guard(*this);
  if (store_ == nullptr) return;
  const ULONG held = HeldLocked();
  if (count > capacity_) {
    dropped_ += held + (count - capacity_);
    RtlCopyMemory(store_, bytes + (count - capacity_), capacity_);
    fillEnd_ = store_ + capacity_;
    return;
  }
  const ULONG room = capacity_ - held;
  if (room < count) {
    const ULONG drop = count - room;
    RtlMoveMemory(store_, store_ + drop, held - drop);
    fillEnd_ -= drop;
    dropped_ += drop;
  }
  RtlCopyMemory(fillEnd_, bytes, count);
  fillEnd_ += count;
}

ULONG LoopbackRing::Take(void* destination, ULONG count) {
  auto* bytes = static_cast<UCHAR*>(destination);
  Guard guard(*this);
  if (store_ == nullptr) return 0;
  const ULONG held = HeldLocked();
  if (count >= held) {
    RtlCopyMemory(bytes, store_, held);
    fillEnd_ = store_;
    return held;
  }
  RtlCopyMemory(bytes, store_, count);
  RtlMoveMemory(store_, store_ + count, held - count);
  fillEnd_ -= count;
  return count;
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
