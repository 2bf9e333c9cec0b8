#pragma once

#include <windows.h>

namespace pixora {

// Joins the calling thread to a COM apartment for the holder's lifetime, or uses the one the
// thread is already in. One thread (the one that made it).
class CComApartment {
 public:
  CComApartment();
  ~CComApartment();
  CComApartment(const CComApartment&) = delete;
  CComApartment& operator=(const CComApartment&) = delete;

  // S_OK also when the thread was already in an apartment of either kind.
  HRESULT Result() const { return result_; }

 private:
  HRESULT result_;
  bool joined_ = false;
};

}  // namespace pixora
