#include "server_registration.h"

#include <objbase.h>
#include <uuids.h>
#include <wrl/client.h>

#include <memory>
#include <type_traits>

#include "com_apartment.h"

namespace pixora::dshow {
namespace {

using Microsoft::WRL::ComPtr;

using RegistryKey = std::unique_ptr<std::remove_pointer_t<HKEY>, LSTATUS(WINAPI*)(HKEY)>;

std::wstring ClassKeyPath(REFCLSID clsid) {
  wchar_t text[40] = {};
  StringFromGUID2(clsid, text, 40);
  return std::wstring(L"CLSID\\") + text;
}

HRESULT CreateKey(const std::wstring& path, RegistryKey* key) {
  HKEY raw = nullptr;
  const LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE,
                                         nullptr, &raw, nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  key->reset(raw);
  return S_OK;
}

HRESULT SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  const LSTATUS status =
      RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
  return HRESULT_FROM_WIN32(status);
}

HRESULT RegisterClassKeys(const ClassTemplate& entry, const std::wstring& modulePath) {
  const std::wstring classPath = ClassKeyPath(*entry.clsid);
  RegistryKey classKey(nullptr, &RegCloseKey);
  RegistryKey serverKey(nullptr, &RegCloseKey);
  HRESULT hr = CreateKey(classPath, &classKey);
  if (SUCCEEDED(hr)) hr = SetString(classKey.get(), nullptr, entry.name);
  if (SUCCEEDED(hr)) hr = CreateKey(classPath + L"\\InprocServer32", &serverKey);
  if (SUCCEEDED(hr)) hr = SetString(serverKey.get(), nullptr, modulePath);
  if (SUCCEEDED(hr)) hr = SetString(serverKey.get(), L"ThreadingModel", L"Both");
  return hr;
}

// Not registered is the state unregistration wants.
HRESULT IgnoringAbsence(HRESULT hr) {
  return hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ? S_OK : hr;
}

HRESULT RegisterWithMapper2(IFilterMapper2* mapper, const FilterSetup& setup, bool add) {
  HRESULT hr = IgnoringAbsence(mapper->UnregisterFilter(nullptr, nullptr, *setup.clsid));
  if (FAILED(hr) || !add) return hr;
  REGFILTER2 record = {};
  record.dwVersion = 1;
  record.dwMerit = setup.merit;
  record.cPins = setup.pinCount;
  record.rgPins = setup.pins;
  return IgnoringAbsence(
      mapper->RegisterFilter(*setup.clsid, setup.name, nullptr, nullptr, nullptr, &record));
}

// Where only the first filter mapper exists: the same record, call by call.
HRESULT RegisterWithMapper(IFilterMapper* mapper, const FilterSetup& setup, bool add) {
  HRESULT hr = IgnoringAbsence(mapper->UnregisterFilter(*setup.clsid));
  if (FAILED(hr) || !add) return hr;
  hr = mapper->RegisterFilter(*setup.clsid, setup.name, setup.merit);
  for (UINT p = 0; SUCCEEDED(hr) && p < setup.pinCount; ++p) {
    const REGFILTERPINS& pin = setup.pins[p];
    hr = mapper->RegisterPin(
        *setup.clsid, pin.strName, pin.bRendered, pin.bOutput, pin.bZero, pin.bMany,
        pin.clsConnectsToFilter ? *pin.clsConnectsToFilter : GUID_NULL, pin.strConnectsToPin);
    for (UINT t = 0; SUCCEEDED(hr) && t < pin.nMediaTypes; ++t) {
      hr = mapper->RegisterPinType(*setup.clsid, pin.strName, *pin.lpMediaType[t].clsMajorType,
                                   *pin.lpMediaType[t].clsMinorType);
    }
  }
  return IgnoringAbsence(hr);
}

}  // namespace

HRESULT RegisterServerKeys(std::span<const ClassTemplate> table, const std::wstring& modulePath) {
  for (const ClassTemplate& entry : table) {
    const HRESULT hr = RegisterClassKeys(entry, modulePath);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

void UnregisterServerKeys(std::span<const ClassTemplate> table) {
  for (const ClassTemplate& entry : table) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKeyPath(*entry.clsid).c_str());
  }
}

HRESULT RegisterFilterSetup(const FilterSetup& setup, bool add) {
  ComPtr<IFilterMapper2> mapper2;
  if (SUCCEEDED(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_PPV_ARGS(&mapper2)))) {
    return RegisterWithMapper2(mapper2.Get(), setup, add);
  }
  ComPtr<IFilterMapper> mapper;
  const HRESULT hr =
      CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&mapper));
  if (FAILED(hr)) return hr;
  return RegisterWithMapper(mapper.Get(), setup, add);
}

HRESULT RegisterFilterSetups(std::span<const ClassTemplate> table, bool add) {
  CComApartment apartment;
  if (FAILED(apartment.Result())) return apartment.Result();
  for (const ClassTemplate& entry : table) {
    if (entry.setup == nullptr) continue;
    const HRESULT hr = RegisterFilterSetup(*entry.setup, add);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT ModuleFilePath(HMODULE module, std::wstring* path) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
    if (length < buffer.size()) {
      buffer.resize(length);
      *path = std::move(buffer);
      return S_OK;
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace pixora::dshow
