// The Pixora renderer filter: the last filter of a host's video graph, which hands every
// sample that is due to the camera link, and the control interface through which hosts
// set up the device and push frames without a graph.
//
// Graph threads connect it and change its state (the base renderer's state lock); the
// upstream streaming thread renders samples (its render lock); hosts call IPixoraRenderer
// on any thread without a filter lock. formatLock_ guards the connected format; while the
// pin is connected, only types of that same format are accepted (QueryAccept, a type
// carried by a sample). The camera link serialises everything that reaches the device.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <mutex>

#include "base_renderer.h"
#include "camera_link.h"
#include "pixora_renderer.h"
#include "video_format.h"

namespace pixora {

class PixoraRenderer final : public dshow::CBaseRenderer,
                             public IPixoraRenderer,
                             public ISpecifyPropertyPages {
 public:
  // The class table's creation function.
  static dshow::INonDelegatingUnknown* CreateInstance(IUnknown* outer, HRESULT* result);

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    return Owner()->QueryInterface(riid, object);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return Owner()->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return Owner()->Release(); }
  // IPixoraRenderer only with a device (else E_FAIL), then ISpecifyPropertyPages, then
  // the base renderer's interfaces.
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** object) override;

  STDMETHODIMP GetPages(CAUUID* pages) override;

  HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT BreakConnect() override;
  HRESULT DoRenderSample(IMediaSample* sample) override;

  STDMETHODIMP SelectDevice(LPCWSTR friendlyName) override;
  STDMETHODIMP SetOutputFormat(LONG width, LONG height, LONG fps) override;
  STDMETHODIMP GetOutputFormat(LONG* width, LONG* height, LONG* fps) override;
  STDMETHODIMP SetFillMode(LONG mode) override;
  STDMETHODIMP GetFillMode(LONG* mode) override;
  STDMETHODIMP SetMirror(LONG enable) override;
  STDMETHODIMP SetFlip(LONG enable) override;
  STDMETHODIMP SetRotate(LONG enable) override;
  STDMETHODIMP SendFrameRGB24(const BYTE* pixels, LONG width, LONG height, LONG stride) override;
  STDMETHODIMP SendFrameRGB32(const BYTE* pixels, LONG width, LONG height, LONG stride) override;
  STDMETHODIMP SendFrameYUY2(const BYTE* pixels, LONG width, LONG height, LONG stride) override;
  STDMETHODIMP SendFrameNV12(const BYTE* pixels, LONG width, LONG height, LONG stride) override;
  STDMETHODIMP SendFrameArray(VARIANT pixels, LONG width, LONG height) override;
  STDMETHODIMP SendScreenRegion(LONG x, LONG y, LONG width, LONG height) override;
  STDMETHODIMP Snapshot(LPCWSTR path) override;

 private:
  explicit PixoraRenderer(IUnknown* outer);
  ~PixoraRenderer() override = default;

  HRESULT SendFrame(const BYTE* pixels, LONG width, LONG height, LONG stride,
                    kernels::PixelType type);

  std::mutex formatLock_;
  VideoFormat format_;
  bool formatFixed_ = false;  // from a completed connection until it breaks
  CCameraLink link_;
};

}  // namespace pixora
