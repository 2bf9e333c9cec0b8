#include "class_factory.h"

#include "camera_filter.h"
#include "com_guard.h"
#include "dll_module.h"
#include "pixora_camera_ids.h"

#include <wrl/client.h>

#include <memory>

namespace pixora {

CCameraClassFactory::CCameraClassFactory(REFCLSID clsid) : clsid_(clsid) { ModuleAddRef(); }
CCameraClassFactory::~CCameraClassFactory() { ModuleRelease(); }

STDMETHODIMP CCameraClassFactory::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
  *object = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CCameraClassFactory::AddRef() { return ++references_; }

STDMETHODIMP_(ULONG) CCameraClassFactory::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP CCameraClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  return GuardCom([&] {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    std::unique_ptr<CCameraDevice> device;
    if (clsid_ == CLSID_PixoraCamera) device = std::make_unique<CCameraDevice>();
    Microsoft::WRL::ComPtr<IBaseFilter> filter;
    filter.Attach(new CCameraFilter(clsid_, std::move(device)));
    return filter->QueryInterface(riid, object);
  });
}

STDMETHODIMP CCameraClassFactory::LockServer(BOOL lock) {
  if (lock) {
    ModuleAddRef();
  } else {
    ModuleRelease();
  }
  return S_OK;
}

}  // namespace pixora
