#include "camera_link.h"

#include <oleauto.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

#include "com_guard.h"
#include "com_holders.h"
#include "device_search.h"
#include "pixora_camera_props.h"
#include "screen_region.h"

namespace pixora {
namespace {

using kernels::FrameGeometry;
using kernels::PixelType;

constexpr int64_t kHeaderBytes = sizeof(FrameHeader);

bool KnownFormat(int32_t format) { return format >= 0 && format <= 3; }

bool IsYuv(PixelType type) { return type == PixelType::YUY2 || type == PixelType::NV12; }

int64_t DefaultStride(PixelType type, int32_t width) {
  switch (type) {
    case PixelType::RGB24: return kernels::Rgb24RowStep(width);
    case PixelType::RGB32: return 4 * int64_t{width};
    case PixelType::YUY2: return 2 * int64_t{width};
    case PixelType::NV12: return width;
  }
  return 0;
}

int64_t ElementCount(SAFEARRAY* array) {
  LONG lower = 0;
  LONG upper = -1;
  if (FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
      FAILED(SafeArrayGetUBound(array, 1, &upper))) {
    return 0;
  }
  return int64_t{upper} - lower + 1;
}

}  // namespace

CCameraLink::CCameraLink() {
  // Without a factory the link still works; only snapshots are off.
  CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                   IID_PPV_ARGS(&imageFactory_));
  FindFirstDevice();
}

void CCameraLink::FindFirstDevice() noexcept {
  GuardCom([&] {
    Microsoft::WRL::ComPtr<IKsPropertySet> found;
    FindCameraDevice(nullptr, &found);
    std::lock_guard lock(deliveryLock_);
    device_ = std::move(found);
    return S_OK;
  });
}

HRESULT CCameraLink::SelectDeviceByName(const wchar_t* name) noexcept {
  return GuardCom([&] {
    if (name == nullptr) return E_INVALIDARG;
    Microsoft::WRL::ComPtr<IKsPropertySet> found;
    const HRESULT hr = FindCameraDevice(name, &found);
    if (hr != S_OK) return hr;
    std::lock_guard lock(deliveryLock_);
    device_ = std::move(found);
    return S_OK;
  });
}

bool CCameraLink::HasDevice() const noexcept {
  bool has = false;
  GuardCom([&] {
    std::lock_guard lock(deliveryLock_);
    has = device_ != nullptr;
    return S_OK;
  });
  return has;
}

HRESULT CCameraLink::SetDeviceProperty(ULONG id, void* data, ULONG size) noexcept {
  return GuardCom([&] {
    std::lock_guard lock(deliveryLock_);
    if (!device_) return E_FAIL;
    return device_->Set(PROPSETID_PixoraCamera, id, nullptr, 0, data, size);
  });
}

HRESULT CCameraLink::GetDeviceProperty(ULONG id, void* buffer, ULONG size) noexcept {
  return GuardCom([&] {
    std::lock_guard lock(deliveryLock_);
    if (!device_) return E_FAIL;
    DWORD returned = 0;
    return device_->Get(PROPSETID_PixoraCamera, id, nullptr, 0, buffer, size, &returned);
  });
}

void CCameraLink::SetRotate(bool on) noexcept {
  GuardCom([&] {
    std::lock_guard lock(deliveryLock_);
    rotate_ = on;
    return S_OK;
  });
}

HRESULT CCameraLink::RequestSnapshot(const wchar_t* path) noexcept {
  return GuardCom([&] {
    std::lock_guard lock(deliveryLock_);
    return snapshot_.Request(path);
  });
}

HRESULT CCameraLink::DeliverFrame(const uint8_t* pixels, int32_t width, int32_t height,
                                  int32_t stride, int32_t format) noexcept {
  return GuardCom([&] {
    std::lock_guard lock(deliveryLock_);
    if (!device_) return E_FAIL;
    if (!KnownFormat(format)) return E_INVALIDARG;
    return DeliverLocked(pixels, width, height, stride, static_cast<PixelType>(format));
  });
}

HRESULT CCameraLink::DeliverArrayFrame(const VARIANT& array, int32_t width,
                                       int32_t height) noexcept {
  return GuardCom([&] {
    if (array.vt != (VT_ARRAY | VT_UI1) || array.parray == nullptr) return E_INVALIDARG;
    SafeArrayLock locked(array.parray);
    if (locked.Data() == nullptr) return E_INVALIDARG;
    const int64_t stride = kernels::Rgb24RowStep(width);
    const int64_t rows = height < 0 ? -int64_t{height} : height;
    if (SafeArrayGetElemsize(array.parray) != 1 || ElementCount(array.parray) < rows * stride) {
      return S_OK;  // too short: nothing is sent
    }
    std::lock_guard lock(deliveryLock_);
    if (!device_) return E_FAIL;
    // A step beyond 32 bits means a width that DeliverLocked refuses anyway.
    const auto step = static_cast<int32_t>(std::min<int64_t>(stride, INT32_MAX));
    return DeliverLocked(locked.Data(), width, height, step, PixelType::RGB24);
  });
}

HRESULT CCameraLink::DeliverScreenRegion(int32_t x, int32_t y, int32_t width,
                                         int32_t height) noexcept {
  return GuardCom([&] {
    if (width <= 0 || height < 1 || x < 0 || y < 0) return E_INVALIDARG;
    if (kernels::Rgb24RowStep(width) * height > std::numeric_limits<int32_t>::max()) {
      return E_INVALIDARG;
    }
    ScreenRegion region(x, y, width, height);
    std::lock_guard lock(deliveryLock_);
    if (device_ && region.Bits() != nullptr) {
      DeliverLocked(region.Bits(), width, height, region.Stride(), PixelType::RGB24);
    }
    return S_OK;
  });
}

int32_t CCameraLink::PacketCapacity() const noexcept {
  int32_t capacity = 0;
  GuardCom([&] {
    std::lock_guard lock(deliveryLock_);
    capacity = packetCapacity_;
    return S_OK;
  });
  return capacity;
}

bool CCameraLink::EnsurePacketCapacity(int64_t bytes) {
  if (bytes <= packetCapacity_) return true;
  packet_.reset();
  packetCapacity_ = 0;
  // Zeroed, so a header-only delivery never hands the device stale heap bytes.
  packet_.reset(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]());
  if (!packet_) return false;
  packetCapacity_ = static_cast<int32_t>(bytes);
  return true;
}

HRESULT CCameraLink::DeliverLocked(const uint8_t* pixels, int32_t width, int32_t height,
                                   int32_t stride, PixelType format) {
  if (width < 1 || height == 0) return E_INVALIDARG;
  // YUY2 and NV12 rows are top-down only: such a frame has no turn, and sending its packet
  // would hand the device whatever pixels an earlier frame left.
  if (rotate_ && IsYuv(format) && height < 1) return E_INVALIDARG;
  const int64_t defaultStride = DefaultStride(format, width);
  if (stride < 1 && defaultStride > INT32_MAX) return E_INVALIDARG;
  if (stride < 1) stride = static_cast<int32_t>(defaultStride);
  const FrameGeometry packet = rotate_ ? kernels::RotatedGeometry(format, width, height)
                                       : FrameGeometry{width, height, stride};
  const int64_t pixelBytes = kernels::FrameBytes(format, packet.rowStep, packet.height);
  const int64_t packetBytes = kHeaderBytes + pixelBytes;
  if (packet.rowStep < 1 || packetBytes > std::numeric_limits<int32_t>::max()) {
    return E_INVALIDARG;
  }
  if (!EnsurePacketCapacity(packetBytes)) return E_OUTOFMEMORY;

  const FrameHeader header{format, packet.width, packet.height, packet.rowStep};
  std::memcpy(packet_.get(), &header, sizeof(header));
  uint8_t* area = packet_.get() + kHeaderBytes;
  if (pixels != nullptr) {
    if (rotate_) {
      const kernels::RotatedFrame turned =
          kernels::RotateFrame90(format, pixels, width, height, stride, area, rotateScratch_);
      if (turned.result == kernels::RotateResult::OutOfMemory) return E_OUTOFMEMORY;
      if (turned.result != kernels::RotateResult::Turned) return E_INVALIDARG;
    } else {
      std::memcpy(area, pixels, static_cast<size_t>(pixelBytes));
    }
  }

  const HRESULT hr = device_->Set(PROPSETID_PixoraCamera, PIXORA_PROP_FRAME, nullptr, 0,
                                  packet_.get(), static_cast<DWORD>(packetBytes));

  if (snapshot_.Pending()) {
    WriteSnapshot(imageFactory_.Get(), snapshot_.Take(),
                  {area, packet.width, packet.height, packet.rowStep, format,
                   !IsYuv(format) && packet.height > 0});
  }
  return hr;
}

}  // namespace pixora
