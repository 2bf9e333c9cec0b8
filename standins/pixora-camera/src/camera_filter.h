#pragma once

#include "camera_device.h"

#include <strmif.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace pixora {

// The capture filter of a camera device: a pinless IBaseFilter with the device's
// IKsPropertySet; the Lite variant (no device) supports no property set. Any thread:
// stateLock_ guards the filter state, graph, name and clock; the device locks itself.
class CCameraFilter final : public IBaseFilter, public IKsPropertySet {
 public:
  // device: null for the Lite variant.
  CCameraFilter(REFCLSID clsid, std::unique_ptr<CCameraDevice> device);
  CCameraFilter(const CCameraFilter&) = delete;
  CCameraFilter& operator=(const CCameraFilter&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP GetClassID(CLSID* clsid) override;

  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;

  STDMETHODIMP EnumPins(IEnumPins** pins) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;

  STDMETHODIMP Set(REFGUID set, DWORD id, void* instance, DWORD instanceSize, void* data,
                   DWORD dataSize) override;
  STDMETHODIMP Get(REFGUID set, DWORD id, void* instance, DWORD instanceSize, void* data,
                   DWORD dataSize, DWORD* returned) override;
  STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

 private:
  ~CCameraFilter();
  HRESULT SetState(FILTER_STATE state);

  std::atomic<ULONG> references_{1};
  const CLSID clsid_;
  const std::unique_ptr<CCameraDevice> device_;

  std::mutex stateLock_;
  FILTER_STATE state_ = State_Stopped;
  // The graph owns the filter, so the filter must not hold a reference back to it.
  IFilterGraph* graph_ = nullptr;
  std::wstring name_;
  Microsoft::WRL::ComPtr<IReferenceClock> clock_;
};

}  // namespace pixora
