#include "snapshot.h"

#include <shlobj.h>
#include <wrl/client.h>

#include <cstdio>
#include <memory>
#include <new>

#include "convert.h"
#include "rotate.h"

namespace pixora {
namespace {

using Microsoft::WRL::ComPtr;
using kernels::PixelType;

// The 24-bit B,G,R picture WIC is given: the packet itself for RGB24, else a converted copy.
struct Bgr24Image {
  const uint8_t* rows = nullptr;
  int32_t stride = 0;
  std::unique_ptr<uint8_t[]> owned;
};

bool MakeBgr24(const SnapshotFrame& f, Bgr24Image* image) {
  const int32_t rows = f.height < 0 ? -f.height : f.height;
  if (f.format == PixelType::RGB24) {
    image->rows = f.pixels;
    image->stride = f.stride;
    return true;
  }
  const int32_t step = kernels::Rgb24RowStep(f.width);
  image->owned.reset(new (std::nothrow) uint8_t[static_cast<size_t>(step) * rows]);
  if (!image->owned) return false;
  uint8_t* dst = image->owned.get();
  const kernels::ImageSize size{f.width, rows};
  switch (f.format) {
    case PixelType::RGB32:
      kernels::ConvertBgr32ToBgr24(f.pixels, f.stride, dst, step, size);
      break;
    case PixelType::YUY2:
      kernels::ConvertYuy2ToBgr24(f.pixels, f.stride, dst, step, size);
      break;
    case PixelType::NV12: {
      const uint8_t* chroma = f.pixels + static_cast<size_t>(f.width) * rows;
      kernels::ConvertNv12ToBgr24(f.pixels, f.width, chroma, f.width, dst, step, size);
      break;
    }
    default:
      return false;
  }
  image->rows = dst;
  image->stride = step;
  return true;
}

void Encode(IWICImagingFactory* factory, const std::wstring& path, const SnapshotFrame& f,
            const Bgr24Image& image) {
  const UINT rows = static_cast<UINT>(f.height < 0 ? -f.height : f.height);
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  ComPtr<IPropertyBag2> options;
  if (FAILED(factory->CreateStream(&stream)) ||
      FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) ||
      FAILED(factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, &encoder)) ||
      FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
      FAILED(encoder->CreateNewFrame(&frame, &options)) ||
      FAILED(frame->Initialize(options.Get()))) {
    return;
  }
  frame->SetSize(static_cast<UINT>(f.width), rows);
  // The encoder answers with its native B,G,R order, which is the image's.
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppRGB;
  frame->SetPixelFormat(&format);

  const UINT stride = static_cast<UINT>(image.stride);
  const BYTE* pixels = image.rows;
  std::unique_ptr<uint8_t[]> upright;
  if (f.bottomUp) {
    upright.reset(new (std::nothrow) uint8_t[static_cast<size_t>(stride) * rows]);
    if (!upright) return;
    kernels::FlipRows(image.rows, static_cast<int32_t>(rows), image.stride, upright.get());
    pixels = upright.get();
  }
  frame->WritePixels(rows, stride, stride * rows, const_cast<BYTE*>(pixels));
  frame->Commit();
  encoder->Commit();
  stream->Commit(STGC_DEFAULT);
}

}  // namespace

HRESULT SnapshotRequest::Request(const wchar_t* path) {
  if (path == nullptr) return E_FAIL;
  path_ = path;
  flag_.exchange(path_.empty() ? 0 : 1);
  return S_OK;
}

std::wstring SnapshotRequest::Take() noexcept {
  std::wstring path = std::move(path_);  // moved, not copied: nothing is allocated here
  path_.clear();
  flag_.exchange(0);
  return path;
}

void WriteSnapshot(IWICImagingFactory* factory, const std::wstring& path,
                   const SnapshotFrame& frame) {
  if (factory == nullptr || path.empty() || frame.pixels == nullptr || frame.width <= 0 ||
      frame.height == 0) {
    return;
  }
  Bgr24Image image;
  if (!MakeBgr24(frame, &image)) return;
  Encode(factory, path, frame, image);
}

std::wstring SnapshotFileName(const SYSTEMTIME& t) {
  wchar_t name[128];
  std::swprintf(name, std::size(name), L"\\%d-%02d-%02d %02d%02d%02d.jpg", t.wYear, t.wMonth,
                t.wDay, t.wHour, t.wMinute, t.wSecond);
  return name;
}

std::wstring PicturesSnapshotPath() {
  wchar_t folder[256];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_MYPICTURES, nullptr, SHGFP_TYPE_CURRENT, folder))) {
    return {};
  }
  SYSTEMTIME now;
  GetLocalTime(&now);
  return folder + SnapshotFileName(now);
}

}  // namespace pixora
