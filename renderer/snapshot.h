#pragma once

#include <windows.h>
#include <wincodec.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "pixel_types.h"

namespace pixora {

// A pending snapshot. Called under the camera link's delivery lock; the flag itself
// changes only by interlocked exchange, so a reader outside that lock sees 0 or 1.
class SnapshotRequest {
 public:
  // E_FAIL for a null path; an empty path cancels what is pending. Throws std::bad_alloc
  // when the path cannot be kept (the request before it stays as it was).
  HRESULT Request(const wchar_t* path);
  bool Pending() const { return flag_.load() != 0; }
  // Hands the path over without allocating, then clears the flag: the request is consumed
  // whatever follows. Never throws.
  std::wstring Take() noexcept;

 private:
  std::wstring path_;
  std::atomic<LONG> flag_{0};
};

// The picture a snapshot is made from: the pixel area of the packet just sent.
struct SnapshotFrame {
  const uint8_t* pixels;
  int32_t width;
  int32_t height;  // signed as in the packet
  int32_t stride;
  kernels::PixelType format;
  bool bottomUp;
};

// Writes an upright 24-bit JPEG. Errors are silent by design: a snapshot has no
// requester to answer, and a partly written file may remain.
void WriteSnapshot(IWICImagingFactory* factory, const std::wstring& path,
                   const SnapshotFrame& frame);

// "\YYYY-M-D HHMMSS.jpg" as the property page names its files (leading backslash).
std::wstring SnapshotFileName(const SYSTEMTIME& localTime);

// The user's Pictures folder followed by SnapshotFileName of now; empty on failure.
std::wstring PicturesSnapshotPath();

}  // namespace pixora
