#pragma once

#include "kernel_surface.h"

// Every allocation of the driver goes through here: tagged, from the pool asked for.

inline constexpr ULONG kObjectPoolTag = PoolTagFromText("PcCr");  // the adapter and the miniports
inline constexpr ULONG kDataPoolTag = PoolTagFromText("MSVD");    // streams, buffers, mixer state

// A T built in zeroed pool memory, or none when the pool is exhausted.
template <typename T, typename... Args>
T* NewPoolObject(POOL_TYPE pool, ULONG tag, Args... args) {
  void* memory = ExAllocatePoolWithTag(pool, sizeof(T), tag);
  if (memory == nullptr) return nullptr;
  RtlZeroMemory(memory, sizeof(T));
  return new (memory) T(args...);
}

template <typename T>
void DeletePoolObject(T* object, ULONG tag) {
  object->~T();
  ExFreePoolWithTag(object, tag);
}
