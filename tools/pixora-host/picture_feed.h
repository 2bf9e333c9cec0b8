// Shows a still picture on the camera: decodes it and sends it as RGB32 frames through
// IPixoraRenderer at the output rate. One thread.
#pragma once

#include <windows.h>

#include <string>

#include "pixora_renderer.h"

namespace pixora::host {

struct FeedResult {
  HRESULT result;           // the first failure, else S_OK
  long frames;              // frames the device took
  double seconds;           // time spent feeding
  double framesPerSecond;   // the rate at which frames reached the device
  double medianLatenessMs;  // video only: how late frames reached the device
};

// True when WIC can decode the file as a picture; *width and *height receive its size.
bool IsPicture(const std::wstring& path, UINT* width, UINT* height);

FeedResult FeedPicture(IPixoraRenderer* renderer, const std::wstring& path, long fps,
                       double seconds);

}  // namespace pixora::host
