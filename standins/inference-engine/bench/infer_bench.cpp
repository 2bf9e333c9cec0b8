// Times Infer on the shipped network the way the worker runs it, on one and two threads, beside
// the reference executor. Usage: infer_bench [picture]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <inference_engine.hpp>

#include <ie_standin_reference.hpp>

#include "aes_cbc.h"
#include "embedded_files.h"
#include "media.h"
#include "network_key.h"

namespace {

namespace ie = InferenceEngine;
namespace worker = mivra::foreground_detection::openvino;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 256, kHeight = 144;
constexpr int kWarmUp = 50, kRuns = 1000, kReferenceRuns = 3;

Bytes deciphered(const std::string& path) {
  for (const auto& f : worker::embeddedFiles())
    if (f.path == path)
      return vextra::embed::decipher({f.begin, f.end}, worker::kNetworkKey, worker::kNetworkIv);
  throw std::runtime_error("no embedded file " + path);
}

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Milliseconds of each of runs calls.
template <typename F>
std::vector<double> timesOf(int runs, F f) {
  std::vector<double> times(static_cast<size_t>(runs));
  for (double& t : times) {
    const Clock::time_point start = Clock::now();
    f();
    t = ms(Clock::now() - start);
  }
  return times;
}

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

// The picture with the network's own mask of it as the previous mask, as in a running stream.
Bytes withPreviousMask(ie::InferRequest& request, const std::string& in, const std::string& out,
                       Bytes frame) {
  std::copy(frame.begin(), frame.end(),
            ie::as<ie::MemoryBlob>(request.GetBlob(in))->wmap().as<uint8_t*>());
  request.Infer();
  const float* mask = ie::as<ie::MemoryBlob>(request.GetBlob(out))->rmap().as<const float*>();
  for (size_t k = 0; k < size_t(kWidth * kHeight); ++k)
    frame[k * 4 + 3] = uint8_t(int(mask[k] * 255.0f));
  return frame;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string picture = argc > 1 ? argv[1] : VEXTRA_PICTURES_DIR "/astronaut.png";
  ie::Core core;
  const Bytes graph = deciphered("inference_engine/graph");
  Bytes weights = deciphered("inference_engine/weights");
  ie::CNNNetwork network =
      core.ReadNetwork(std::string(graph.begin(), graph.end()),
                       ie::make_shared_blob<uint8_t>(
                           ie::TensorDesc(ie::Precision::U8, {weights.size()}, ie::Layout::ANY),
                           weights.data(), weights.size()));
  weights.clear();
  for (auto& [name, info] : network.getInputsInfo()) info->setPrecision(ie::Precision::U8);
  const std::string in = network.getInputsInfo().begin()->first;
  const std::string out = network.getOutputsInfo().begin()->first;

  const double macs = ie::standin::convolutionMultiplyAdds(network);
  std::printf("%s, %d x %d; %.2f million multiply-adds per frame\n", picture.c_str(), kWidth,
              kHeight, macs / 1e6);

  Bytes frame = vextra::media::readPicture(picture, kWidth, kHeight, vextra::media::Fit::cover);
  for (size_t k = 3; k < frame.size(); k += 4) frame[k] = 0;

  for (const char* threads : {"1", "2"}) {
    ie::ExecutableNetwork loaded = core.LoadNetwork(network, "CPU", {{"CPU_THREADS_NUM", threads}});
    ie::InferRequest request = loaded.CreateInferRequest();
    frame = withPreviousMask(request, in, out, frame);
    std::copy(frame.begin(), frame.end(),
              ie::as<ie::MemoryBlob>(request.GetBlob(in))->wmap().as<uint8_t*>());
    for (int k = 0; k < kWarmUp; ++k) request.Infer();
    const std::vector<double> times = timesOf(kRuns, [&] { request.Infer(); });
    const double p50 = percentile(times, 0.5);
    std::printf("oneDNN, %s thread%s: p50 %.3f ms, p99 %.3f ms, %.1f GFLOP/s at p50 (%d runs)\n",
                threads, threads[0] == '1' ? " " : "s", p50, percentile(times, 0.99),
                2 * macs / (p50 * 1e6), kRuns);
  }

  ie::standin::ReferenceRun reference(network);
  reference.input(0).assign(frame.begin(), frame.end());
  const std::vector<double> times = timesOf(kReferenceRuns, [&] { reference.run(); });
  const double p50 = percentile(times, 0.5);
  std::printf("reference executor: median %.1f ms, %.2f GFLOP/s (%d runs)\n", p50,
              2 * macs / (p50 * 1e6), kReferenceRuns);
  return 0;
}
