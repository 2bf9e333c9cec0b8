#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

namespace pixora {

// Finds the first video input device whose capture filter takes frame packets of the
// camera property set; with a friendly name, only a device of that name (compared
// case-insensitively) that also has a "DevicePath". S_OK with the device; E_FAIL when
// the category cannot be enumerated or is empty; E_INVALIDARG when no device qualifies.
HRESULT FindCameraDevice(const wchar_t* friendlyName,
                         Microsoft::WRL::ComPtr<IKsPropertySet>* device);

}  // namespace pixora
