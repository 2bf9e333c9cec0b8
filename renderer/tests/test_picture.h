#pragma once

#include <windows.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "convert.h"
#include "pixel_types.h"

namespace pixora::testing {

using Bytes = std::vector<uint8_t>;

// A top-down B,G,R picture with four coloured quadrants, so orientation shows.
struct Picture {
  int width;
  int height;
  Bytes bgr;  // tightly packed rows, top line first

  const uint8_t* At(int x, int y) const { return &bgr[(static_cast<size_t>(y) * width + x) * 3]; }
};

inline Picture QuadrantPicture(int width, int height) {
  Picture p{width, height, Bytes(static_cast<size_t>(width) * height * 3)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool right = x >= width / 2;
      const bool bottom = y >= height / 2;
      // B, G, R: red, green / blue, near white (kept inside the studio range's reach)
      const uint8_t colours[4][3] = {{40, 40, 220}, {40, 200, 40}, {210, 50, 40}, {230, 230, 230}};
      const uint8_t* c = colours[(bottom ? 2 : 0) + (right ? 1 : 0)];
      uint8_t* px = &p.bgr[(static_cast<size_t>(y) * width + x) * 3];
      px[0] = c[0];
      px[1] = c[1];
      px[2] = c[2];
    }
  }
  return p;
}

// The picture turned a quarter clockwise: (x, y) goes to (height - 1 - y, x).
inline Picture TurnedClockwise(const Picture& p) {
  Picture t{p.height, p.width, Bytes(p.bgr.size())};
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const uint8_t* s = p.At(x, y);
      uint8_t* d = &t.bgr[(static_cast<size_t>(x) * t.width + (p.height - 1 - y)) * 3];
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
    }
  }
  return t;
}

// Frame bytes of the picture in a pixel type, at the renderer's row step.
inline Bytes FrameOf(const Picture& p, kernels::PixelType type, bool bottomUp) {
  using kernels::PixelType;
  const int w = p.width;
  const int h = p.height;
  switch (type) {
    case PixelType::RGB24:
    case PixelType::RGB32: {
      const int size = type == PixelType::RGB24 ? 3 : 4;
      const int step = type == PixelType::RGB24 ? kernels::Rgb24RowStep(w) : 4 * w;
      Bytes f(static_cast<size_t>(step) * h, 0);
      for (int y = 0; y < h; ++y) {
        const int row = bottomUp ? h - 1 - y : y;
        for (int x = 0; x < w; ++x) {
          for (int c = 0; c < 3; ++c) f[row * step + x * size + c] = p.At(x, y)[c];
        }
      }
      return f;
    }
    case PixelType::YUY2: {
      Bytes f(static_cast<size_t>(2) * w * h);
      kernels::ConvertBgr24ToYuy2(p.bgr.data(), 3 * w, f.data(), 2 * w, {w, h});
      return f;
    }
    case PixelType::NV12: {
      Bytes yuy2(static_cast<size_t>(2) * w * h);
      kernels::ConvertBgr24ToYuy2(p.bgr.data(), 3 * w, yuy2.data(), 2 * w, {w, h});
      Bytes f(static_cast<size_t>(w) * h * 3 / 2);
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) f[y * w + x] = yuy2[y * 2 * w + 2 * x];
      }
      for (int y = 0; y < h / 2; ++y) {
        for (int x = 0; x < w / 2; ++x) {
          f[w * h + y * w + 2 * x] = yuy2[(2 * y) * 2 * w + 4 * x + 1];
          f[w * h + y * w + 2 * x + 1] = yuy2[(2 * y) * 2 * w + 4 * x + 3];
        }
      }
      return f;
    }
  }
  return {};
}

// Decodes an image file with WIC into a top-down B,G,R picture; width 0 on failure.
inline Picture DecodeImage(const std::wstring& path) {
  using Microsoft::WRL::ComPtr;
  Picture p{0, 0, {}};
  ComPtr<IWICImagingFactory> factory;
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  ComPtr<IWICFormatConverter> converter;
  UINT w = 0, h = 0;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&factory))) ||
      FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand, &decoder)) ||
      FAILED(decoder->GetFrame(0, &frame)) || FAILED(frame->GetSize(&w, &h)) ||
      FAILED(factory->CreateFormatConverter(&converter)) ||
      FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat24bppBGR,
                                   WICBitmapDitherTypeNone, nullptr, 0,
                                   WICBitmapPaletteTypeCustom))) {
    return p;
  }
  Bytes bgr(static_cast<size_t>(w) * h * 3);
  if (FAILED(converter->CopyPixels(nullptr, w * 3, static_cast<UINT>(bgr.size()), bgr.data()))) {
    return p;
  }
  return {static_cast<int>(w), static_cast<int>(h), std::move(bgr)};
}

inline double Psnr(const Picture& a, const Picture& b) {
  if (a.width != b.width || a.height != b.height || a.bgr.size() != b.bgr.size()) return 0.0;
  double sum = 0.0;
  for (size_t i = 0; i < a.bgr.size(); ++i) {
    const double d = double(a.bgr[i]) - double(b.bgr[i]);
    sum += d * d;
  }
  const double mse = sum / double(a.bgr.size());
  return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// A file name in the Wine prefix's temporary folder, removed with the object.
class TempPath {
 public:
  explicit TempPath(const wchar_t* name) {
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    path_ = std::wstring(dir) + name;
    DeleteFileW(path_.c_str());
  }
  ~TempPath() { DeleteFileW(path_.c_str()); }
  const std::wstring& str() const { return path_; }
  bool Exists() const { return GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES; }

 private:
  std::wstring path_;
};

}  // namespace pixora::testing
