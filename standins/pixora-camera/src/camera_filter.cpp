#include "camera_filter.h"

#include "com_guard.h"
#include "dll_module.h"
#include "empty_pin_enum.h"

#include <vfwmsgs.h>

#include <algorithm>
#include <iterator>

namespace pixora {

using Microsoft::WRL::ComPtr;

CCameraFilter::CCameraFilter(REFCLSID clsid, std::unique_ptr<CCameraDevice> device)
    : clsid_(clsid), device_(std::move(device)) {
  ModuleAddRef();
}

CCameraFilter::~CCameraFilter() { ModuleRelease(); }

STDMETHODIMP CCameraFilter::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IUnknown || riid == IID_IPersist || riid == IID_IMediaFilter ||
      riid == IID_IBaseFilter) {
    *object = static_cast<IBaseFilter*>(this);
  } else if (riid == IID_IKsPropertySet) {
    *object = static_cast<IKsPropertySet*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CCameraFilter::AddRef() { return ++references_; }

STDMETHODIMP_(ULONG) CCameraFilter::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP CCameraFilter::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = clsid_;
  return S_OK;
}

HRESULT CCameraFilter::SetState(FILTER_STATE state) {
  return GuardCom([&] {
    std::lock_guard guard(stateLock_);
    state_ = state;
    return S_OK;
  });
}

STDMETHODIMP CCameraFilter::Stop() { return SetState(State_Stopped); }
STDMETHODIMP CCameraFilter::Pause() { return SetState(State_Paused); }
STDMETHODIMP CCameraFilter::Run(REFERENCE_TIME) { return SetState(State_Running); }

STDMETHODIMP CCameraFilter::GetState(DWORD, FILTER_STATE* state) {
  return GuardCom([&] {
    if (!state) return E_POINTER;
    std::lock_guard guard(stateLock_);
    *state = state_;
    return S_OK;
  });
}

STDMETHODIMP CCameraFilter::SetSyncSource(IReferenceClock* clock) {
  return GuardCom([&] {
    std::lock_guard guard(stateLock_);
    clock_ = clock;
    return S_OK;
  });
}

STDMETHODIMP CCameraFilter::GetSyncSource(IReferenceClock** clock) {
  return GuardCom([&] {
    if (!clock) return E_POINTER;
    std::lock_guard guard(stateLock_);
    ComPtr<IReferenceClock> copy = clock_;
    *clock = copy.Detach();
    return S_OK;
  });
}

STDMETHODIMP CCameraFilter::EnumPins(IEnumPins** pins) {
  return GuardCom([&] {
    if (!pins) return E_POINTER;
    *pins = nullptr;
    ComPtr<IEnumPins> enumerator;
    enumerator.Attach(new CEmptyPinEnum());
    *pins = enumerator.Detach();
    return S_OK;
  });
}

STDMETHODIMP CCameraFilter::FindPin(LPCWSTR, IPin** pin) {
  if (!pin) return E_POINTER;
  *pin = nullptr;
  return VFW_E_NOT_FOUND;
}

STDMETHODIMP CCameraFilter::QueryFilterInfo(FILTER_INFO* info) {
  return GuardCom([&] {
    if (!info) return E_POINTER;
    std::lock_guard guard(stateLock_);
    const size_t length = std::min(name_.size(), std::size(info->achName) - 1);
    std::copy_n(name_.c_str(), length, info->achName);
    info->achName[length] = L'\0';
    ComPtr<IFilterGraph> graph = graph_;
    info->pGraph = graph.Detach();
    return S_OK;
  });
}

STDMETHODIMP CCameraFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  return GuardCom([&] {
    std::lock_guard guard(stateLock_);
    graph_ = graph;
    name_ = name ? name : L"";
    return S_OK;
  });
}

STDMETHODIMP CCameraFilter::QueryVendorInfo(LPWSTR* info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

// The set's properties take no instance data, so instance buffers are ignored.
STDMETHODIMP CCameraFilter::Set(REFGUID set, DWORD id, void*, DWORD, void* data,
                                DWORD dataSize) {
  return GuardCom([&] {
    return device_ ? device_->Set(set, id, data, dataSize) : E_PROP_SET_UNSUPPORTED;
  });
}

STDMETHODIMP CCameraFilter::Get(REFGUID set, DWORD id, void*, DWORD, void* data,
                                DWORD dataSize, DWORD* returned) {
  return GuardCom([&] {
    if (returned) *returned = 0;
    return device_ ? device_->Get(set, id, data, dataSize, returned) : E_PROP_SET_UNSUPPORTED;
  });
}

STDMETHODIMP CCameraFilter::QuerySupported(REFGUID set, DWORD id, DWORD* support) {
  return GuardCom([&] {
    if (!device_) {
      if (support) *support = 0;
      return E_PROP_SET_UNSUPPORTED;
    }
    return device_->QuerySupported(set, id, support);
  });
}

}  // namespace pixora
