// The host's command line. One thread.
#pragma once

#include <string>

namespace pixora::host {

struct Options {
  std::wstring device;  // empty: the device the filter found first
  long width = 1280, height = 720, fps = 30;
  long fillMode = 0;  // 0 "Aspect Fit", 1 "Aspect Fill", 2 "Stretch"
  bool mirror = false, flip = false, rotate = false;
  double seconds = 0.0;   // picture: how long it is shown (3 s); video: at most (its end)
  std::wstring snapshot;  // empty: none
  std::wstring input;     // a picture or a video file
};

// False, with the reason in *error, for a command line it cannot read.
bool ParseOptions(int argc, wchar_t** argv, Options* options, std::wstring* error);

extern const wchar_t kUsage[];

}  // namespace pixora::host
