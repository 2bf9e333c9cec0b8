#include "base_input_pin.h"

#include <objbase.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include "base_filter.h"
#include "com_guard.h"
#include "media_type.h"

namespace pixora::dshow {

CBaseInputPin::CBaseInputPin(CBaseFilter* filter, const wchar_t* name)
    : CBasePin(filter, name, PINDIR_INPUT) {}

HRESULT CBaseInputPin::QueryPinInterface(REFIID riid, void** object) {
  if (riid == IID_IMemInputPin) {
    *object = static_cast<IMemInputPin*>(this);
    AddRef();
    return S_OK;
  }
  return CBasePin::QueryPinInterface(riid, object);
}

STDMETHODIMP CBaseInputPin::GetAllocator(IMemAllocator** allocator) {
  return GuardCom([&]() -> HRESULT {
    if (allocator == nullptr) return E_POINTER;
    *allocator = nullptr;
    std::lock_guard lock(allocatorLock_);
    if (!allocator_) {
      const HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_PPV_ARGS(&allocator_));
      if (FAILED(hr)) return hr;
    }
    *allocator = allocator_.Get();
    (*allocator)->AddRef();
    return S_OK;
  });
}

STDMETHODIMP CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
  return GuardCom([&]() -> HRESULT {
    if (allocator == nullptr) return E_POINTER;
    std::lock_guard lock(allocatorLock_);
    allocator_ = allocator;
    readOnly_ = readOnly != FALSE;
    return S_OK;
  });
}

STDMETHODIMP CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

STDMETHODIMP CBaseInputPin::Receive(IMediaSample* sample) {
  if (sample == nullptr) return E_POINTER;
  if (flushing_) return S_FALSE;
  if (Filter()->State() == State_Stopped) return VFW_E_WRONG_STATE;
  // A type carried by the sample must still be one this pin takes.
  AM_MEDIA_TYPE* changed = nullptr;
  if (sample->GetMediaType(&changed) == S_OK && changed != nullptr) {
    const HRESULT accepted = GuardCom([&] { return CheckMediaType(changed); });
    DeleteMediaType(changed);
    if (accepted != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return S_OK;
}

STDMETHODIMP CBaseInputPin::ReceiveMultiple(IMediaSample** samples, long count, long* processed) {
  if (samples == nullptr || processed == nullptr) return E_POINTER;
  *processed = 0;
  HRESULT hr = S_OK;
  while (*processed < count) {
    hr = Receive(samples[*processed]);
    if (hr != S_OK) break;
    ++*processed;
  }
  return hr;
}

STDMETHODIMP CBaseInputPin::ReceiveCanBlock() { return S_OK; }

STDMETHODIMP CBaseInputPin::BeginFlush() {
  flushing_ = true;
  return S_OK;
}

STDMETHODIMP CBaseInputPin::EndFlush() {
  flushing_ = false;
  return S_OK;
}

HRESULT CBaseInputPin::Inactive() {
  flushing_ = false;
  Microsoft::WRL::ComPtr<IMemAllocator> allocator;
  {
    std::lock_guard lock(allocatorLock_);
    allocator = allocator_;
  }
  // Decommitting wakes an upstream thread that waits for a buffer.
  return allocator ? allocator->Decommit() : S_OK;
}

HRESULT CBaseInputPin::BreakConnect() {
  std::lock_guard lock(allocatorLock_);
  allocator_.Reset();
  readOnly_ = false;
  return S_OK;
}

}  // namespace pixora::dshow
