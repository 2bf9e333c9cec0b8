#include "base_filter.h"

#include <control.h>
#include <evcode.h>
#include <objbase.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <cwchar>

#include "base_pin.h"
#include "com_guard.h"
#include "enum_pins.h"
#include "server_registration.h"

namespace pixora::dshow {

CBaseFilter::CBaseFilter(IUnknown* outer, REFCLSID clsid, const FilterSetup* setup)
    : CUnknown(outer), clsid_(clsid), setup_(setup) {}

STDMETHODIMP CBaseFilter::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IBaseFilter || riid == IID_IMediaFilter || riid == IID_IPersist) {
    return GetInterface(static_cast<IBaseFilter*>(this), object);
  }
  if (riid == IID_IAMovieSetup) return GetInterface(static_cast<IAMovieSetup*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(riid, object);
}

STDMETHODIMP CBaseFilter::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = clsid_;
  return S_OK;
}

STDMETHODIMP CBaseFilter::Stop() {
  return GuardCom([&]() -> HRESULT {
    std::lock_guard lock(stateLock_);
    HRESULT result = S_OK;
    if (state_ != State_Stopped) {
      for (int i = 0; i < GetPinCount(); ++i) {
        CBasePin* pin = GetPin(i);
        if (pin->IsConnected()) {
          const HRESULT hr = pin->Inactive();
          if (FAILED(hr) && SUCCEEDED(result)) result = hr;
        }
      }
    }
    SetState(State_Stopped);
    return result;
  });
}

STDMETHODIMP CBaseFilter::Pause() {
  return GuardCom([&]() -> HRESULT {
    std::lock_guard lock(stateLock_);
    if (state_ == State_Stopped) {
      for (int i = 0; i < GetPinCount(); ++i) {
        CBasePin* pin = GetPin(i);
        if (pin->IsConnected()) {
          const HRESULT hr = pin->Active();
          if (FAILED(hr)) return hr;
        }
      }
    }
    SetState(State_Paused);
    return S_OK;
  });
}

STDMETHODIMP CBaseFilter::Run(REFERENCE_TIME start) {
  return GuardCom([&]() -> HRESULT {
    std::lock_guard lock(stateLock_);
    {
      std::lock_guard stream(streamLock_);
      start_ = start;
    }
    if (state_ == State_Stopped) {
      const HRESULT hr = Pause();
      if (FAILED(hr)) return hr;
    }
    if (state_ != State_Running) {
      for (int i = 0; i < GetPinCount(); ++i) {
        CBasePin* pin = GetPin(i);
        if (pin->IsConnected()) {
          const HRESULT hr = pin->Run(start);
          if (FAILED(hr)) return hr;
        }
      }
    }
    SetState(State_Running);
    return S_OK;
  });
}

void CBaseFilter::SetState(FILTER_STATE state) {
  std::lock_guard stream(streamLock_);
  state_ = state;
}

STDMETHODIMP CBaseFilter::GetState(DWORD, FILTER_STATE* state) {
  if (state == nullptr) return E_POINTER;
  *state = state_;
  return S_OK;
}

STDMETHODIMP CBaseFilter::SetSyncSource(IReferenceClock* clock) {
  return GuardCom([&]() -> HRESULT {
    std::lock_guard lock(stateLock_);
    std::lock_guard stream(streamLock_);
    clock_ = clock;
    return S_OK;
  });
}

STDMETHODIMP CBaseFilter::GetSyncSource(IReferenceClock** clock) {
  return GuardCom([&]() -> HRESULT {
    if (clock == nullptr) return E_POINTER;
    std::lock_guard lock(stateLock_);
    *clock = clock_.Get();
    if (*clock != nullptr) (*clock)->AddRef();
    return S_OK;
  });
}

STDMETHODIMP CBaseFilter::EnumPins(IEnumPins** pins) {
  return GuardCom([&]() -> HRESULT {
    if (pins == nullptr) return E_POINTER;
    *pins = new CEnumPins(this);
    return S_OK;
  });
}

STDMETHODIMP CBaseFilter::FindPin(LPCWSTR id, IPin** pin) {
  return GuardCom([&]() -> HRESULT {
    if (id == nullptr || pin == nullptr) return E_POINTER;
    *pin = nullptr;
    std::lock_guard lock(stateLock_);
    for (int i = 0; i < GetPinCount(); ++i) {
      CBasePin* candidate = GetPin(i);
      if (std::wcscmp(candidate->Name(), id) == 0) {
        *pin = candidate;
        candidate->AddRef();
        return S_OK;
      }
    }
    return VFW_E_NOT_FOUND;
  });
}

STDMETHODIMP CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
  return GuardCom([&]() -> HRESULT {
    if (info == nullptr) return E_POINTER;
    std::lock_guard lock(graphLock_);
    const size_t capacity = sizeof(info->achName) / sizeof(info->achName[0]);
    const size_t length = std::min(name_.size(), capacity - 1);
    name_.copy(info->achName, length);
    info->achName[length] = L'\0';
    info->pGraph = graph_;
    if (graph_ != nullptr) graph_->AddRef();
    return S_OK;
  });
}

STDMETHODIMP CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  return GuardCom([&]() -> HRESULT {
    std::lock_guard lock(graphLock_);
    name_ = (graph != nullptr && name != nullptr) ? name : L"";
    graph_ = graph;
    eventSink_ = nullptr;
    if (graph_ != nullptr) {
      IMediaEventSink* sink = nullptr;
      if (SUCCEEDED(graph_->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink)))) {
        // Kept without a reference: the sink is the graph itself.
        eventSink_ = sink;
        sink->Release();
      }
    }
    return S_OK;
  });
}

STDMETHODIMP CBaseFilter::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }

STDMETHODIMP CBaseFilter::Register() {
  if (setup_ == nullptr) return S_FALSE;
  return GuardCom([&] { return RegisterFilterSetup(*setup_, true); });
}

STDMETHODIMP CBaseFilter::Unregister() {
  if (setup_ == nullptr) return S_FALSE;
  return GuardCom([&] { return RegisterFilterSetup(*setup_, false); });
}

HRESULT CBaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
  IMediaEventSink* sink = nullptr;
  {
    std::lock_guard lock(graphLock_);
    sink = eventSink_;
  }
  if (sink == nullptr) return E_NOTIMPL;
  if (code == EC_COMPLETE && param2 == 0) {
    param2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
  }
  return sink->Notify(code, param1, param2);
}

}  // namespace pixora::dshow
