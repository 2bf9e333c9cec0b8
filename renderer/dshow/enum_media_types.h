// Enumerates the media types a pin prefers. One thread at a time per enumerator; the
// pin's media-type version tells it when the list changed under it.
#pragma once

#include <strmif.h>
#include <wrl/client.h>

#include <atomic>

#include "module_state.h"

namespace pixora::dshow {

class CBasePin;

class CEnumMediaTypes final : public IEnumMediaTypes, private CBaseObject {
 public:
  explicit CEnumMediaTypes(CBasePin* pin, int position = 0);

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumMediaTypes** copy) override;

 private:
  ~CEnumMediaTypes() = default;
  bool InSync() const;

  Microsoft::WRL::ComPtr<IPin> keepAlive_;
  CBasePin* const pin_;
  int position_;
  LONG version_;
  std::atomic<ULONG> references_{1};
};

}  // namespace pixora::dshow
