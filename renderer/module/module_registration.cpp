#include "module_registration.h"

#include <objbase.h>
#include <uuids.h>
#include <wrl/client.h>

#include <string>

#include "class_table.h"
#include "com_apartment.h"
#include "filter_setup.h"
#include "module_state.h"
#include "pixora_renderer.h"
#include "server_registration.h"

namespace pixora {
namespace {

HRESULT CreateMapper(Microsoft::WRL::ComPtr<IFilterMapper2>* mapper) {
  return CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                          IID_PPV_ARGS(mapper->ReleaseAndGetAddressOf()));
}

}  // namespace

HRESULT RegisterModule() {
  CComApartment apartment;
  if (FAILED(apartment.Result())) return apartment.Result();
  std::wstring modulePath;
  HRESULT hr = dshow::ModuleFilePath(dshow::ModuleInstance(), &modulePath);
  if (SUCCEEDED(hr)) hr = dshow::RegisterServerKeys(ClassTable(), modulePath);
  if (SUCCEEDED(hr)) hr = dshow::RegisterFilterSetups(ClassTable(), true);
  if (FAILED(hr)) return hr;
  Microsoft::WRL::ComPtr<IFilterMapper2> mapper;
  hr = CreateMapper(&mapper);
  if (FAILED(hr)) return hr;
  return mapper->RegisterFilter(CLSID_PixoraRenderer, kPixoraRendererName, nullptr,
                                &CLSID_LegacyAmFilterCategory, nullptr, &kPixoraRendererRecord);
}

HRESULT UnregisterModule() {
  CComApartment apartment;
  if (FAILED(apartment.Result())) return apartment.Result();
  HRESULT hr = dshow::RegisterFilterSetups(ClassTable(), false);
  if (FAILED(hr)) return hr;
  dshow::UnregisterServerKeys(ClassTable());
  Microsoft::WRL::ComPtr<IFilterMapper2> mapper;
  hr = CreateMapper(&mapper);
  if (FAILED(hr)) return hr;
  // The record was made without an instance name, under the CLSID, and the first step
  // removed it: an instance of this name is normally not there, and that is success.
  hr = mapper->UnregisterFilter(&CLSID_LegacyAmFilterCategory, kPixoraRendererName,
                                CLSID_PixoraRenderer);
  return hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ? S_OK : hr;
}

}  // namespace pixora
