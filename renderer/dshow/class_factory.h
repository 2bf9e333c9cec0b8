// Makes objects of one class-table entry. Any thread: only atomics and the read-only entry.
#pragma once

#include <unknwn.h>

#include <atomic>

#include "class_template.h"
#include "module_state.h"

namespace pixora::dshow {

class CClassFactory final : public IClassFactory, private CBaseObject {
 public:
  explicit CClassFactory(const ClassTemplate& entry);

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // Aggregation only for IID_IUnknown (E_NOINTERFACE otherwise), as COM requires.
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  ~CClassFactory() = default;

  const ClassTemplate& entry_;
  std::atomic<ULONG> references_{1};
};

}  // namespace pixora::dshow
