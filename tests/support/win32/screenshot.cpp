#include "screenshot.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <memory>
#include <type_traits>

using Microsoft::WRL::ComPtr;

namespace win32_test {
namespace {

// Wine hands a window's drawing to the X server a moment after the paint; on a loaded
// machine that moment has no fixed length.
constexpr DWORD kPaintWaitMs = 10000;
constexpr DWORD kPaintPollMs = 20;

struct ReleaseWindowDc {
  HWND window;
  void operator()(HDC dc) const { ReleaseDC(window, dc); }
};
struct DeleteDc {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
struct DeleteGdiObject {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using WindowDc = std::unique_ptr<std::remove_pointer_t<HDC>, ReleaseWindowDc>;
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, DeleteDc>;
using GdiObject = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, DeleteGdiObject>;

class ComScope {
 public:
  ComScope() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComScope() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT result_;
};

// The rectangle of what `source` shows, from its own coordinates (left, top).
Screenshot CaptureDcRect(HDC source, int left, int top, int width, int height) {
  Screenshot picture;
  if (width <= 0 || height <= 0) return picture;

  MemoryDc memory(CreateCompatibleDC(source));
  if (!source || !memory) return picture;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  GdiObject bitmap(CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap) return picture;
  HGDIOBJ previous = SelectObject(memory.get(), bitmap.get());
  const BOOL copied = BitBlt(memory.get(), 0, 0, width, height, source, left, top, SRCCOPY | CAPTUREBLT);
  GdiFlush();
  SelectObject(memory.get(), previous);
  if (!copied) return picture;

  const auto* first = static_cast<const uint8_t*>(bits);
  picture.width = width;
  picture.height = height;
  picture.pixels.assign(first, first + size_t{4} * width * height);
  return picture;
}

Screenshot CaptureScreenRect(const RECT& area) {
  const WindowDc screen(GetDC(nullptr), {nullptr});
  return CaptureDcRect(screen.get(), area.left, area.top, area.right - area.left, area.bottom - area.top);
}

// What the window has drawn into its own surface, frame included: what the screen shows
// once Wine has handed it over.
Screenshot CaptureWindowSurface(HWND window, const RECT& area) {
  const WindowDc drawn(GetWindowDC(window), {window});
  return CaptureDcRect(drawn.get(), 0, 0, area.right - area.left, area.bottom - area.top);
}

}  // namespace

COLORREF Screenshot::Pixel(int x, int y) const {
  const uint8_t* p = pixels.data() + (size_t{4} * width * y) + size_t{4} * x;
  return RGB(p[2], p[1], p[0]);
}

Screenshot CaptureScreen() {
  const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  return CaptureScreenRect(screen);
}

Screenshot CaptureWindow(HWND window) {
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT area{};
  if (!GetWindowRect(window, &area)) return {};
  const Screenshot drawn = CaptureWindowSurface(window, area);
  Screenshot shown = CaptureScreenRect(area);
  for (DWORD waited = 0; shown.pixels != drawn.pixels && waited < kPaintWaitMs; waited += kPaintPollMs) {
    Sleep(kPaintPollMs);
    shown = CaptureScreenRect(area);
  }
  return shown;
}

HRESULT SavePng(const Screenshot& picture, const std::wstring& path) {
  if (picture.width <= 0 || picture.height <= 0) return E_INVALIDARG;
  const ComScope com;
  ComPtr<IWICImagingFactory> factory;
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&factory));
  if (SUCCEEDED(hr)) hr = factory->CreateStream(&stream);
  if (SUCCEEDED(hr)) hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
  if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
  if (SUCCEEDED(hr)) hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
  if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(&frame, nullptr);
  if (SUCCEEDED(hr)) hr = frame->Initialize(nullptr);
  if (SUCCEEDED(hr)) hr = frame->SetSize(picture.width, picture.height);
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
  if (SUCCEEDED(hr) && format != GUID_WICPixelFormat24bppBGR) hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
  if (FAILED(hr)) return hr;

  // The unused fourth byte is dropped: PNG readers would take it for transparency.
  const UINT stride = 3 * static_cast<UINT>(picture.width);
  std::vector<uint8_t> row(stride);
  for (int y = 0; y < picture.height && SUCCEEDED(hr); ++y) {
    const uint8_t* source = picture.pixels.data() + size_t{4} * picture.width * y;
    for (int x = 0; x < picture.width; ++x) {
      row[3 * x] = source[4 * x];
      row[3 * x + 1] = source[4 * x + 1];
      row[3 * x + 2] = source[4 * x + 2];
    }
    hr = frame->WritePixels(1, stride, stride, row.data());
  }
  if (SUCCEEDED(hr)) hr = frame->Commit();
  if (SUCCEEDED(hr)) hr = encoder->Commit();
  return hr;
}

}  // namespace win32_test
