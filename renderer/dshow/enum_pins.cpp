#include "enum_pins.h"

#include <vfwmsgs.h>

#include "base_filter.h"
#include "base_pin.h"
#include "com_guard.h"

namespace pixora::dshow {

CEnumPins::CEnumPins(CBaseFilter* filter, int position)
    : keepAlive_(filter), filter_(filter), position_(position), version_(filter->PinVersion()) {}

STDMETHODIMP CEnumPins::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid != IID_IUnknown && riid != IID_IEnumPins) return E_NOINTERFACE;
  *object = static_cast<IEnumPins*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CEnumPins::AddRef() { return ++references_; }

STDMETHODIMP_(ULONG) CEnumPins::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

bool CEnumPins::InSync() const { return version_ == filter_->PinVersion(); }

STDMETHODIMP CEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched) {
  if (pins == nullptr) return E_POINTER;
  if (fetched == nullptr && count != 1) return E_POINTER;
  if (fetched != nullptr) *fetched = 0;
  if (!InSync()) return VFW_E_ENUM_OUT_OF_SYNC;
  ULONG got = 0;
  while (got < count && position_ < filter_->GetPinCount()) {
    CBasePin* pin = filter_->GetPin(position_++);
    pins[got++] = pin;
    pin->AddRef();
  }
  if (fetched != nullptr) *fetched = got;
  return got == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumPins::Skip(ULONG count) {
  if (!InSync()) return VFW_E_ENUM_OUT_OF_SYNC;
  const int left = filter_->GetPinCount() - position_;
  if (count > static_cast<ULONG>(left)) {
    position_ += left;
    return S_FALSE;
  }
  position_ += static_cast<int>(count);
  return S_OK;
}

STDMETHODIMP CEnumPins::Reset() {
  version_ = filter_->PinVersion();
  position_ = 0;
  return S_OK;
}

STDMETHODIMP CEnumPins::Clone(IEnumPins** copy) {
  return GuardCom([&]() -> HRESULT {
    if (copy == nullptr) return E_POINTER;
    *copy = nullptr;
    if (!InSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    *copy = new CEnumPins(filter_, position_);
    return S_OK;
  });
}

}  // namespace pixora::dshow
