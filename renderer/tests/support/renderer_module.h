// The PixoraRenderer.ax of this build, loaded by path, so that tests reach its exports
// and its class objects without the registry. One thread at a time.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <string>

namespace pixora::test {

// The module's path as Windows sees it.
std::wstring RendererModulePath();

class RendererModule {
 public:
  RendererModule();  // the module stays loaded for the object's life
  ~RendererModule();
  RendererModule(const RendererModule&) = delete;
  RendererModule& operator=(const RendererModule&) = delete;

  bool Loaded() const { return module_ != nullptr; }
  HMODULE Handle() const { return module_; }

  HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object) const;
  HRESULT CanUnloadNow() const;
  HRESULT Register() const;
  HRESULT Unregister() const;

  // A new filter from the module's class factory (no aggregation); null on failure.
  Microsoft::WRL::ComPtr<IBaseFilter> CreateFilter(HRESULT* result = nullptr) const;

 private:
  template <class Function>
  Function Export(const char* name) const {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

  HMODULE module_;
};

}  // namespace pixora::test
