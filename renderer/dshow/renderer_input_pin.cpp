#include "renderer_input_pin.h"

#include "base_renderer.h"
#include "com_guard.h"

namespace pixora::dshow {

CRendererInputPin::CRendererInputPin(CBaseRenderer* renderer)
    : CBaseInputPin(renderer, L"In"), renderer_(renderer) {}

STDMETHODIMP CRendererInputPin::Receive(IMediaSample* sample) {
  return GuardCom([&] {
    const HRESULT hr = CBaseInputPin::Receive(sample);
    return hr == S_OK ? renderer_->Receive(sample) : hr;
  });
}

STDMETHODIMP CRendererInputPin::EndOfStream() {
  return GuardCom([&] { return renderer_->EndOfStream(); });
}

STDMETHODIMP CRendererInputPin::BeginFlush() {
  CBaseInputPin::BeginFlush();
  return GuardCom([&] { return renderer_->BeginFlush(); });
}

STDMETHODIMP CRendererInputPin::EndFlush() {
  const HRESULT hr = GuardCom([&] { return renderer_->EndFlush(); });
  CBaseInputPin::EndFlush();
  return hr;
}

STDMETHODIMP CRendererInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  return GuardCom([&] { return renderer_->NewSegment(start, stop, rate); });
}

HRESULT CRendererInputPin::CheckMediaType(const AM_MEDIA_TYPE* type) {
  return renderer_->CheckMediaType(type);
}

HRESULT CRendererInputPin::CompleteConnect(IPin* receivePin) {
  const HRESULT hr = CBaseInputPin::CompleteConnect(receivePin);
  return FAILED(hr) ? hr : renderer_->CompleteConnect(receivePin);
}

HRESULT CRendererInputPin::BreakConnect() {
  renderer_->BreakConnect();
  return CBaseInputPin::BreakConnect();
}

}  // namespace pixora::dshow
