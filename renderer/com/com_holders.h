// Scoped holders of OLE Automation values, released with the object. One thread at a time.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <oleauto.h>

#include <cstdint>

namespace pixora {

// A VARIANT cleared on destruction.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  ~Variant() { VariantClear(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;

  VARIANT* get() { return &v_; }
  // The string it holds, or null when it holds none.
  const wchar_t* String() const { return v_.vt == VT_BSTR ? v_.bstrVal : nullptr; }

 private:
  VARIANT v_;
};

// A SAFEARRAY's data, locked for the object's life; null when it could not be locked.
class SafeArrayLock {
 public:
  explicit SafeArrayLock(SAFEARRAY* array) : array_(array) {
    if (FAILED(SafeArrayAccessData(array_, &data_))) data_ = nullptr;
  }
  ~SafeArrayLock() {
    if (data_ != nullptr) SafeArrayUnaccessData(array_);
  }
  SafeArrayLock(const SafeArrayLock&) = delete;
  SafeArrayLock& operator=(const SafeArrayLock&) = delete;

  const uint8_t* Data() const { return static_cast<const uint8_t*>(data_); }

 private:
  SAFEARRAY* array_;
  void* data_ = nullptr;
};

}  // namespace pixora
