#pragma once

#include <cstring>
#include <memory>
#include <type_traits>

#include "ie_common.h"
#include "ie_layouts.h"
#include "ie_locked_memory.hpp"

namespace InferenceEngine {

class Blob {
 public:
  using Ptr = std::shared_ptr<Blob>;
  using CPtr = std::shared_ptr<const Blob>;

  explicit Blob(const TensorDesc& desc) : tensorDesc_(desc) {}
  virtual ~Blob() = default;
  Blob(const Blob&) = delete;
  Blob& operator=(const Blob&) = delete;

  const TensorDesc& getTensorDesc() const noexcept { return tensorDesc_; }
  size_t size() const noexcept;
  size_t byteSize() const noexcept { return size() * element_size(); }
  size_t element_size() const noexcept { return tensorDesc_.getPrecision().size(); }

  virtual void allocate() = 0;
  virtual bool deallocate() noexcept = 0;

  template <typename T>
  bool is() const noexcept {
    return dynamic_cast<const T*>(this) != nullptr;
  }
  template <typename T>
  T* as() noexcept {
    return dynamic_cast<T*>(this);
  }
  template <typename T>
  const T* as() const noexcept {
    return dynamic_cast<const T*>(this);
  }

 private:
  TensorDesc tensorDesc_;
};

class MemoryBlob : public Blob {
 public:
  using Ptr = std::shared_ptr<MemoryBlob>;
  using CPtr = std::shared_ptr<const MemoryBlob>;

  using Blob::Blob;

  LockedMemory<void> rwmap() noexcept { return LockedMemory<void>(data_ptr()); }
  LockedMemory<const void> rmap() const noexcept { return LockedMemory<const void>(data_ptr()); }
  LockedMemory<void> wmap() noexcept { return LockedMemory<void>(data_ptr()); }

 protected:
  // Null while the blob holds no memory.
  virtual void* data_ptr() const noexcept = 0;
};

template <typename T>
class TBlob : public MemoryBlob {
 public:
  using Ptr = std::shared_ptr<TBlob<T>>;

  explicit TBlob(const TensorDesc& desc) : MemoryBlob(desc) { checkPrecision(desc); }

  // Uses the caller's memory, which must outlive the blob; size counts elements, 0 = unknown.
  TBlob(const TensorDesc& desc, T* ptr, size_t size = 0) : MemoryBlob(desc) {
    checkPrecision(desc);
    if (ptr == nullptr) throw Exception("Using Blob on external nullptr memory", NOT_ALLOCATED);
    if (size != 0 && size < this->size())
      throw Exception("Using Blob on external memory that is smaller than the blob",
                      PARAMETER_MISMATCH);
    external_ = ptr;
  }

  void allocate() override {
    if (external_ != nullptr || owned_) return;
    owned_ = std::make_unique<T[]>(size());  // value-initialised: zero
  }
  bool deallocate() noexcept override {
    const bool had = owned_ != nullptr || external_ != nullptr;
    owned_.reset();
    external_ = nullptr;
    return had;
  }

  LockedMemory<T> data() noexcept { return LockedMemory<T>(static_cast<T*>(data_ptr())); }
  LockedMemory<const T> readOnly() const noexcept {
    return LockedMemory<const T>(static_cast<const T*>(data_ptr()));
  }

 protected:
  void* data_ptr() const noexcept override {
    return external_ != nullptr ? const_cast<std::remove_const_t<T>*>(external_) : owned_.get();
  }

 private:
  static void checkPrecision(const TensorDesc& desc) {
    if (!desc.getPrecision().hasStorageType<T>())
      throw Exception(
          "Cannot make shared blob! The blob type cannot be used to store objects of current "
          "precision",
          PARAMETER_MISMATCH);
  }

  T* external_ = nullptr;
  std::unique_ptr<T[]> owned_;
};

template <typename T>
typename TBlob<T>::Ptr make_shared_blob(const TensorDesc& desc) {
  return std::make_shared<TBlob<T>>(desc);
}

template <typename T>
typename TBlob<T>::Ptr make_shared_blob(const TensorDesc& desc, T* ptr, size_t size = 0) {
  return std::make_shared<TBlob<T>>(desc, ptr, size);
}

template <typename T>
requires std::is_base_of_v<Blob, T> std::shared_ptr<T> as(const Blob::Ptr& blob)
noexcept { return std::dynamic_pointer_cast<T>(blob); }

template <typename T>
requires std::is_base_of_v<Blob, T> std::shared_ptr<const T> as(const Blob::CPtr& blob)
noexcept { return std::dynamic_pointer_cast<const T>(blob); }

using BlobMap = std::map<std::string, Blob::Ptr>;

}  // namespace InferenceEngine
