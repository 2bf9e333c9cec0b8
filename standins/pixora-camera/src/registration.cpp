#include "registration.h"

#include "pixora_camera_ids.h"

#include <dshow.h>
#include <wrl/client.h>

#include <array>
#include <memory>
#include <type_traits>
#include <string>

namespace pixora {
namespace {

using Microsoft::WRL::ComPtr;

struct DeviceEntry {
  const CLSID& clsid;
  const wchar_t* name;
  const wchar_t* instance;
  const wchar_t* devicePath;
};

const std::array<DeviceEntry, 2> kDevices{{
    {CLSID_PixoraCamera, kPixoraCameraName, kPixoraCameraInstance, kPixoraCameraDevicePath},
    {CLSID_PixoraCameraLite, kPixoraCameraLiteName, kPixoraCameraLiteInstance,
     kPixoraCameraLiteDevicePath},
}};

using Key = std::unique_ptr<std::remove_pointer_t<HKEY>, LSTATUS(WINAPI*)(HKEY)>;

std::wstring ClassKeyPath(REFCLSID clsid) {
  wchar_t text[40] = {};
  StringFromGUID2(clsid, text, 40);
  return std::wstring(L"CLSID\\") + text;
}

HRESULT SetStringValue(HKEY key, const wchar_t* name, const std::wstring& value) {
  const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  return HRESULT_FROM_WIN32(RegSetValueExW(key, name, 0, REG_SZ,
                                           reinterpret_cast<const BYTE*>(value.c_str()), bytes));
}

HRESULT CreateKey(const std::wstring& path, Key* key) {
  HKEY raw = nullptr;
  const LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0,
                                         KEY_WRITE, nullptr, &raw, nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  key->reset(raw);
  return S_OK;
}

HRESULT RegisterClassKeys(const DeviceEntry& device, const std::wstring& modulePath) {
  const std::wstring classPath = ClassKeyPath(device.clsid);
  Key classKey(nullptr, &RegCloseKey);
  HRESULT hr = CreateKey(classPath, &classKey);
  if (SUCCEEDED(hr)) hr = SetStringValue(classKey.get(), nullptr, device.name);
  Key serverKey(nullptr, &RegCloseKey);
  if (SUCCEEDED(hr)) hr = CreateKey(classPath + L"\\InprocServer32", &serverKey);
  if (SUCCEEDED(hr)) hr = SetStringValue(serverKey.get(), nullptr, modulePath);
  if (SUCCEEDED(hr)) hr = SetStringValue(serverKey.get(), L"ThreadingModel", L"Both");
  return hr;
}

HRESULT WriteDevicePath(IMoniker* moniker, const wchar_t* devicePath) {
  ComPtr<IPropertyBag> bag;
  HRESULT hr = moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag));
  if (FAILED(hr)) return hr;
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = SysAllocString(devicePath);
  if (!value.bstrVal) return E_OUTOFMEMORY;
  hr = bag->Write(L"DevicePath", &value);
  VariantClear(&value);
  return hr;
}

HRESULT RegisterCaptureDevice(IFilterMapper2* mapper, const DeviceEntry& device) {
  // A capture source is found through its category, never by the graph's intelligent
  // connect, hence no pins and the lowest merit.
  REGFILTER2 description = {};
  description.dwVersion = 1;
  description.dwMerit = MERIT_DO_NOT_USE;
  description.cPins = 0;
  description.rgPins = nullptr;
  ComPtr<IMoniker> moniker;
  HRESULT hr = mapper->RegisterFilter(device.clsid, device.name, &moniker,
                                      &CLSID_VideoInputDeviceCategory, device.instance,
                                      &description);
  if (FAILED(hr)) return hr;
  if (!moniker) return E_UNEXPECTED;
  return WriteDevicePath(moniker.Get(), device.devicePath);
}

HRESULT ModulePath(HMODULE module, std::wstring* path) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
    if (length < buffer.size()) {
      buffer.resize(length);
      *path = std::move(buffer);
      return S_OK;
    }
    buffer.resize(buffer.size() * 2);
  }
}

HRESULT DeleteTree(const std::wstring& path) {
  const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) return S_OK;
  return HRESULT_FROM_WIN32(status);
}

}  // namespace

HRESULT RegisterCameraServer(HMODULE module) {
  std::wstring modulePath;
  HRESULT hr = ModulePath(module, &modulePath);
  ComPtr<IFilterMapper2> mapper;
  if (SUCCEEDED(hr)) {
    hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                          IID_PPV_ARGS(&mapper));
  }
  for (const DeviceEntry& device : kDevices) {
    if (SUCCEEDED(hr)) hr = RegisterClassKeys(device, modulePath);
    if (SUCCEEDED(hr)) hr = RegisterCaptureDevice(mapper.Get(), device);
  }
  // Half a registration would leave a device that is listed but cannot be created.
  if (FAILED(hr)) UnregisterCameraServer();
  return hr;
}

HRESULT UnregisterCameraServer() {
  ComPtr<IFilterMapper2> mapper;
  HRESULT result = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(&mapper));
  for (const DeviceEntry& device : kDevices) {
    if (mapper) {
      // Fails when the instance is not there, which is the state wanted.
      mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, device.instance, device.clsid);
    }
    const HRESULT hr = DeleteTree(ClassKeyPath(device.clsid));
    if (SUCCEEDED(result)) result = hr;
  }
  return result;
}

}  // namespace pixora
