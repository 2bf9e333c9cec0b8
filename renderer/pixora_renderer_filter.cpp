#include "pixora_renderer_filter.h"

#include <objbase.h>
#include <vfwmsgs.h>

#include "com_guard.h"
#include "filter_setup.h"

namespace pixora {

dshow::INonDelegatingUnknown* PixoraRenderer::CreateInstance(IUnknown* outer, HRESULT* result) {
  dshow::INonDelegatingUnknown* made = nullptr;
  *result = GuardCom([&] {
    made = new PixoraRenderer(outer);
    return S_OK;
  });
  return made;
}

// The link looks for the device now; without one the filter renders into nothing.
PixoraRenderer::PixoraRenderer(IUnknown* outer)
    : CBaseRenderer(outer, CLSID_PixoraRenderer, &kPixoraRendererSetup) {}

STDMETHODIMP PixoraRenderer::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IPixoraRenderer) {
    return GuardCom([&] {
      if (!link_.HasDevice()) return E_FAIL;
      return GetInterface(static_cast<IPixoraRenderer*>(this), object);
    });
  }
  if (riid == IID_ISpecifyPropertyPages) {
    return GetInterface(static_cast<ISpecifyPropertyPages*>(this), object);
  }
  return CBaseRenderer::NonDelegatingQueryInterface(riid, object);
}

STDMETHODIMP PixoraRenderer::GetPages(CAUUID* pages) {
  if (pages == nullptr) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
  if (pages->pElems == nullptr) return E_OUTOFMEMORY;
  pages->pElems[0] = CLSID_PixoraRendererPropertyPage;
  pages->cElems = 1;
  return S_OK;
}

HRESULT PixoraRenderer::CheckMediaType(const AM_MEDIA_TYPE* type) {
  if (type == nullptr) return E_POINTER;
  const HRESULT hr = CheckVideoMediaType(*type);
  if (hr != S_OK) return hr;
  VideoFormat described;
  CaptureVideoFormat(*type, &described);
  std::lock_guard lock(formatLock_);
  // The format is fixed for the connection: frames of another would reach the device
  // described wrongly.
  return formatFixed_ && described != format_ ? VFW_E_TYPE_NOT_ACCEPTED : S_OK;
}

HRESULT PixoraRenderer::CompleteConnect(IPin* receivePin) {
  dshow::MediaType connection;
  if (SUCCEEDED(InputPin()->ConnectionMediaType(connection.Receive()))) {
    std::lock_guard lock(formatLock_);
    CaptureVideoFormat(connection.Get(), &format_);
    formatFixed_ = true;
  }
  return CBaseRenderer::CompleteConnect(receivePin);
}

HRESULT PixoraRenderer::BreakConnect() {
  {
    std::lock_guard lock(formatLock_);
    formatFixed_ = false;
  }
  return CBaseRenderer::BreakConnect();
}

HRESULT PixoraRenderer::DoRenderSample(IMediaSample* sample) {
  if (sample == nullptr) return E_POINTER;
  VideoFormat format;
  {
    std::lock_guard lock(formatLock_);
    format = format_;
  }
  if (format.width <= 0 || format.height == 0 || format.stride < 1) return S_OK;
  BYTE* data = nullptr;
  if (FAILED(sample->GetPointer(&data)) || data == nullptr) return S_OK;
  const long length = sample->GetActualDataLength();
  if (length <= 0 || length < FrameBytesOf(format)) return S_OK;
  // The device's answer stays inside: a refused frame must not stop the graph.
  link_.DeliverFrame(data, format.width, format.height, format.stride, format.pixelType);
  return S_OK;
}

}  // namespace pixora
