#include "picture_feed.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <chrono>
#include <thread>
#include <vector>

namespace pixora::host {
namespace {

using Microsoft::WRL::ComPtr;

HRESULT Decode(const std::wstring& path, ComPtr<IWICBitmapSource>* picture) {
  ComPtr<IWICImagingFactory> factory;
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  ComPtr<IWICFormatConverter> converter;
  HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&factory));
  if (SUCCEEDED(hr)) {
    hr = factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                            WICDecodeMetadataCacheOnDemand, &decoder);
  }
  if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, &frame);
  if (SUCCEEDED(hr)) hr = factory->CreateFormatConverter(&converter);
  if (SUCCEEDED(hr)) {
    hr = converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone,
                               nullptr, 0, WICBitmapPaletteTypeCustom);
  }
  if (SUCCEEDED(hr)) *picture = converter;
  return hr;
}

}  // namespace

bool IsPicture(const std::wstring& path, UINT* width, UINT* height) {
  ComPtr<IWICBitmapSource> picture;
  return SUCCEEDED(Decode(path, &picture)) && SUCCEEDED(picture->GetSize(width, height));
}

FeedResult FeedPicture(IPixoraRenderer* renderer, const std::wstring& path, long fps,
                       double seconds) {
  FeedResult fed{S_OK, 0, 0.0, 0.0, 0.0};
  ComPtr<IWICBitmapSource> picture;
  UINT width = 0, height = 0;
  fed.result = Decode(path, &picture);
  if (SUCCEEDED(fed.result)) fed.result = picture->GetSize(&width, &height);
  if (FAILED(fed.result)) return fed;
  const UINT stride = width * 4;
  std::vector<BYTE> pixels(static_cast<size_t>(stride) * height);
  fed.result =
      picture->CopyPixels(nullptr, stride, static_cast<UINT>(pixels.size()), pixels.data());
  if (FAILED(fed.result)) return fed;

  // WIC's rows are top-down: a negative height says so.
  using Clock = std::chrono::steady_clock;
  const auto step = std::chrono::duration<double>(1.0 / (fps > 0 ? fps : 30));
  const auto start = Clock::now();
  const auto end = start + std::chrono::duration<double>(seconds);
  auto next = start;
  while (Clock::now() < end) {
    const HRESULT hr =
        renderer->SendFrameRGB32(pixels.data(), static_cast<LONG>(width),
                                 -static_cast<LONG>(height), static_cast<LONG>(stride));
    if (FAILED(hr)) {
      fed.result = hr;
      break;
    }
    ++fed.frames;
    next += std::chrono::duration_cast<Clock::duration>(step);
    std::this_thread::sleep_until(next);
  }
  fed.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  fed.framesPerSecond = fed.seconds > 0 ? fed.frames / fed.seconds : 0.0;
  return fed;
}

}  // namespace pixora::host
