#include "renderer_module.h"

#include <algorithm>

#include "pixora_renderer.h"
#include "renderer_module_path.h"

namespace pixora::test {

std::wstring RendererModulePath() {
  // Wine maps the build machine's root to drive Z:.
  std::wstring path = L"Z:" PIXORA_RENDERER_MODULE_UNIX_PATH;
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

RendererModule::RendererModule() : module_(LoadLibraryW(RendererModulePath().c_str())) {}

RendererModule::~RendererModule() {
  if (module_ != nullptr) FreeLibrary(module_);
}

HRESULT RendererModule::GetClassObject(REFCLSID clsid, REFIID riid, void** object) const {
  using Function = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  return Export<Function>("DllGetClassObject")(clsid, riid, object);
}

HRESULT RendererModule::CanUnloadNow() const {
  return Export<HRESULT(STDAPICALLTYPE*)()>("DllCanUnloadNow")();
}

HRESULT RendererModule::Register() const {
  return Export<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer")();
}

HRESULT RendererModule::Unregister() const {
  return Export<HRESULT(STDAPICALLTYPE*)()>("DllUnregisterServer")();
}

Microsoft::WRL::ComPtr<IBaseFilter> RendererModule::CreateFilter(HRESULT* result) const {
  Microsoft::WRL::ComPtr<IClassFactory> factory;
  Microsoft::WRL::ComPtr<IBaseFilter> filter;
  HRESULT hr = GetClassObject(CLSID_PixoraRenderer, IID_PPV_ARGS(&factory));
  if (SUCCEEDED(hr)) hr = factory->CreateInstance(nullptr, IID_PPV_ARGS(&filter));
  if (result != nullptr) *result = hr;
  return filter;
}

}  // namespace pixora::test
