#include "unknown.h"

namespace pixora::dshow {

CUnknown::CUnknown(IUnknown* outer)
    : owner_(outer != nullptr
                 ? outer
                 : reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(this))) {}

HRESULT STDMETHODCALLTYPE CUnknown::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid != IID_IUnknown) return E_NOINTERFACE;
  // The inner unknown is this object's identity even when aggregated.
  *object = static_cast<INonDelegatingUnknown*>(this);
  NonDelegatingAddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingAddRef() { return ++references_; }

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingRelease() {
  const ULONG left = --references_;
  if (left == 0) {
    // Guards against a destructor that takes and drops a reference of its own.
    references_ = 1;
    delete this;
  }
  return left;
}

HRESULT CUnknown::GetInterface(IUnknown* face, void** object) {
  *object = face;
  face->AddRef();
  return S_OK;
}

}  // namespace pixora::dshow
