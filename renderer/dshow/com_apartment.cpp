#include "com_apartment.h"

#include <objbase.h>

namespace pixora::dshow {

CComApartment::CComApartment() {
  const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  joined_ = SUCCEEDED(hr);
  result_ = (SUCCEEDED(hr) || hr == RPC_E_CHANGED_MODE) ? S_OK : hr;
}

CComApartment::~CComApartment() {
  if (joined_) CoUninitialize();
}

}  // namespace pixora::dshow
