#include "empty_pin_enum.h"

#include "com_guard.h"
#include "dll_module.h"

#include <wrl/client.h>

namespace pixora {

CEmptyPinEnum::CEmptyPinEnum() { ModuleAddRef(); }
CEmptyPinEnum::~CEmptyPinEnum() { ModuleRelease(); }

STDMETHODIMP CEmptyPinEnum::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (riid != IID_IUnknown && riid != IID_IEnumPins) return E_NOINTERFACE;
  *object = static_cast<IEnumPins*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CEmptyPinEnum::AddRef() { return ++references_; }

STDMETHODIMP_(ULONG) CEmptyPinEnum::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP CEmptyPinEnum::Next(ULONG count, IPin** pins, ULONG* fetched) {
  if (!pins || (count > 1 && !fetched)) return E_POINTER;
  if (fetched) *fetched = 0;
  return count == 0 ? S_OK : S_FALSE;
}

STDMETHODIMP CEmptyPinEnum::Skip(ULONG count) { return count == 0 ? S_OK : S_FALSE; }

STDMETHODIMP CEmptyPinEnum::Reset() { return S_OK; }

STDMETHODIMP CEmptyPinEnum::Clone(IEnumPins** clone) {
  return GuardCom([&] {
    if (!clone) return E_POINTER;
    *clone = nullptr;
    Microsoft::WRL::ComPtr<IEnumPins> copy;
    copy.Attach(new CEmptyPinEnum());
    *clone = copy.Detach();
    return S_OK;
  });
}

}  // namespace pixora
