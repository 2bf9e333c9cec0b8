#pragma once

#include "probe_section.h"

#include <windows.h>

namespace pixora {

// The camera device's property set over the probe section, which holds the device's
// settings and records. Any thread; the section's named mutex serialises every call.
class CCameraDevice {
 public:
  CCameraDevice() = default;  // throws std::system_error when the section cannot be opened

  HRESULT Set(REFGUID set, ULONG id, const void* data, ULONG size);
  HRESULT Get(REFGUID set, ULONG id, void* data, ULONG size, ULONG* returned);
  HRESULT QuerySupported(REFGUID set, ULONG id, ULONG* support);

 private:
  // Caller holds the lock.
  bool TakeInjectedFailure(HRESULT* hr);
  HRESULT ApplySet(ULONG id, const void* data, ULONG size);
  HRESULT AcceptFrame(const void* data, ULONG size);
  HRESULT ReadProperty(ULONG id, void* data, ULONG size, ULONG* returned);

  CProbeSection section_;
};

}  // namespace pixora
