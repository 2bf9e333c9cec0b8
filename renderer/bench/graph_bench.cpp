// The graph path at 1920x1080 RGB32: a sample's cost from the source's call of Receive to
// the device's receipt, beside memcpy of the frame and beside the device call alone (a
// packet without pixels), measured interleaved in one run. Registers the camera stand-in
// (recording headers only, so the device adds no per-pixel work) and prints figures;
// asserts nothing.
#include <objbase.h>
#include <uuids.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "camera_probe.h"
#include "filter_graph.h"
#include "pixora_renderer.h"
#include "push_source.h"
#include "renderer_module.h"

namespace {

using Clock = std::chrono::steady_clock;
using Microsoft::WRL::ComPtr;

double Microseconds(Clock::time_point start, Clock::time_point end) {
  return std::chrono::duration<double, std::micro>(end - start).count();
}

double Median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

int Run() {
  constexpr int kWidth = 1920, kHeight = 1080, kSamples = 400;
  constexpr long kFrameBytes = long{kWidth} * kHeight * 4;

  pixora::test::RendererModule module;
  pixora::CameraProbe probe;
  probe.Reset();
  probe.RecordHeadersOnly(true);
  pixora::test::FilterGraph graph;
  ComPtr<IBaseFilter> renderer = module.CreateFilter();
  ComPtr<IPixoraRenderer> control;
  if (!renderer || FAILED(renderer.As(&control))) {
    std::fprintf(stderr, "no renderer with a device\n");
    return 1;
  }
  pixora::dshow::MediaType type;
  pixora::test::MakeVideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, kWidth, kHeight, &type);
  pixora::test::CPushSource* source = nullptr;
  ComPtr<IBaseFilter> sourceFilter =
      pixora::test::CPushSource::Create(type.Get(), kFrameBytes, &source);
  if (FAILED(graph.Add(renderer.Get(), L"renderer")) ||
      FAILED(graph.Add(sourceFilter.Get(), L"source")) ||
      FAILED(graph.ConnectDirect(sourceFilter.Get(), renderer.Get(), &type.Get())) ||
      FAILED(graph.RunWithoutClock())) {
    std::fprintf(stderr, "cannot build the graph\n");
    return 1;
  }

  std::vector<uint8_t> frame(kFrameBytes, 0x5A), copy(kFrameBytes);
  // Fill both of the allocator's buffers once; they keep their bytes from use to use.
  for (int i = 0; i < 2; ++i) source->Push(frame.data(), kFrameBytes);
  std::vector<double> receive, baseline, deviceCall;
  for (int i = 0; i < kSamples; ++i) {
    ComPtr<IMediaSample> sample = source->NextSample();
    sample->SetActualDataLength(kFrameBytes);
    auto start = Clock::now();
    const HRESULT hr = source->Deliver(sample.Get());
    receive.push_back(Microseconds(start, Clock::now()));
    sample.Reset();
    if (hr != S_OK) {
      std::fprintf(stderr, "Receive failed: 0x%08lX\n", static_cast<unsigned long>(hr));
      return 1;
    }
    start = Clock::now();
    std::memcpy(copy.data(), frame.data(), kFrameBytes);
    baseline.push_back(Microseconds(start, Clock::now()));
    start = Clock::now();
    control->SendFrameRGB32(nullptr, kWidth, kHeight, 0);  // the packet's header alone
    deviceCall.push_back(Microseconds(start, Clock::now()));
  }
  graph.control->Stop();

  const double r = Median(receive), m = Median(baseline), d = Median(deviceCall);
  std::printf("1920x1080 RGB32, median of %d samples each\n", kSamples);
  std::printf("  Receive to device  %9.0f us\n", r);
  std::printf("  memcpy of a frame  %9.0f us\n", m);
  std::printf("  device call alone  %9.0f us\n", d);
  std::printf("  (Receive - device call) / memcpy = %.2f  (goal: at most 1.30)\n", (r - d) / m);
  std::printf("  frames the device took: %llu\n",
              static_cast<unsigned long long>(probe.FrameCount()));
  probe.Reset();
  return 0;
}

}  // namespace

int main() {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(pixora::RegisterCameraDevices())) {
    std::fprintf(stderr, "cannot register the camera stand-in\n");
    return 1;
  }
  const int result = Run();
  pixora::UnregisterCameraDevices();
  CoUninitialize();
  return result;
}
