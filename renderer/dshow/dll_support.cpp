#include "dll_support.h"

#include <new>

#include "class_factory.h"

namespace pixora::dshow {

HRESULT GetClassObject(std::span<const ClassTemplate> table, REFCLSID clsid, REFIID riid,
                       void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
  for (const ClassTemplate& entry : table) {
    if (*entry.clsid != clsid) continue;
    auto* factory = new (std::nothrow) CClassFactory(entry);
    if (factory == nullptr) return E_OUTOFMEMORY;
    *object = static_cast<IClassFactory*>(factory);
    return S_OK;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadNow() { return ModuleInUse() ? S_FALSE : S_OK; }

}  // namespace pixora::dshow
