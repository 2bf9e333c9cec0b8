#pragma once

#include <new>
#include <utility>

#include "kernel_surface.h"

// The stand-in's own Port Class objects live in the tagged pool like the real ones, so that
// allocation failures reach them and removal reports show them.
namespace kstandin {

inline constexpr ULONG kPortTag = PoolTagFromText("Port");
inline constexpr ULONG kPortStreamTag = PoolTagFromText("PStr");
inline constexpr ULONG kServiceGroupTag = PoolTagFromText("SvGr");

template <typename T, typename... Args>
T* NewInPool(ULONG tag, Args&&... args) {
  void* memory = ExAllocatePoolWithTag(NonPagedPoolNx, sizeof(T), tag);
  return memory == nullptr ? nullptr : new (memory) T(std::forward<Args>(args)...);
}

template <typename T>
void DeleteInPool(T* object, ULONG tag) {
  object->~T();
  ExFreePoolWithTag(object, tag);
}

}  // namespace kstandin
