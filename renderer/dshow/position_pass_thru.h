// IMediaSeeking and IMediaPosition of a renderer, answered by the filter upstream of its
// input pin; the current position is the last rendered sample's when one is known. Graph
// threads call the interfaces; the streaming thread reports samples and segments;
// positionLock_ guards the rendered position and the segment.
#pragma once

#include <windows.h>
#include <control.h>
#include <strmif.h>
#include <wrl/client.h>

#include <mutex>

#include "module_state.h"

namespace pixora::dshow {

class CRendererPosPassThru final : public IMediaSeeking,
                                   public IMediaPosition,
                                   private CBaseObject {
 public:
  // owner: the renderer's controlling unknown; inputPin: its input pin. Neither is owned:
  // the renderer owns this object.
  CRendererPosPassThru(IUnknown* owner, IPin* inputPin);

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    return owner_->QueryInterface(riid, object);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return owner_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return owner_->Release(); }

  STDMETHODIMP GetCapabilities(DWORD* capabilities) override;
  STDMETHODIMP CheckCapabilities(DWORD* capabilities) override;
  STDMETHODIMP IsFormatSupported(const GUID* format) override;
  STDMETHODIMP QueryPreferredFormat(GUID* format) override;
  STDMETHODIMP GetTimeFormat(GUID* format) override;
  STDMETHODIMP IsUsingTimeFormat(const GUID* format) override;
  STDMETHODIMP SetTimeFormat(const GUID* format) override;
  STDMETHODIMP GetDuration(LONGLONG* duration) override;
  STDMETHODIMP GetStopPosition(LONGLONG* stop) override;
  STDMETHODIMP GetCurrentPosition(LONGLONG* current) override;
  STDMETHODIMP ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                 const GUID* sourceFormat) override;
  STDMETHODIMP SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                            DWORD stopFlags) override;
  STDMETHODIMP GetPositions(LONGLONG* current, LONGLONG* stop) override;
  STDMETHODIMP GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
  STDMETHODIMP SetRate(double rate) override;
  STDMETHODIMP GetRate(double* rate) override;
  STDMETHODIMP GetPreroll(LONGLONG* preroll) override;

  // IDispatch through the system's type library, where it is registered.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID locale,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID locale, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

  // IMediaPosition in seconds, on the upstream filter's IMediaSeeking in media time.
  STDMETHODIMP get_Duration(REFTIME* length) override;
  STDMETHODIMP put_CurrentPosition(REFTIME time) override;
  STDMETHODIMP get_CurrentPosition(REFTIME* time) override;
  STDMETHODIMP get_StopTime(REFTIME* time) override;
  STDMETHODIMP put_StopTime(REFTIME time) override;
  STDMETHODIMP get_PrerollTime(REFTIME* time) override;
  STDMETHODIMP put_PrerollTime(REFTIME time) override;
  STDMETHODIMP put_Rate(double rate) override;
  STDMETHODIMP get_Rate(double* rate) override;
  STDMETHODIMP CanSeekForward(LONG* can) override;
  STDMETHODIMP CanSeekBackward(LONG* can) override;

  // From the renderer: a sample with this start time (stream time) was rendered; a new
  // segment begins; nothing rendered is known any more (stop, flush).
  void RegisterRenderedTime(REFERENCE_TIME sampleStart);
  void NewSegment(REFERENCE_TIME start, double rate);
  void ResetRenderedTime();

 private:
  HRESULT Upstream(Microsoft::WRL::ComPtr<IMediaSeeking>* seeking);
  template <class Call>
  HRESULT Forward(Call call) {
    Microsoft::WRL::ComPtr<IMediaSeeking> upstream;
    const HRESULT found = Upstream(&upstream);
    return FAILED(found) ? found : call(upstream.Get());
  }
  ITypeInfo* TypeInfo();

  IUnknown* const owner_;
  IPin* const inputPin_;

  std::mutex positionLock_;
  bool rendered_ = false;
  REFERENCE_TIME renderedStart_ = 0;
  REFERENCE_TIME segmentStart_ = 0;
  double segmentRate_ = 1.0;

  std::once_flag typeInfoOnce_;
  Microsoft::WRL::ComPtr<ITypeInfo> typeInfo_;
};

}  // namespace pixora::dshow
