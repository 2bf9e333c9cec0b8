#pragma once

#include <strmif.h>

#include <atomic>

namespace pixora {

// A pin enumerator over no pins, for a filter that has none. Any thread (stateless).
class CEmptyPinEnum final : public IEnumPins {
 public:
  CEmptyPinEnum();
  CEmptyPinEnum(const CEmptyPinEnum&) = delete;
  CEmptyPinEnum& operator=(const CEmptyPinEnum&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumPins** clone) override;

 private:
  ~CEmptyPinEnum();

  std::atomic<ULONG> references_{1};
};

}  // namespace pixora
