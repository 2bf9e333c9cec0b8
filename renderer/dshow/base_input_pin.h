// An input pin that takes samples through IMemInputPin. Graph threads connect it and
// change its state; the upstream streaming thread calls Receive, EndOfStream and the
// flush methods. allocatorLock_ guards the allocator; the flushing flag is atomic.
#pragma once

#include <strmif.h>
#include <wrl/client.h>

#include <atomic>
#include <mutex>

#include "base_pin.h"

namespace pixora::dshow {

class CBaseInputPin : public CBasePin, public IMemInputPin {
 public:
  CBaseInputPin(CBaseFilter* filter, const wchar_t* name);

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    return CBasePin::QueryInterface(riid, object);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return CBasePin::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return CBasePin::Release(); }

  // Offers a memory allocator of the system's when upstream brings none.
  STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
  STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
  // The checks every input pin makes: S_OK means the sample may be processed.
  STDMETHODIMP Receive(IMediaSample* sample) override;
  // Stops at the first sample not processed with S_OK.
  STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* processed) override;
  STDMETHODIMP ReceiveCanBlock() override;

  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;

  HRESULT Inactive() override;
  HRESULT BreakConnect() override;

  bool IsFlushing() const { return flushing_.load(); }

 protected:
  HRESULT QueryPinInterface(REFIID riid, void** object) override;

 private:
  std::mutex allocatorLock_;
  Microsoft::WRL::ComPtr<IMemAllocator> allocator_;
  bool readOnly_ = false;
  std::atomic<bool> flushing_{false};
};

}  // namespace pixora::dshow
