#include "class_factory.h"

#include "com_guard.h"

namespace pixora::dshow {

CClassFactory::CClassFactory(const ClassTemplate& entry) : entry_(entry) {}

STDMETHODIMP CClassFactory::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
  *object = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CClassFactory::AddRef() { return ++references_; }

STDMETHODIMP_(ULONG) CClassFactory::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  return GuardCom([&]() -> HRESULT {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr && riid != IID_IUnknown) return E_NOINTERFACE;
    HRESULT result = S_OK;
    INonDelegatingUnknown* made = entry_.create(outer, &result);
    if (made == nullptr) return FAILED(result) ? result : E_OUTOFMEMORY;
    // One reference for the time of the query: a failing query destroys the object, and
    // so does a creation that reported failure.
    made->NonDelegatingAddRef();
    if (SUCCEEDED(result)) result = made->NonDelegatingQueryInterface(riid, object);
    made->NonDelegatingRelease();
    return result;
  });
}

STDMETHODIMP CClassFactory::LockServer(BOOL lock) {
  CountServerLock(lock != FALSE);
  return S_OK;
}

}  // namespace pixora::dshow
