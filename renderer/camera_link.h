#pragma once

#include <windows.h>
#include <oaidl.h>
#include <strmif.h>
#include <wincodec.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <mutex>

#include "pixel_types.h"
#include "rotate.h"
#include "snapshot.h"

namespace pixora {

// The filter's connection to the Pixora camera device: finds it, passes it settings,
// and sends it every frame as one packet, turned when asked and with a pending
// snapshot served. Any thread; deliveryLock_ guards the device reference, the packet
// buffer, the rotate flag, the turn's scratch pictures and the snapshot path.
class CCameraLink {
 public:
  CCameraLink();
  ~CCameraLink() = default;
  CCameraLink(const CCameraLink&) = delete;
  CCameraLink& operator=(const CCameraLink&) = delete;

  // No method throws: what would (memory exhaustion above all) answers E_OUTOFMEMORY or
  // another HRESULT, as the COM methods that call these must.
  void FindFirstDevice() noexcept;
  HRESULT SelectDeviceByName(const wchar_t* name) noexcept;
  bool HasDevice() const noexcept;

  HRESULT SetDeviceProperty(ULONG id, void* data, ULONG size) noexcept;
  HRESULT GetDeviceProperty(ULONG id, void* buffer, ULONG size) noexcept;

  void SetRotate(bool on) noexcept;
  // The next delivered frame is written to path as a JPEG; an empty path cancels.
  HRESULT RequestSnapshot(const wchar_t* path) noexcept;

  // A rotated YUY2 or NV12 frame needs a positive height (E_INVALIDARG otherwise). A
  // delivery refused before the device call leaves a pending snapshot pending.
  HRESULT DeliverFrame(const uint8_t* pixels, int32_t width, int32_t height, int32_t stride,
                       int32_t format) noexcept;
  // array: VT_ARRAY | VT_UI1 of bottom-up or top-down 24-bit rows padded to 4 bytes.
  HRESULT DeliverArrayFrame(const VARIANT& array, int32_t width, int32_t height) noexcept;
  HRESULT DeliverScreenRegion(int32_t x, int32_t y, int32_t width, int32_t height) noexcept;

  // Bytes the packet buffer holds now; it only grows.
  int32_t PacketCapacity() const noexcept;

 private:
  HRESULT DeliverLocked(const uint8_t* pixels, int32_t width, int32_t height, int32_t stride,
                        kernels::PixelType format);
  bool EnsurePacketCapacity(int64_t bytes);

  Microsoft::WRL::ComPtr<IWICImagingFactory> imageFactory_;  // null disables snapshots
  mutable std::mutex deliveryLock_;
  Microsoft::WRL::ComPtr<IKsPropertySet> device_;
  std::unique_ptr<uint8_t[]> packet_;
  int32_t packetCapacity_ = 0;
  SnapshotRequest snapshot_;
  bool rotate_ = false;
  kernels::RotateScratch rotateScratch_;
};

}  // namespace pixora
