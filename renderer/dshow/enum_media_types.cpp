#include "enum_media_types.h"

#include <vfwmsgs.h>

#include "base_pin.h"
#include "com_guard.h"
#include "media_type.h"

namespace pixora::dshow {

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pin, int position)
    : keepAlive_(pin), pin_(pin), position_(position), version_(pin->MediaTypeVersion()) {}

STDMETHODIMP CEnumMediaTypes::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid != IID_IUnknown && riid != IID_IEnumMediaTypes) return E_NOINTERFACE;
  *object = static_cast<IEnumMediaTypes*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CEnumMediaTypes::AddRef() { return ++references_; }

STDMETHODIMP_(ULONG) CEnumMediaTypes::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

bool CEnumMediaTypes::InSync() const { return version_ == pin_->MediaTypeVersion(); }

STDMETHODIMP CEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) {
  if (types == nullptr) return E_POINTER;
  if (fetched == nullptr && count != 1) return E_POINTER;
  if (fetched != nullptr) *fetched = 0;
  if (!InSync()) return VFW_E_ENUM_OUT_OF_SYNC;
  ULONG got = 0;
  while (got < count) {
    MediaType type;
    if (pin_->GetMediaType(position_, type.Receive()) != S_OK) break;
    AM_MEDIA_TYPE* copy = CreateMediaType(type.Get());
    if (copy == nullptr) {
      for (ULONG i = 0; i < got; ++i) DeleteMediaType(types[i]);
      return E_OUTOFMEMORY;
    }
    types[got++] = copy;
    ++position_;
  }
  if (fetched != nullptr) *fetched = got;
  return got == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Skip(ULONG count) {
  if (!InSync()) return VFW_E_ENUM_OUT_OF_SYNC;
  for (; count > 0; --count) {
    MediaType type;
    if (pin_->GetMediaType(position_, type.Receive()) != S_OK) return S_FALSE;
    ++position_;
  }
  return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Reset() {
  version_ = pin_->MediaTypeVersion();
  position_ = 0;
  return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Clone(IEnumMediaTypes** copy) {
  return GuardCom([&]() -> HRESULT {
    if (copy == nullptr) return E_POINTER;
    *copy = nullptr;
    if (!InSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    *copy = new CEnumMediaTypes(pin_, position_);
    return S_OK;
  });
}

}  // namespace pixora::dshow
