#include "media_type.h"

#include <objbase.h>

#include <cstring>

namespace pixora::dshow {

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE& source) {
  *target = source;
  target->pbFormat = nullptr;
  target->pUnk = nullptr;
  if (source.cbFormat != 0) {
    if (source.pbFormat == nullptr) {
      target->cbFormat = 0;
      return E_POINTER;
    }
    target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source.cbFormat));
    if (target->pbFormat == nullptr) {
      target->cbFormat = 0;
      return E_OUTOFMEMORY;
    }
    std::memcpy(target->pbFormat, source.pbFormat, source.cbFormat);
  }
  if (source.pUnk != nullptr) {
    target->pUnk = source.pUnk;
    target->pUnk->AddRef();
  }
  return S_OK;
}

void FreeMediaType(AM_MEDIA_TYPE& type) {
  CoTaskMemFree(type.pbFormat);
  type.pbFormat = nullptr;
  type.cbFormat = 0;
  if (type.pUnk != nullptr) {
    type.pUnk->Release();
    type.pUnk = nullptr;
  }
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE& source) {
  auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (type == nullptr) return nullptr;
  if (FAILED(CopyMediaType(type, source))) {
    CoTaskMemFree(type);
    return nullptr;
  }
  return type;
}

void DeleteMediaType(AM_MEDIA_TYPE* type) {
  if (type == nullptr) return;
  FreeMediaType(*type);
  CoTaskMemFree(type);
}

MediaType::MediaType() { std::memset(&type_, 0, sizeof(type_)); }

HRESULT MediaType::Set(const AM_MEDIA_TYPE& source) {
  Clear();
  const HRESULT hr = CopyMediaType(&type_, source);
  if (FAILED(hr)) Clear();
  return hr;
}

void MediaType::Clear() {
  FreeMediaType(type_);
  std::memset(&type_, 0, sizeof(type_));
}

AM_MEDIA_TYPE* MediaType::Receive() {
  Clear();
  return &type_;
}

}  // namespace pixora::dshow
