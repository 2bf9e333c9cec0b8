// Joins the calling thread to a COM apartment for the holder's life, or uses the one the
// thread is already in. One thread: the one that made it.
#pragma once

#include <objbase.h>

namespace pixora {

class CComApartment {
 public:
  CComApartment() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    joined_ = SUCCEEDED(hr);
    result_ = (SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE) ? S_OK : hr;
  }
  ~CComApartment() {
    if (joined_) CoUninitialize();
  }
  CComApartment(const CComApartment&) = delete;
  CComApartment& operator=(const CComApartment&) = delete;

  // S_OK also when the thread already was in an apartment of either kind.
  HRESULT Result() const { return result_; }

 private:
  HRESULT result_;
  bool joined_ = false;
};

}  // namespace pixora
