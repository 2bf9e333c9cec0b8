#include "device_list.h"

#include "pixora_camera_props.h"

#include <dshow.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

namespace pixora::test {
namespace {

using Microsoft::WRL::ComPtr;

std::wstring ReadString(IPropertyBag* bag, const wchar_t* name) {
  VARIANT value;
  VariantInit(&value);
  std::wstring text;
  if (SUCCEEDED(bag->Read(name, &value, nullptr)) && value.vt == VT_BSTR) text = value.bstrVal;
  VariantClear(&value);
  return text;
}

ListedDevice Describe(IMoniker* moniker) {
  ListedDevice device{{}, {}, GUID_NULL, E_FAIL, 0};
  ComPtr<IPropertyBag> bag;
  if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag)))) {
    device.friendlyName = ReadString(bag.Get(), L"FriendlyName");
    device.devicePath = ReadString(bag.Get(), L"DevicePath");
  }
  ComPtr<IBaseFilter> filter;
  if (FAILED(moniker->BindToObject(nullptr, nullptr, IID_PPV_ARGS(&filter)))) return device;
  filter->GetClassID(&device.filterClass);
  ComPtr<IKsPropertySet> properties;
  if (SUCCEEDED(filter.As(&properties))) {
    device.querySupported =
        properties->QuerySupported(PROPSETID_PixoraCamera, PIXORA_PROP_FRAME, &device.support);
  }
  return device;
}

}  // namespace

std::vector<ListedDevice> ListVideoInputDevices() {
  std::vector<ListedDevice> devices;
  ComPtr<ICreateDevEnum> systemEnum;
  HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&systemEnum));
  EXPECT_EQ(hr, S_OK);
  if (FAILED(hr)) return devices;
  ComPtr<IEnumMoniker> monikers;
  hr = systemEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0);
  // S_FALSE: the category is empty and no enumerator is returned.
  if (hr != S_OK || !monikers) return devices;
  ComPtr<IMoniker> moniker;
  while (monikers->Next(1, &moniker, nullptr) == S_OK && moniker) {
    devices.push_back(Describe(moniker.Get()));
    moniker.Reset();
  }
  return devices;
}

}  // namespace pixora::test
