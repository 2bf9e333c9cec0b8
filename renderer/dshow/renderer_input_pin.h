// The single input pin "In" of a renderer: hands every connection step and every stream
// call to its renderer. Threads and locks as for CBaseInputPin; the renderer owns the pin.
#pragma once

#include "base_input_pin.h"

namespace pixora::dshow {

class CBaseRenderer;

class CRendererInputPin final : public CBaseInputPin {
 public:
  explicit CRendererInputPin(CBaseRenderer* renderer);

  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT BreakConnect() override;

 private:
  CBaseRenderer* const renderer_;
};

}  // namespace pixora::dshow
