// IPixoraRenderer: each method a thin mapping onto the camera link.
#include <cstdint>

#include "com_guard.h"
#include "pixora_camera_props.h"
#include "pixora_renderer_filter.h"

namespace pixora {

using kernels::PixelType;

STDMETHODIMP PixoraRenderer::SelectDevice(LPCWSTR friendlyName) {
  return GuardCom([&] { return link_.SelectDeviceByName(friendlyName); });
}

STDMETHODIMP PixoraRenderer::SetOutputFormat(LONG width, LONG height, LONG fps) {
  return GuardCom([&] {
    OutputFormat format{width, height, fps};
    return link_.SetDeviceProperty(PIXORA_PROP_OUTPUT_FORMAT, &format, sizeof(format));
  });
}

STDMETHODIMP PixoraRenderer::GetOutputFormat(LONG* width, LONG* height, LONG* fps) {
  return GuardCom([&] {
    OutputFormat format{};
    const HRESULT hr = link_.GetDeviceProperty(PIXORA_PROP_OUTPUT_FORMAT, &format, sizeof(format));
    if (FAILED(hr)) format = {};
    if (width != nullptr) *width = format.width;
    if (height != nullptr) *height = format.height;
    if (fps != nullptr) *fps = format.fps;
    return hr;
  });
}

STDMETHODIMP PixoraRenderer::SetFillMode(LONG mode) {
  return GuardCom([&] {
    if (static_cast<ULONG>(mode) > PIXORA_FILL_STRETCH) return E_FAIL;
    int32_t value = mode;
    return link_.SetDeviceProperty(PIXORA_PROP_FILL_MODE, &value, sizeof(value));
  });
}

STDMETHODIMP PixoraRenderer::GetFillMode(LONG* mode) {
  return GuardCom([&] {
    int32_t value = 0;
    const HRESULT hr = link_.GetDeviceProperty(PIXORA_PROP_FILL_MODE, &value, sizeof(value));
    if (mode != nullptr) *mode = SUCCEEDED(hr) ? value : 0;
    return hr;
  });
}

STDMETHODIMP PixoraRenderer::SetMirror(LONG enable) {
  return GuardCom([&] {
    int32_t value = enable;
    return link_.SetDeviceProperty(PIXORA_PROP_MIRROR, &value, sizeof(value));
  });
}

STDMETHODIMP PixoraRenderer::SetFlip(LONG enable) {
  return GuardCom([&] {
    int32_t value = enable;
    return link_.SetDeviceProperty(PIXORA_PROP_FLIP, &value, sizeof(value));
  });
}

STDMETHODIMP PixoraRenderer::SetRotate(LONG enable) {
  return GuardCom([&] {
    link_.SetRotate(enable != 0);
    return S_OK;
  });
}

HRESULT PixoraRenderer::SendFrame(const BYTE* pixels, LONG width, LONG height, LONG stride,
                                  PixelType type) {
  return GuardCom([&] {
    return link_.DeliverFrame(pixels, width, height, stride, static_cast<int32_t>(type));
  });
}

STDMETHODIMP PixoraRenderer::SendFrameRGB24(const BYTE* pixels, LONG width, LONG height,
                                            LONG stride) {
  return SendFrame(pixels, width, height, stride, PixelType::RGB24);
}

STDMETHODIMP PixoraRenderer::SendFrameRGB32(const BYTE* pixels, LONG width, LONG height,
                                            LONG stride) {
  return SendFrame(pixels, width, height, stride, PixelType::RGB32);
}

STDMETHODIMP PixoraRenderer::SendFrameYUY2(const BYTE* pixels, LONG width, LONG height,
                                           LONG stride) {
  return SendFrame(pixels, width, height, stride, PixelType::YUY2);
}

STDMETHODIMP PixoraRenderer::SendFrameNV12(const BYTE* pixels, LONG width, LONG height,
                                           LONG stride) {
  return SendFrame(pixels, width, height, stride, PixelType::NV12);
}

STDMETHODIMP PixoraRenderer::SendFrameArray(VARIANT pixels, LONG width, LONG height) {
  return GuardCom([&] { return link_.DeliverArrayFrame(pixels, width, height); });
}

STDMETHODIMP PixoraRenderer::SendScreenRegion(LONG x, LONG y, LONG width, LONG height) {
  return GuardCom([&] { return link_.DeliverScreenRegion(x, y, width, height); });
}

STDMETHODIMP PixoraRenderer::Snapshot(LPCWSTR path) {
  return GuardCom([&] { return link_.RequestSnapshot(path); });
}

}  // namespace pixora
