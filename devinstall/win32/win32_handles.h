#pragma once

#include <windows.h>
#include <setupapi.h>

#include <utility>

// Owners of the platform handles the installer holds, each closed once by its owner.
namespace devinstall::win32 {

template <typename Traits>
class Unique {
 public:
  using Native = typename Traits::Native;

  Unique() = default;
  explicit Unique(Native native) noexcept : native_(native) {}
  Unique(Unique&& other) noexcept : native_(std::exchange(other.native_, Traits::invalid())) {}
  Unique& operator=(Unique&& other) noexcept {
    Unique taken(std::move(other));
    std::swap(native_, taken.native_);
    return *this;
  }
  ~Unique() {
    if (native_ != Traits::invalid()) Traits::close(native_);
  }

  Native get() const noexcept { return native_; }
  explicit operator bool() const noexcept { return native_ != Traits::invalid(); }

 private:
  Native native_ = Traits::invalid();
};

struct DeviceInfoListTraits {
  using Native = HDEVINFO;
  static Native invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void close(Native list) noexcept { SetupDiDestroyDeviceInfoList(list); }
};

// SetupDiOpenDevRegKey answers INVALID_HANDLE_VALUE, RegOpenKeyExW leaves its output alone:
// both start from it.
struct RegistryKeyTraits {
  using Native = HKEY;
  static Native invalid() noexcept { return static_cast<HKEY>(INVALID_HANDLE_VALUE); }
  static void close(Native key) noexcept { RegCloseKey(key); }
};

struct LibraryTraits {
  using Native = HMODULE;
  static Native invalid() noexcept { return nullptr; }
  static void close(Native library) noexcept { FreeLibrary(library); }
};

struct LocalMemoryTraits {
  using Native = void*;
  static Native invalid() noexcept { return nullptr; }
  static void close(Native memory) noexcept { LocalFree(memory); }
};

// Process and thread handles answer null when they are not had.
struct KernelHandleTraits {
  using Native = HANDLE;
  static Native invalid() noexcept { return nullptr; }
  static void close(Native handle) noexcept { CloseHandle(handle); }
};

using DeviceInfoList = Unique<DeviceInfoListTraits>;
using RegistryKey = Unique<RegistryKeyTraits>;
using Library = Unique<LibraryTraits>;
using LocalMemory = Unique<LocalMemoryTraits>;
using KernelHandle = Unique<KernelHandleTraits>;

}  // namespace devinstall::win32
