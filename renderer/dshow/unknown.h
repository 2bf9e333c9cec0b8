// The inner unknown of an object that may be aggregated, and the base that carries it.
// Any thread: the reference count is atomic; nothing else is shared.
#pragma once

#include <unknwn.h>

#include <atomic>

#include "module_state.h"

namespace pixora::dshow {

// The object's own identity and reference count, whichever object aggregates it. Its
// first three slots match IUnknown's, so an outer object holds it as its inner IUnknown.
struct INonDelegatingUnknown {
  virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;

 protected:
  ~INonDelegatingUnknown() = default;
};

// Derived classes answer their interfaces in NonDelegatingQueryInterface and forward
// every IUnknown method of those interfaces to Owner().
class CUnknown : public INonDelegatingUnknown, private CBaseObject {
 public:
  // outer: the controlling unknown when aggregated, else null.
  explicit CUnknown(IUnknown* outer);
  virtual ~CUnknown() = default;

  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
  ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

  // The controlling unknown: the outer object, or this object's own inner unknown.
  IUnknown* Owner() const { return owner_; }

 protected:
  // Hands out `face` with one reference taken through it.
  static HRESULT GetInterface(IUnknown* face, void** object);

 private:
  IUnknown* const owner_;
  std::atomic<ULONG> references_{0};
};

}  // namespace pixora::dshow
