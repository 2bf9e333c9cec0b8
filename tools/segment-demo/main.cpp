// segment-demo [INPUT] [OUTPUT_DIR]: a picture or video through the segmentation worker, the
// way a host runs it; writes the foreground masks and the input with its background blurred.
// Without arguments: the sample photograph.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <numeric>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "background_blur.h"
#include "frame_geometry.h"
#include "mask_scaler.h"
#include "media.h"
#include "worker_main.h"
#include "worker_process.h"

namespace {

namespace fd = mivra::foreground_detection;
namespace fs = std::filesystem;
namespace media = vextra::media;
using vextra::segment_demo::BackgroundBlur;
using vextra::segment_demo::MaskScaler;
using Bytes = std::vector<uint8_t>;

enum class DemoExit : int { done = 0, usage = 1, input = 2, worker = 3, output = 4, unexpected = 5 };

struct DemoError : std::runtime_error {
  DemoExit exit;
  DemoError(DemoExit e, const std::string& message) : std::runtime_error(message), exit(e) {}
};

// A still picture's mask is best once the fed-back mask has settled on it.
constexpr int kStillRequests = 5;

// Runs f, turning any other failure into a DemoError with the given exit code.
template <typename F>
auto failingAs(DemoExit exit, const std::string& what, F f) {
  try {
    return f();
  } catch (const DemoError&) {
    throw;
  } catch (const std::exception& e) {
    throw DemoError(exit, what + ": " + e.what());
  }
}

std::string workerExitText(int code) {
  switch (fd::WorkerExit(code)) {
    case fd::WorkerExit::stopped: return "exit code 0";
    case fd::WorkerExit::arguments: return "exit code 1, bad arguments";
    case fd::WorkerExit::objects: return "exit code 2, named objects not opened";
    case fd::WorkerExit::engine: return "exit code 3, inference engine not set up";
    case fd::WorkerExit::context: return "exit code 4, segmenter not set up";
  }
  return code < 0 ? std::string("killed by a signal") : "exit code " + std::to_string(code);
}

fd::host::WorkerProcess startProcess(const std::string& program) {
  return failingAs(DemoExit::worker, "cannot start the worker " + program,
                   [&] { return fd::host::WorkerProcess(program); });
}

// The worker, ready, with the time the host waited for each answer.
class Worker {
 public:
  explicit Worker(const std::string& program) : process_(startProcess(program)) {
    const auto ready = failingAs(DemoExit::worker, "waiting for the worker", [&] { return process_.waitReady(); });
    if (ready != fd::host::Signal::done)
      throw DemoError(DemoExit::worker, "the worker ended before it was ready: " + workerExitText(process_.waitExit()));
  }

  void segment(std::span<const uint8_t> frame, std::span<uint8_t> mask) {
    const auto start = std::chrono::steady_clock::now();
    const auto answer = failingAs(DemoExit::worker, "waiting for the worker", [&] { return process_.segment(frame, mask); });
    millis_.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    const std::string request = "request " + std::to_string(millis_.size());
    if (answer == fd::host::Signal::fail) throw DemoError(DemoExit::worker, "the worker failed " + request);
    if (answer == fd::host::Signal::exited)
      throw DemoError(DemoExit::worker, "the worker ended at " + request + ": " + workerExitText(process_.waitExit()));
  }

  void stop() {
    const int code = process_.stop();
    if (code != 0) throw DemoError(DemoExit::worker, "the worker did not stop cleanly: " + workerExitText(code));
  }

  const std::vector<double>& millis() const { return millis_; }

 private:
  fd::host::WorkerProcess process_;
  std::vector<double> millis_;
};

// The input twice over: at its own size for the outputs, stretched to the exchange's size for
// the worker (ffmpeg's area scaling is better than a plain resample).
class FrameSource {
 public:
  FrameSource(const std::string& path, int width, int height)
      : path_(path), full_(path, width, height), small_(path, int(fd::kFrameWidth), int(fd::kFrameHeight)) {}

  bool next(std::span<uint8_t> full, std::span<uint8_t> small) {
    return failingAs(DemoExit::input, path_, [&] {
      const bool gotFull = full_.next(full);
      const bool gotSmall = small_.next(small);
      return gotFull && gotSmall;
    });
  }

 private:
  std::string path_;
  media::FrameReader full_;
  media::FrameReader small_;
};

// One file written; its path is printed once it is complete.
class Output {
 public:
  Output(const fs::path& path, const media::StreamInfo& info, media::PixelFormat format)
      : path_(path.string()), writer_(failingAs(DemoExit::output, path_, [&] {
          return media::FrameWriter(path_, info.width, info.height, format, info.frameRate);
        })) {}

  void write(std::span<const uint8_t> pixels) {
    failingAs(DemoExit::output, path_, [&] { writer_.write(pixels); });
  }

  void finish() {
    failingAs(DemoExit::output, path_, [&] { writer_.finish(); });
    std::printf("%s\n", path_.c_str());
  }

 private:
  std::string path_;
  media::FrameWriter writer_;
};

// One frame's buffers and its way from the worker's mask to the two outputs.
struct Frame {
  Bytes full, small, mask, fullMask, blurred;
  MaskScaler scaler;
  BackgroundBlur background;

  explicit Frame(const media::StreamInfo& info)
      : full(pixelCount(info) * 4),
        small(fd::kFrameBytes),
        mask(fd::kMaskBytes),
        fullMask(pixelCount(info)),
        blurred(full.size()),
        scaler(int(fd::kFrameWidth), int(fd::kFrameHeight), info.width, info.height),
        background(info.width, info.height) {}

  static size_t pixelCount(const media::StreamInfo& info) { return size_t(info.width) * size_t(info.height); }

  void compose() {
    scaler.scale(mask, fullMask);
    background.apply(full, fullMask, blurred);
  }
};

// The mask and the blurred-background frame: pictures for a picture, videos for a video.
struct Outputs {
  Output mask;
  Output blurred;

  Outputs(const fs::path& dir, const media::StreamInfo& info)
      : mask(dir / name("mask", info), info, media::PixelFormat::gray),
        blurred(dir / name("blurred", info), info, media::PixelFormat::bgra) {}

  static std::string name(const std::string& stem, const media::StreamInfo& info) {
    return stem + (info.still ? ".png" : ".mp4");
  }

  void write(const Frame& frame) {
    mask.write(frame.fullMask);
    blurred.write(frame.blurred);
  }

  void finish() {
    mask.finish();
    blurred.finish();
  }
};

media::StreamInfo probeInput(const fs::path& input) {
  if (!fs::is_regular_file(input)) throw DemoError(DemoExit::input, input.string() + ": no such file");
  return failingAs(DemoExit::input, "cannot decode", [&] { return media::probe(input.string()); });
}

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const size_t rank = size_t(std::max(1.0, std::ceil(p * double(values.size()))));
  return values[rank - 1];
}

// The first request pays the engine's one-time warm-up, so it is told apart from the
// steady per-frame time.
void printTimes(int frames, const std::vector<double>& millis) {
  std::printf("frames processed: %d", frames);
  if (size_t(frames) != millis.size()) std::printf(" (%zu worker requests)", millis.size());
  std::printf("\nfirst request (warm-up): %.2f ms\n", millis.front());
  if (millis.size() < 2) return;
  const std::vector<double> steady(millis.begin() + 1, millis.end());
  const double mean = std::accumulate(steady.begin(), steady.end(), 0.0) / double(steady.size());
  std::printf("worker time per frame after it: mean %.2f ms, p99 %.2f ms over %zu requests\n", mean,
              percentile(steady, 0.99), steady.size());
}

int run(const fs::path& input, const fs::path& outputDir) {
  const media::StreamInfo info = probeInput(input);
  failingAs(DemoExit::output, "cannot make the output folder", [&] { fs::create_directories(outputDir); });
  std::printf("output folder: %s\n", outputDir.c_str());

  Worker worker(VEXTRA_WORKER_PATH);
  Frame frame(info);
  FrameSource source(input.string(), info.width, info.height);
  if (!source.next(frame.full, frame.small))
    throw DemoError(DemoExit::input, input.string() + ": no frame could be decoded");

  std::optional<Outputs> outputs;
  int frames = 0;
  do {
    for (int i = 0; i < (info.still ? kStillRequests : 1); ++i) worker.segment(frame.small, frame.mask);
    frame.compose();
    // Opened after the first answer, so that the encoders' start does not delay it.
    if (!outputs) outputs.emplace(outputDir, info);
    outputs->write(frame);
    ++frames;
  } while (!info.still && source.next(frame.full, frame.small));
  worker.stop();
  outputs->finish();
  printTimes(frames, worker.millis());
  return int(DemoExit::done);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 3 || (argc > 1 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help"))) {
    std::fprintf(stderr, "usage: %s [INPUT] [OUTPUT_DIR]\n", argv[0]);
    return int(DemoExit::usage);
  }
  const fs::path input = argc > 1 ? fs::path(argv[1]) : fs::path(VEXTRA_PICTURES_DIR) / "astronaut.png";
  const fs::path outputDir = argc > 2 ? fs::path(argv[2]) : fs::path(VEXTRA_SEGMENT_OUTPUT_DIR);
  try {
    return run(input, outputDir);
  } catch (const DemoError& e) {
    std::fprintf(stderr, "segment-demo: %s\n", e.what());
    return int(e.exit);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "segment-demo: %s\n", e.what());
    return int(DemoExit::unexpected);
  }
}
