// DeliverFrame at 1920x1080 for each pixel type, rotation off and on, beside memcpy of
// the packet's size. Registers the camera stand-in (recording headers only, so the
// device adds no per-pixel work) and prints figures; asserts nothing.
#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "camera_link.h"
#include "camera_probe.h"

namespace {

using pixora::kernels::PixelType;

double MedianMicroseconds(const std::function<void()>& body, int runs) {
  std::vector<double> times;
  body();  // warm caches and the packet buffer
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    body();
    const auto end = std::chrono::steady_clock::now();
    times.push_back(std::chrono::duration<double, std::micro>(end - start).count());
  }
  std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
  return times[runs / 2];
}

}  // namespace

int main() {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(pixora::RegisterCameraDevices())) {
    std::fprintf(stderr, "cannot register the camera stand-in\n");
    return 1;
  }
  {
    pixora::CameraProbe probe;
    probe.Reset();
    probe.RecordHeadersOnly(true);
    pixora::CCameraLink link;
    constexpr int w = 1920, h = 1080, runs = 60;
    struct Type {
      PixelType type;
      const char* name;
      int stride;
    };
    const Type types[] = {{PixelType::RGB24, "RGB24", 5760},
                          {PixelType::RGB32, "RGB32", 7680},
                          {PixelType::YUY2, "YUY2", 3840},
                          {PixelType::NV12, "NV12", 1920}};
    std::printf("%-6s %8s %12s %12s %10s %14s\n", "type", "rotate", "deliver us", "memcpy us",
                "ratio", "device call us");
    for (const Type& t : types) {
      const size_t bytes = static_cast<size_t>(pixora::kernels::FrameBytes(t.type, t.stride, h));
      std::vector<uint8_t> frame(bytes, 0x5A), copy(bytes + 16);
      const double floor = MedianMicroseconds([&] { std::memcpy(copy.data(), frame.data(), bytes); }, runs);
      // The same call without pixels: what the device and the property call cost alone.
      link.SetRotate(false);
      const double call = MedianMicroseconds(
          [&] { link.DeliverFrame(nullptr, w, h, t.stride, static_cast<int32_t>(t.type)); }, runs);
      for (bool rotate : {false, true}) {
        link.SetRotate(rotate);
        const double us = MedianMicroseconds(
            [&] { link.DeliverFrame(frame.data(), w, h, t.stride, static_cast<int32_t>(t.type)); },
            runs);
        std::printf("%-6s %8s %12.0f %12.0f %10.2f %14.0f\n", t.name, rotate ? "on" : "off", us,
                    floor, us / floor, call);
      }
    }
    probe.Reset();
  }
  pixora::UnregisterCameraDevices();
  CoUninitialize();
  return 0;
}
