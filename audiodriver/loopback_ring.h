#pragma once

#include "kernel_surface.h"

// The driver-wide FIFO between the streams: what a render stream plays is appended, what a
// capture stream records is taken, oldest first, in whole frames of the streams' format, so
// that neither an overflow nor a short take ever leaves the capture side part-way into a
// frame. The bytes held always start at the beginning of the store. One in-stack queued spin lock guards the store, and every copy into
// or out of it and every move within it happens under that lock. The lock lives as long as
// the driver, and the store is swapped in and out under it, so that destroying the ring never
// frees a store that another processor is copying. Append, Take and the counters at IRQL <=
// DISPATCH_LEVEL; Create and Destroy at PASSIVE_LEVEL.
class LoopbackRing {
 public:
  constexpr LoopbackRing() = default;
  LoopbackRing(const LoopbackRing&) = delete;
  LoopbackRing& operator=(const LoopbackRing&) = delete;

  // An empty ring of `capacity` bytes (non-paged, "GOV\0") unless one exists; `made` says
  // whether this call made it. No memory: STATUS_INSUFFICIENT_RESOURCES and no ring.
  NTSTATUS Create(ULONG capacity, bool* made);
  // Frees the store: until the next Create appends are dropped and takes deliver nothing.
  void Destroy();

  // Appends `count` bytes, whole frames of `frameSize` bytes; when they do not fit, the
  // oldest frames held (and, beyond the capacity, the oldest of these) are dropped. Frames of
  // another size held from an earlier format are dropped first.
  void Append(const void* source, ULONG count, ULONG frameSize);
  // Copies up to `count` bytes of the oldest whole frames to the start of `destination` and
  // returns how many; the rest of the destination is not written. Frames of another size
  // held from an earlier format are dropped instead of delivered.
  ULONG Take(void* destination, ULONG count, ULONG frameSize);

  bool Exists();
  ULONG Capacity();
  ULONG Held();
  // Bytes appended and then dropped unread since the driver loaded.
  ULONGLONG Dropped();

 private:
  class Guard;

  ULONG HeldLocked() const { return static_cast<ULONG>(fillEnd_ - store_); }
  void AdoptFrameSizeLocked(ULONG frameSize);

  KSPIN_LOCK lock_ = 0;
  UCHAR* store_ = nullptr;
  ULONG capacity_ = 0;
  UCHAR* fillEnd_ = nullptr;  // the store plus the bytes held
  ULONG frameSize_ = 1;       // of the frames held
  ULONGLONG dropped_ = 0;
};

// The one ring of the driver, shared by every stream of every device.
LoopbackRing& TheLoopbackRing();

// Pool tag of the ring's store: the bytes G, O, V, 0.
inline constexpr ULONG kRingStorePoolTag = 0x00564F47;
