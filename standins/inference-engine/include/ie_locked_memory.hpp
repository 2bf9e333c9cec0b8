#pragma once

#include <type_traits>
#include <utility>

namespace InferenceEngine {

// A mapped view of a blob's memory, valid while the blob lives.
template <typename T>
class LockedMemory {
 public:
  explicit LockedMemory(T* ptr) noexcept : ptr_(ptr) {}
  LockedMemory(LockedMemory&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  LockedMemory& operator=(LockedMemory&& other) noexcept {
    ptr_ = std::exchange(other.ptr_, nullptr);
    return *this;
  }
  LockedMemory(const LockedMemory&) = delete;
  LockedMemory& operator=(const LockedMemory&) = delete;

  template <typename S>
  requires std::is_pointer_v<S> S as()
  const noexcept {
    if constexpr (std::is_void_v<std::remove_const_t<T>>)
      return static_cast<S>(ptr_);
    else
      return reinterpret_cast<S>(ptr_);
  }

  operator T*() const noexcept { return ptr_; }

 private:
  T* ptr_;
};

}  // namespace InferenceEngine
