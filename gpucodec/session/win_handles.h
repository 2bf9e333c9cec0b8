#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace gpucodec {

struct LibraryDeleter {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};
using LibraryHandle = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryDeleter>;

struct EventDeleter {
  void operator()(HANDLE event) const { CloseHandle(event); }
};
using EventHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, EventDeleter>;

// An export of a loaded library as the function type the caller expects.
template <class Function>
Function LibraryExport(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace gpucodec
