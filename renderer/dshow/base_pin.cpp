#include "base_pin.h"

#include <objbase.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <cstring>

#include "base_filter.h"
#include "com_guard.h"
#include "enum_media_types.h"

namespace pixora::dshow {
namespace {

bool IsPartiallySpecified(const AM_MEDIA_TYPE& type) {
  return type.majortype == GUID_NULL || type.subtype == GUID_NULL || type.formattype == GUID_NULL;
}

// A wildcard field (GUID_NULL) of the partial type matches anything.
bool Matches(const AM_MEDIA_TYPE& candidate, const AM_MEDIA_TYPE* partial) {
  if (partial == nullptr) return true;
  auto fits = [](REFGUID wanted, REFGUID offered) {
    return wanted == GUID_NULL || wanted == offered;
  };
  return fits(partial->majortype, candidate.majortype) &&
         fits(partial->subtype, candidate.subtype) &&
         fits(partial->formattype, candidate.formattype);
}

}  // namespace

CBasePin::CBasePin(CBaseFilter* filter, const wchar_t* name, PIN_DIRECTION direction)
    : filter_(filter), name_(name), direction_(direction) {}

STDMETHODIMP CBasePin::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  return QueryPinInterface(riid, object);
}

HRESULT CBasePin::QueryPinInterface(REFIID riid, void** object) {
  if (riid == IID_IUnknown || riid == IID_IPin) {
    *object = static_cast<IPin*>(this);
  } else if (riid == IID_IQualityControl) {
    *object = static_cast<IQualityControl*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CBasePin::AddRef() { return filter_->AddRef(); }
STDMETHODIMP_(ULONG) CBasePin::Release() { return filter_->Release(); }

STDMETHODIMP CBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
  return GuardCom([&]() -> HRESULT {
    if (receivePin == nullptr) return E_POINTER;
    std::lock_guard lock(filter_->StateLock());
    if (connected_) return VFW_E_ALREADY_CONNECTED;
    if (filter_->State() != State_Stopped) return VFW_E_NOT_STOPPED;
    return AgreeMediaType(receivePin, type);
  });
}

HRESULT CBasePin::AgreeMediaType(IPin* receivePin, const AM_MEDIA_TYPE* partial) {
  if (partial != nullptr && !IsPartiallySpecified(*partial)) {
    return AttemptConnection(receivePin, *partial);
  }
  // The other pin's preferences first, then this pin's.
  HRESULT last = VFW_E_NO_ACCEPTABLE_TYPES;
  for (IPin* source : {receivePin, static_cast<IPin*>(this)}) {
    Microsoft::WRL::ComPtr<IEnumMediaTypes> types;
    if (FAILED(source->EnumMediaTypes(&types)) || !types) continue;
    const HRESULT hr = TryMediaTypes(receivePin, partial, types.Get());
    if (SUCCEEDED(hr)) return hr;
    if (hr != VFW_E_NO_ACCEPTABLE_TYPES) last = hr;
  }
  return last;
}

HRESULT CBasePin::TryMediaTypes(IPin* receivePin, const AM_MEDIA_TYPE* partial,
                                IEnumMediaTypes* types) {
  HRESULT last = VFW_E_NO_ACCEPTABLE_TYPES;
  for (;;) {
    AM_MEDIA_TYPE* type = nullptr;
    ULONG fetched = 0;
    if (types->Next(1, &type, &fetched) != S_OK || fetched != 1 || type == nullptr) return last;
    HRESULT hr = VFW_E_NO_ACCEPTABLE_TYPES;
    if (Matches(*type, partial)) hr = AttemptConnection(receivePin, *type);
    DeleteMediaType(type);
    if (SUCCEEDED(hr)) return hr;
    if (hr != VFW_E_NO_ACCEPTABLE_TYPES) last = hr;
  }
}

HRESULT CBasePin::AttemptConnection(IPin* receivePin, const AM_MEDIA_TYPE& type) {
  HRESULT hr = CheckConnect(receivePin);
  if (FAILED(hr)) {
    BreakConnect();
    return hr;
  }
  if (CheckMediaType(&type) != S_OK) {
    BreakConnect();
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  connected_ = receivePin;
  hr = SetMediaType(&type);
  if (SUCCEEDED(hr)) hr = receivePin->ReceiveConnection(this, &type);
  if (FAILED(hr)) {
    DropConnection();
    return hr;
  }
  hr = CompleteConnect(receivePin);
  if (FAILED(hr)) {
    receivePin->Disconnect();
    DropConnection();
  }
  return hr;
}

STDMETHODIMP CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
  return GuardCom([&]() -> HRESULT {
    if (connector == nullptr || type == nullptr) return E_POINTER;
    std::lock_guard lock(filter_->StateLock());
    if (connected_) return VFW_E_ALREADY_CONNECTED;
    if (filter_->State() != State_Stopped) return VFW_E_NOT_STOPPED;
    HRESULT hr = CheckConnect(connector);
    if (FAILED(hr)) {
      BreakConnect();
      return hr;
    }
    if (CheckMediaType(type) != S_OK) {
      BreakConnect();
      return VFW_E_TYPE_NOT_ACCEPTED;
    }
    connected_ = connector;
    hr = SetMediaType(type);
    if (SUCCEEDED(hr)) hr = CompleteConnect(connector);
    if (FAILED(hr)) DropConnection();
    return hr;
  });
}

void CBasePin::DropConnection() {
  BreakConnect();
  connected_.Reset();
  type_.Clear();
}

STDMETHODIMP CBasePin::Disconnect() {
  return GuardCom([&]() -> HRESULT {
    std::lock_guard lock(filter_->StateLock());
    if (filter_->State() != State_Stopped) return VFW_E_NOT_STOPPED;
    if (!connected_) return S_FALSE;
    DropConnection();
    return S_OK;
  });
}

STDMETHODIMP CBasePin::ConnectedTo(IPin** pin) {
  return GuardCom([&]() -> HRESULT {
    if (pin == nullptr) return E_POINTER;
    std::lock_guard lock(filter_->StateLock());
    *pin = connected_.Get();
    if (*pin == nullptr) return VFW_E_NOT_CONNECTED;
    (*pin)->AddRef();
    return S_OK;
  });
}

STDMETHODIMP CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  return GuardCom([&]() -> HRESULT {
    if (type == nullptr) return E_POINTER;
    std::lock_guard lock(filter_->StateLock());
    if (!connected_) {
      std::memset(type, 0, sizeof(*type));
      return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(type, type_.Get());
  });
}

STDMETHODIMP CBasePin::QueryPinInfo(PIN_INFO* info) {
  if (info == nullptr) return E_POINTER;
  info->pFilter = filter_;
  filter_->AddRef();
  info->dir = direction_;
  const size_t capacity = sizeof(info->achName) / sizeof(info->achName[0]);
  const size_t length = std::min(name_.size(), capacity - 1);
  name_.copy(info->achName, length);
  info->achName[length] = L'\0';
  return S_OK;
}

STDMETHODIMP CBasePin::QueryDirection(PIN_DIRECTION* direction) {
  if (direction == nullptr) return E_POINTER;
  *direction = direction_;
  return S_OK;
}

STDMETHODIMP CBasePin::QueryId(LPWSTR* id) {
  if (id == nullptr) return E_POINTER;
  const size_t bytes = (name_.size() + 1) * sizeof(wchar_t);
  *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (*id == nullptr) return E_OUTOFMEMORY;
  std::memcpy(*id, name_.c_str(), bytes);
  return S_OK;
}

STDMETHODIMP CBasePin::QueryAccept(const AM_MEDIA_TYPE* type) {
  return GuardCom([&]() -> HRESULT {
    if (type == nullptr) return E_POINTER;
    return CheckMediaType(type) == S_OK ? S_OK : S_FALSE;
  });
}

STDMETHODIMP CBasePin::EnumMediaTypes(IEnumMediaTypes** types) {
  return GuardCom([&]() -> HRESULT {
    if (types == nullptr) return E_POINTER;
    *types = new CEnumMediaTypes(this);
    return S_OK;
  });
}

STDMETHODIMP CBasePin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

STDMETHODIMP CBasePin::EndOfStream() { return S_OK; }

STDMETHODIMP CBasePin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

// Quality messages travel upstream; nothing sends them to a pin that has no output.
STDMETHODIMP CBasePin::Notify(IBaseFilter*, Quality) { return E_NOTIMPL; }

STDMETHODIMP CBasePin::SetSink(IQualityControl* sink) {
  qualitySink_ = sink;
  return S_OK;
}

HRESULT CBasePin::GetMediaType(int, AM_MEDIA_TYPE*) { return VFW_S_NO_MORE_ITEMS; }

HRESULT CBasePin::CheckConnect(IPin* pin) {
  PIN_DIRECTION other;
  const HRESULT hr = pin->QueryDirection(&other);
  if (FAILED(hr)) return hr;
  return other == direction_ ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::SetMediaType(const AM_MEDIA_TYPE* type) { return type_.Set(*type); }

HRESULT CBasePin::CompleteConnect(IPin*) { return S_OK; }

HRESULT CBasePin::BreakConnect() { return S_OK; }

bool CBasePin::IsConnected() const {
  std::lock_guard lock(filter_->StateLock());
  return connected_ != nullptr;
}

}  // namespace pixora::dshow
