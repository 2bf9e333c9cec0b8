#include "device_search.h"

#include <oleauto.h>
#include <uuids.h>

#include <utility>

#include "com_holders.h"
#include "pixora_camera_props.h"

namespace pixora {
namespace {

using Microsoft::WRL::ComPtr;

bool ReadsString(IPropertyBag* bag, const wchar_t* key, Variant* value) {
  return SUCCEEDED(bag->Read(key, value->get(), nullptr)) && value->String() != nullptr;
}

bool NameMatches(IPropertyBag* bag, const wchar_t* wanted) {
  Variant name;
  return ReadsString(bag, L"FriendlyName", &name) &&
         CompareStringOrdinal(name.String(), -1, wanted, -1, TRUE) == CSTR_EQUAL;
}

// The device's property interface when it takes frame packets.
ComPtr<IKsPropertySet> QualifyingDevice(IMoniker* moniker) {
  ComPtr<IBaseFilter> filter;
  ComPtr<IKsPropertySet> properties;
  DWORD support = 0;
  if (FAILED(moniker->BindToObject(nullptr, nullptr, IID_PPV_ARGS(&filter))) ||
      FAILED(filter.As(&properties)) ||
      properties->QuerySupported(PROPSETID_PixoraCamera, PIXORA_PROP_FRAME, &support) != S_OK ||
      (support & PIXORA_KSPROPERTY_SUPPORT_SET) == 0) {
    return nullptr;
  }
  return properties;
}

}  // namespace

HRESULT FindCameraDevice(const wchar_t* friendlyName, ComPtr<IKsPropertySet>* device) {
  ComPtr<ICreateDevEnum> devices;
  ComPtr<IEnumMoniker> category;
  if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&devices))) ||
      FAILED(devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &category, 0)) ||
      category == nullptr || FAILED(category->Reset())) {
    return E_FAIL;
  }
  ComPtr<IMoniker> moniker;
  while (category->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK && moniker) {
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag)))) continue;
    if (friendlyName != nullptr && !NameMatches(bag.Get(), friendlyName)) continue;
    ComPtr<IKsPropertySet> candidate = QualifyingDevice(moniker.Get());
    if (!candidate) continue;
    Variant path;
    if (friendlyName != nullptr && !ReadsString(bag.Get(), L"DevicePath", &path)) continue;
    *device = std::move(candidate);
    return S_OK;
  }
  return E_INVALIDARG;
}

}  // namespace pixora
