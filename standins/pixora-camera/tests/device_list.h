#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace pixora::test {

struct ListedDevice {
  std::wstring friendlyName;
  std::wstring devicePath;  // empty when the bag has none
  CLSID filterClass;        // from the bound filter's GetClassID; GUID_NULL when it did not bind
  HRESULT querySupported;   // QuerySupported(PROPSETID_PixoraCamera, PIXORA_PROP_FRAME)
  DWORD support;
};

// The video input devices as the system device enumerator lists them, each bound to its
// filter. The calling thread must be in a COM apartment.
std::vector<ListedDevice> ListVideoInputDevices();

}  // namespace pixora::test
