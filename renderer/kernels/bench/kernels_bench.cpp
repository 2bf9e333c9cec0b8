// Kernel speed at video sizes, beside what a caller would otherwise use (libyuv) and
// beside memcpy of the bytes the kernel reads and writes. Prints figures, asserts nothing.
#include <benchmark/benchmark.h>
#include <libyuv.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "convert.h"
#include "kernel_levels.h"
#include "rotate.h"

namespace {

using namespace pixora::kernels;

struct Size {
  int w, h;
};

std::vector<uint8_t> RandomBytes(size_t n) {
  std::vector<uint8_t> v(n);
  std::mt19937 rng(5);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

// Results by case ("Yuy2ToBgr24 1280x720") and contender ("ours", "libyuv", ...).
std::map<std::string, std::map<std::string, double>> g_results;

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const std::string name = run.run_name.function_name;
      const auto slash = name.rfind('/');
      g_results[name.substr(0, slash)][name.substr(slash + 1)] = run.GetAdjustedRealTime();
    }
  }
};

void Add(const std::string& kase, const std::string& who, size_t bytesMoved,
         std::function<void()> body) {
  benchmark::RegisterBenchmark((kase + "/" + who).c_str(),
                               [body, bytesMoved](benchmark::State& state) {
                                 for (auto _ : state) {
                                   body();
                                   benchmark::ClobberMemory();
                                 }
                                 state.SetBytesProcessed(state.iterations() * bytesMoved);
                               })
      ->Unit(benchmark::kMicrosecond)
      ->MinTime(0.3);
}

// Buffers live for the whole run; the lambdas hold pointers into them.
std::vector<std::vector<uint8_t>>& Store() {
  static std::vector<std::vector<uint8_t>> store;
  return store;
}
uint8_t* Buffer(size_t n) {
  Store().push_back(RandomBytes(n));
  return Store().back().data();
}

void AddMemcpy(const std::string& kase, size_t bytesRead, size_t bytesWritten) {
  uint8_t* from = Buffer(bytesRead);
  uint8_t* to = Buffer(bytesRead);
  uint8_t* from2 = Buffer(bytesWritten);
  uint8_t* to2 = Buffer(bytesWritten);
  // Read what the kernel reads and write what it writes, as two plain copies' worth.
  Add(kase, "memcpy", bytesRead + bytesWritten, [=] {
    std::memcpy(to, from, bytesRead / 2);
    std::memcpy(to2, from2, bytesWritten / 2);
  });
}

void AddConversions(Size s) {
  const levels::Conversions generic = levels::ConversionsAtLevel(0);
  const std::string dims = " " + std::to_string(s.w) + "x" + std::to_string(s.h);
  const int w = s.w, h = s.h;
  const int bgrStep = Rgb24RowStep(w);
  const size_t px = static_cast<size_t>(w) * h;
  uint8_t* yuy2 = Buffer(2 * px);
  uint8_t* bgr = Buffer(3 * px);
  uint8_t* bgr32 = Buffer(4 * px);
  uint8_t* nv12 = Buffer(px * 3 / 2);
  uint8_t* argb = Buffer(4 * px);
  uint8_t* out = Buffer(4 * px);

  std::string k = "Yuy2ToBgr24" + dims;
  Add(k, "generic", 5 * px, [=] { generic.yuy2ToBgr24(yuy2, 2 * w, out, bgrStep, {w, h}); });
  Add(k, "ours", 5 * px, [=] { ConvertYuy2ToBgr24(yuy2, 2 * w, out, bgrStep, {w, h}); });
  Add(k, "libyuv", 5 * px, [=] {
    libyuv::YUY2ToARGB(yuy2, 2 * w, argb, 4 * w, w, h);
    libyuv::ARGBToRGB24(argb, 4 * w, out, bgrStep, w, h);
  });
  AddMemcpy(k, 2 * px, 3 * px);

  k = "Bgr24ToYuy2" + dims;
  Add(k, "generic", 5 * px, [=] { generic.bgr24ToYuy2(bgr, bgrStep, out, 2 * w, {w, h}); });
  Add(k, "ours", 5 * px, [=] { ConvertBgr24ToYuy2(bgr, bgrStep, out, 2 * w, {w, h}); });
  Add(k, "libyuv", 5 * px, [=] {
    libyuv::RGB24ToARGB(bgr, bgrStep, argb, 4 * w, w, h);
    libyuv::ARGBToYUY2(argb, 4 * w, out, 2 * w, w, h);
  });
  AddMemcpy(k, 3 * px, 2 * px);

  k = "Nv12ToBgr24" + dims;
  const uint8_t* uv = nv12 + px;
  Add(k, "generic", px * 9 / 2,
      [=] { generic.nv12ToBgr24(nv12, w, uv, w, out, bgrStep, {w, h}); });
  Add(k, "ours", px * 9 / 2, [=] { ConvertNv12ToBgr24(nv12, w, uv, w, out, bgrStep, {w, h}); });
  Add(k, "libyuv", px * 9 / 2, [=] { libyuv::NV12ToRGB24(nv12, w, uv, w, out, bgrStep, w, h); });
  AddMemcpy(k, px * 3 / 2, 3 * px);

  k = "Bgr32ToBgr24" + dims;
  Add(k, "generic", 7 * px, [=] { generic.bgr32ToBgr24(bgr32, 4 * w, out, bgrStep, {w, h}); });
  Add(k, "ours", 7 * px, [=] { ConvertBgr32ToBgr24(bgr32, 4 * w, out, bgrStep, {w, h}); });
  Add(k, "libyuv", 7 * px, [=] { libyuv::ARGBToRGB24(bgr32, 4 * w, out, bgrStep, w, h); });
  AddMemcpy(k, 4 * px, 3 * px);
}

void AddTurns(Size s) {
  const std::string dims = " " + std::to_string(s.w) + "x" + std::to_string(s.h);
  const int w = s.w, h = s.h;
  const size_t px = static_cast<size_t>(w) * h;
  const int bgrStep = Rgb24RowStep(w);
  uint8_t* src = Buffer(4 * px);
  uint8_t* dst = Buffer(4 * px);
  uint8_t* argb = Buffer(4 * px);
  uint8_t* argb2 = Buffer(4 * px);
  auto* scratch = new RotateScratch;  // lives for the run

  std::string k = "Rotate RGB32" + dims;
  Add(k, "ours", 8 * px,
      [=] { RotateFrame90(PixelType::RGB32, src, w, -h, 4 * w, dst, *scratch); });
  Add(k, "libyuv", 8 * px,
      [=] { libyuv::ARGBRotate(src, 4 * w, dst, 4 * h, w, h, libyuv::kRotate90); });
  AddMemcpy(k, 4 * px, 4 * px);

  k = "Rotate RGB24" + dims;
  Add(k, "ours", 6 * px,
      [=] { RotateFrame90(PixelType::RGB24, src, w, -h, bgrStep, dst, *scratch); });
  Add(k, "libyuv", 6 * px, [=] {
    libyuv::RGB24ToARGB(src, bgrStep, argb, 4 * w, w, h);
    libyuv::ARGBRotate(argb, 4 * w, argb2, 4 * h, w, h, libyuv::kRotate90);
    libyuv::ARGBToRGB24(argb2, 4 * h, dst, Rgb24RowStep(h), h, w);
  });
  AddMemcpy(k, 3 * px, 3 * px);

  k = "Rotate YUY2" + dims;
  Add(k, "ours", 4 * px,
      [=] { RotateFrame90(PixelType::YUY2, src, w, h, 2 * w, dst, *scratch); });
  Add(k, "libyuv", 4 * px, [=] {
    libyuv::YUY2ToARGB(src, 2 * w, argb, 4 * w, w, h);
    libyuv::ARGBRotate(argb, 4 * w, argb2, 4 * h, w, h, libyuv::kRotate90);
    libyuv::ARGBToYUY2(argb2, 4 * h, dst, 2 * h, h, w);
  });
  AddMemcpy(k, 2 * px, 2 * px);

  k = "Rotate NV12" + dims;
  Add(k, "ours", 3 * px, [=] { RotateFrame90(PixelType::NV12, src, w, h, w, dst, *scratch); });
  Add(k, "libyuv", 3 * px, [=] {
    libyuv::RotatePlane(src, w, dst, h, w, h, libyuv::kRotate90);
    // The interleaved U,V plane turned as 16-bit elements.
    libyuv::RotatePlane_16(reinterpret_cast<const uint16_t*>(src + px), w / 2,
                           reinterpret_cast<uint16_t*>(dst + px), h / 2, w / 2, h / 2,
                           libyuv::kRotate90);
  });
  AddMemcpy(k, px * 3 / 2, px * 3 / 2);

  k = "Rotate NV12 luma" + dims;
  Add(k, "libyuv", 2 * px,
      [=] { libyuv::RotatePlane(src, w, dst, h, w, h, libyuv::kRotate90); });

  k = "FlipRows RGB24" + dims;
  Add(k, "ours", 6 * px, [=] { FlipRows(src, h, bgrStep, dst); });
  AddMemcpy(k, 3 * px, 3 * px);
}

void PrintRatios() {
  std::printf("\nratios (time / time; below 1 means ours is faster)\n");
  std::printf("%-28s %14s %14s %14s\n", "case", "ours/libyuv", "ours/memcpy", "ours/generic");
  for (const auto& [kase, times] : g_results) {
    auto ratio = [&](const char* other) {
      const auto ours = times.find("ours");
      const auto it = times.find(other);
      return (ours == times.end() || it == times.end()) ? 0.0 : ours->second / it->second;
    };
    auto cell = [](double r) { return r == 0.0 ? std::string("-") : std::to_string(r).substr(0, 5); };
    std::printf("%-28s %14s %14s %14s\n", kase.c_str(), cell(ratio("libyuv")).c_str(),
                cell(ratio("memcpy")).c_str(), cell(ratio("generic")).c_str());
  }
  std::printf("processor level %d\n", levels::MachineCpuLevel());
}

}  // namespace

int main(int argc, char** argv) {
  for (Size s : {Size{1280, 720}, Size{1920, 1080}}) {
    AddConversions(s);
    AddTurns(s);
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatios();
  benchmark::Shutdown();
  return 0;
}
