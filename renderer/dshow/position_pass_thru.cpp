#include "position_pass_thru.h"

#include <oleauto.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <cmath>

#include "com_guard.h"

namespace pixora::dshow {
namespace {

using Microsoft::WRL::ComPtr;

constexpr double kUnitsPerSecond = 10'000'000.0;
// OLE Automation's booleans, as IMediaPosition answers them.
constexpr LONG kAutomationTrue = -1;
constexpr LONG kAutomationFalse = 0;

LONGLONG ToUnits(REFTIME seconds) { return std::llround(seconds * kUnitsPerSecond); }
REFTIME ToSeconds(LONGLONG units) { return static_cast<double>(units) / kUnitsPerSecond; }

}  // namespace

CRendererPosPassThru::CRendererPosPassThru(IUnknown* owner, IPin* inputPin)
    : owner_(owner), inputPin_(inputPin) {}

HRESULT CRendererPosPassThru::Upstream(ComPtr<IMediaSeeking>* seeking) {
  ComPtr<IPin> connected;
  if (FAILED(inputPin_->ConnectedTo(&connected)) || !connected) return VFW_E_NOT_CONNECTED;
  return SUCCEEDED(connected.As(seeking)) ? S_OK : E_NOTIMPL;
}

STDMETHODIMP CRendererPosPassThru::GetCapabilities(DWORD* capabilities) {
  return Forward([&](IMediaSeeking* upstream) { return upstream->GetCapabilities(capabilities); });
}
STDMETHODIMP CRendererPosPassThru::CheckCapabilities(DWORD* capabilities) {
  return Forward(
      [&](IMediaSeeking* upstream) { return upstream->CheckCapabilities(capabilities); });
}
STDMETHODIMP CRendererPosPassThru::IsFormatSupported(const GUID* format) {
  return Forward([&](IMediaSeeking* upstream) { return upstream->IsFormatSupported(format); });
}
STDMETHODIMP CRendererPosPassThru::QueryPreferredFormat(GUID* format) {
  return Forward([&](IMediaSeeking* upstream) { return upstream->QueryPreferredFormat(format); });
}
STDMETHODIMP CRendererPosPassThru::GetTimeFormat(GUID* format) {
  return Forward([&](IMediaSeeking* upstream) { return upstream->GetTimeFormat(format); });
}
STDMETHODIMP CRendererPosPassThru::IsUsingTimeFormat(const GUID* format) {
  return Forward([&](IMediaSeeking* upstream) { return upstream->IsUsingTimeFormat(format); });
}
STDMETHODIMP CRendererPosPassThru::SetTimeFormat(const GUID* format) {
  return Forward([&](IMediaSeeking* upstream) { return upstream->SetTimeFormat(format); });
}
STDMETHODIMP CRendererPosPassThru::GetDuration(LONGLONG* duration) {
  return Forward([&](IMediaSeeking* upstream) { return upstream->GetDuration(duration); });
}
STDMETHODIMP CRendererPosPassThru::GetStopPosition(LONGLONG* stop) {
  return Forward([&](IMediaSeeking* upstream) { return upstream->GetStopPosition(stop); });
}
STDMETHODIMP CRendererPosPassThru::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat,
                                                     LONGLONG source, const GUID* sourceFormat) {
  return Forward([&](IMediaSeeking* upstream) {
    return upstream->ConvertTimeFormat(target, targetFormat, source, sourceFormat);
  });
}
STDMETHODIMP CRendererPosPassThru::SetPositions(LONGLONG* current, DWORD currentFlags,
                                                LONGLONG* stop, DWORD stopFlags) {
  return Forward([&](IMediaSeeking* upstream) {
    return upstream->SetPositions(current, currentFlags, stop, stopFlags);
  });
}
STDMETHODIMP CRendererPosPassThru::GetPositions(LONGLONG* current, LONGLONG* stop) {
  return Forward([&](IMediaSeeking* upstream) { return upstream->GetPositions(current, stop); });
}
STDMETHODIMP CRendererPosPassThru::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
  return Forward([&](IMediaSeeking* upstream) { return upstream->GetAvailable(earliest, latest); });
}
STDMETHODIMP CRendererPosPassThru::SetRate(double rate) {
  return Forward([&](IMediaSeeking* upstream) { return upstream->SetRate(rate); });
}
STDMETHODIMP CRendererPosPassThru::GetRate(double* rate) {
  return Forward([&](IMediaSeeking* upstream) { return upstream->GetRate(rate); });
}
STDMETHODIMP CRendererPosPassThru::GetPreroll(LONGLONG* preroll) {
  return Forward([&](IMediaSeeking* upstream) { return upstream->GetPreroll(preroll); });
}

STDMETHODIMP CRendererPosPassThru::GetCurrentPosition(LONGLONG* current) {
  return GuardCom([&]() -> HRESULT {
    if (current == nullptr) return E_POINTER;
    ComPtr<IMediaSeeking> upstream;
    const HRESULT found = Upstream(&upstream);
    if (FAILED(found)) return found;
    // The rendered sample's time is media time; other formats are the upstream filter's.
    if (upstream->IsUsingTimeFormat(&TIME_FORMAT_MEDIA_TIME) == S_OK) {
      std::lock_guard lock(positionLock_);
      if (rendered_) {
        *current = segmentStart_ + std::llround(static_cast<double>(renderedStart_) * segmentRate_);
        return S_OK;
      }
    }
    return upstream->GetCurrentPosition(current);
  });
}

void CRendererPosPassThru::RegisterRenderedTime(REFERENCE_TIME sampleStart) {
  std::lock_guard lock(positionLock_);
  rendered_ = true;
  renderedStart_ = sampleStart;
}

void CRendererPosPassThru::NewSegment(REFERENCE_TIME start, double rate) {
  std::lock_guard lock(positionLock_);
  segmentStart_ = start;
  segmentRate_ = rate;
  rendered_ = false;
}

void CRendererPosPassThru::ResetRenderedTime() {
  std::lock_guard lock(positionLock_);
  rendered_ = false;
}

ITypeInfo* CRendererPosPassThru::TypeInfo() {
  std::call_once(typeInfoOnce_, [this] {
    ComPtr<ITypeLib> library;
    if (SUCCEEDED(LoadRegTypeLib(LIBID_QuartzTypeLib, 1, 0, LOCALE_SYSTEM_DEFAULT, &library))) {
      library->GetTypeInfoOfGuid(IID_IMediaPosition, &typeInfo_);
    }
  });
  return typeInfo_.Get();
}

STDMETHODIMP CRendererPosPassThru::GetTypeInfoCount(UINT* count) {
  return GuardCom([&]() -> HRESULT {
    if (count == nullptr) return E_POINTER;
    *count = TypeInfo() != nullptr ? 1 : 0;
    return S_OK;
  });
}

STDMETHODIMP CRendererPosPassThru::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  return GuardCom([&]() -> HRESULT {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    ITypeInfo* typeInfo = TypeInfo();
    if (typeInfo == nullptr) return E_NOTIMPL;
    *info = typeInfo;
    typeInfo->AddRef();
    return S_OK;
  });
}

STDMETHODIMP CRendererPosPassThru::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                                 DISPID* ids) {
  return GuardCom([&]() -> HRESULT {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* typeInfo = TypeInfo();
    if (typeInfo == nullptr) return E_NOTIMPL;
    return DispGetIDsOfNames(typeInfo, names, count, ids);
  });
}

STDMETHODIMP CRendererPosPassThru::Invoke(DISPID id, REFIID riid, LCID, WORD flags,
                                          DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                          UINT* argError) {
  return GuardCom([&]() -> HRESULT {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* typeInfo = TypeInfo();
    if (typeInfo == nullptr) return E_NOTIMPL;
    return DispInvoke(static_cast<IMediaPosition*>(this), typeInfo, id, flags, params, result,
                      exception, argError);
  });
}

STDMETHODIMP CRendererPosPassThru::get_Duration(REFTIME* length) {
  if (length == nullptr) return E_POINTER;
  LONGLONG units = 0;
  const HRESULT hr = GetDuration(&units);
  if (SUCCEEDED(hr)) *length = ToSeconds(units);
  return hr;
}

STDMETHODIMP CRendererPosPassThru::put_CurrentPosition(REFTIME time) {
  LONGLONG units = ToUnits(time);
  return SetPositions(&units, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
}

STDMETHODIMP CRendererPosPassThru::get_CurrentPosition(REFTIME* time) {
  if (time == nullptr) return E_POINTER;
  LONGLONG units = 0;
  const HRESULT hr = GetCurrentPosition(&units);
  if (SUCCEEDED(hr)) *time = ToSeconds(units);
  return hr;
}

STDMETHODIMP CRendererPosPassThru::get_StopTime(REFTIME* time) {
  if (time == nullptr) return E_POINTER;
  LONGLONG units = 0;
  const HRESULT hr = GetStopPosition(&units);
  if (SUCCEEDED(hr)) *time = ToSeconds(units);
  return hr;
}

STDMETHODIMP CRendererPosPassThru::put_StopTime(REFTIME time) {
  LONGLONG units = ToUnits(time);
  return SetPositions(nullptr, AM_SEEKING_NoPositioning, &units, AM_SEEKING_AbsolutePositioning);
}

STDMETHODIMP CRendererPosPassThru::get_PrerollTime(REFTIME* time) {
  if (time == nullptr) return E_POINTER;
  LONGLONG units = 0;
  const HRESULT hr = GetPreroll(&units);
  if (SUCCEEDED(hr)) *time = ToSeconds(units);
  return hr;
}

// IMediaSeeking has no way to set a preroll.
STDMETHODIMP CRendererPosPassThru::put_PrerollTime(REFTIME) { return E_NOTIMPL; }

STDMETHODIMP CRendererPosPassThru::put_Rate(double rate) { return SetRate(rate); }

STDMETHODIMP CRendererPosPassThru::get_Rate(double* rate) { return GetRate(rate); }

STDMETHODIMP CRendererPosPassThru::CanSeekForward(LONG* can) {
  if (can == nullptr) return E_POINTER;
  DWORD wanted = AM_SEEKING_CanSeekForwards;
  const HRESULT hr = CheckCapabilities(&wanted);
  *can = hr == S_OK ? kAutomationTrue : kAutomationFalse;
  return FAILED(hr) ? hr : S_OK;
}

STDMETHODIMP CRendererPosPassThru::CanSeekBackward(LONG* can) {
  if (can == nullptr) return E_POINTER;
  DWORD wanted = AM_SEEKING_CanSeekBackwards;
  const HRESULT hr = CheckCapabilities(&wanted);
  *can = hr == S_OK ? kAutomationTrue : kAutomationFalse;
  return FAILED(hr) ? hr : S_OK;
}

}  // namespace pixora::dshow
