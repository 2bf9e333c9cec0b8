#pragma once

#include <unknwn.h>

#include <atomic>

namespace pixora {

// Makes the capture filter of one of the two devices. Any thread (only atomics).
class CCameraClassFactory final : public IClassFactory {
 public:
  explicit CCameraClassFactory(REFCLSID clsid);
  CCameraClassFactory(const CCameraClassFactory&) = delete;
  CCameraClassFactory& operator=(const CCameraClassFactory&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  ~CCameraClassFactory();

  std::atomic<ULONG> references_{1};
  const CLSID clsid_;
};

}  // namespace pixora
