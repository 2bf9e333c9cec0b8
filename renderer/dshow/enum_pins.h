// Enumerates a filter's pins. One thread at a time per enumerator (COM's rule for
// enumerators); the filter's pin version tells it when the pins changed under it.
#pragma once

#include <strmif.h>
#include <wrl/client.h>

#include <atomic>

#include "module_state.h"

namespace pixora::dshow {

class CBaseFilter;

class CEnumPins final : public IEnumPins, private CBaseObject {
 public:
  explicit CEnumPins(CBaseFilter* filter, int position = 0);

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumPins** copy) override;

 private:
  ~CEnumPins() = default;
  bool InSync() const;

  Microsoft::WRL::ComPtr<IBaseFilter> keepAlive_;
  CBaseFilter* const filter_;
  int position_;
  LONG version_;
  std::atomic<ULONG> references_{1};
};

}  // namespace pixora::dshow
