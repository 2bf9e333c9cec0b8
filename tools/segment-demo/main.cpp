// segment-demo [--background FILE] [--blur RADIUS] [INPUT] [OUTPUT_DIR]: a picture or video
// through the segmentation worker, the way a host runs it; writes the foreground masks, the
// input with its background blurred or replaced, and an overview of the three. Without
// arguments: the sample photograph.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
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

#include "background.h"
#include "box_blur.h"
#include "frame_geometry.h"
#include "mask_refiner.h"
#include "media.h"
#include "overview.h"
#include "worker_main.h"
#include "worker_process.h"

namespace {

namespace fd = mivra::foreground_detection;
namespace fs = std::filesystem;
namespace media = vextra::media;
using vextra::segment_demo::Background;
using vextra::segment_demo::BoxBlur;
using vextra::segment_demo::MaskRefiner;
using Bytes = std::vector<uint8_t>;

enum class DemoExit : int { done = 0, usage = 1, input = 2, worker = 3, output = 4, unexpected = 5 };

struct DemoError : std::runtime_error {
  DemoExit exit;
  DemoError(DemoExit e, const std::string& message) : std::runtime_error(message), exit(e) {}
};

// A still picture's mask is best once the fed-back mask has settled on it.
constexpr int kStillRequests = 5;
constexpr int kMaxBlurRadius = 1000;
constexpr const char* kUsage = "usage: segment-demo [--background FILE] [--blur RADIUS] [INPUT] [OUTPUT_DIR]";

struct Options {
  fs::path input = fs::path(VEXTRA_PICTURES_DIR) / "astronaut.png";
  fs::path outputDir = VEXTRA_SEGMENT_OUTPUT_DIR;
  std::optional<fs::path> background;
  std::optional<int> blurRadius;
};

int blurRadius(const std::string& text) {
  int radius = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), radius);
  if (error != std::errc() || end != text.data() + text.size() || radius < 0 || radius > kMaxBlurRadius)
    throw DemoError(DemoExit::usage, "--blur " + text + ": RADIUS must be a whole number of pixels from 0 to " +
                                         std::to_string(kMaxBlurRadius));
  return radius;
}

Options parseArguments(const std::vector<std::string>& arguments) {
  Options options;
  std::vector<std::string> positional;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    const bool takesValue = a == "--background" || a == "--blur";
    if (takesValue && i + 1 == arguments.size()) throw DemoError(DemoExit::usage, a + " needs a value; " + kUsage);
    if (a == "--background")
      options.background = arguments[++i];
    else if (a == "--blur")
      options.blurRadius = blurRadius(arguments[++i]);
    else if (a.size() > 1 && a[0] == '-')
      throw DemoError(DemoExit::usage, a == "-h" || a == "--help" ? kUsage : "unknown option " + a + "; " + kUsage);
    else
      positional.push_back(a);
  }
  if (positional.size() > 2) throw DemoError(DemoExit::usage, kUsage);
  if (positional.size() > 0) options.input = positional[0];
  if (positional.size() > 1) options.outputDir = positional[1];
  return options;
}

// ffmpeg's own complaint about a file it cannot read is kept off the terminal while it lives,
// so that the demo's one line says what went wrong.
class QuietErrors {
 public:
  QuietErrors() : saved_(::dup(STDERR_FILENO)) {
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
      ::dup2(null, STDERR_FILENO);
      ::close(null);
    }
  }
  ~QuietErrors() {
    if (saved_ < 0) return;
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
  }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  int saved_;
};

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

// One frame's buffers and its way from the worker's mask to the outputs.
struct Frame {
  Bytes full, small, mask, fullMask, result;
  MaskRefiner refiner;
  Background background;

  Frame(const media::StreamInfo& info, Background&& behind)
      : full(pixelCount(info) * 4),
        small(fd::kFrameBytes),
        mask(fd::kMaskBytes),
        fullMask(pixelCount(info)),
        result(full.size()),
        refiner(int(fd::kFrameWidth), int(fd::kFrameHeight), info.width, info.height),
        background(std::move(behind)) {}

  static size_t pixelCount(const media::StreamInfo& info) { return size_t(info.width) * size_t(info.height); }

  void compose() {
    refiner.refine(full, mask, fullMask);
    background.composite(full, fullMask, result);
  }
};

// The mask and the result: pictures for a picture, videos for a video.
struct Outputs {
  Output mask;
  Output result;

  Outputs(const fs::path& dir, const media::StreamInfo& info, const std::string& resultName)
      : mask(dir / name("mask", info), info, media::PixelFormat::gray),
        result(dir / name(resultName, info), info, media::PixelFormat::bgra) {}

  static std::string name(const std::string& stem, const media::StreamInfo& info) {
    return stem + (info.still ? ".png" : ".mp4");
  }

  void write(const Frame& frame) {
    mask.write(frame.fullMask);
    result.write(frame.result);
  }

  void finish() {
    mask.finish();
    result.finish();
  }
};

media::StreamInfo probeFile(const fs::path& path, const std::string& what) {
  if (!fs::is_regular_file(path)) throw DemoError(DemoExit::input, what + path.string() + ": no such file");
  try {
    QuietErrors quiet;
    return media::probe(path.string());
  } catch (const std::exception&) {
    throw DemoError(DemoExit::input, what + path.string() + ": cannot be decoded");
  }
}

// Checked and read before anything is written, so a bad value leaves no outputs behind.
Background backgroundFor(const Options& options, const media::StreamInfo& info) {
  const int radius = options.blurRadius.value_or(options.background ? 0 : BoxBlur::defaultRadius(info.width, info.height));
  if (!options.background) return Background(info.width, info.height, radius);
  const std::string what = "--background ";
  probeFile(*options.background, what);
  try {
    QuietErrors quiet;
    return Background(info.width, info.height, radius,
                      media::readPicture(options.background->string(), info.width, info.height, media::Fit::cover));
  } catch (const std::exception&) {
    throw DemoError(DemoExit::input, what + options.background->string() + ": cannot be decoded");
  }
}

void writeOverview(const fs::path& dir, const media::StreamInfo& info, const Frame& frame) {
  const std::string path = (dir / "overview.png").string();
  failingAs(DemoExit::output, path, [&] {
    const auto picture = vextra::segment_demo::overview(info.width, info.height, frame.full, frame.fullMask, frame.result);
    media::writePicture(path, picture.width, picture.height, media::PixelFormat::bgra, picture.pixels);
  });
  std::printf("%s\n", path.c_str());
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

int run(const Options& options) {
  const fs::path& input = options.input;
  const fs::path& outputDir = options.outputDir;
  const media::StreamInfo info = probeFile(input, "");
  Frame frame(info, backgroundFor(options, info));
  failingAs(DemoExit::output, "cannot make the output folder", [&] { fs::create_directories(outputDir); });
  std::printf("output folder: %s\n", outputDir.c_str());

  Worker worker(VEXTRA_WORKER_PATH);
  FrameSource source(input.string(), info.width, info.height);
  if (!source.next(frame.full, frame.small))
    throw DemoError(DemoExit::input, input.string() + ": no frame could be decoded");

  std::optional<Outputs> outputs;
  int frames = 0;
  do {
    for (int i = 0; i < (info.still ? kStillRequests : 1); ++i) worker.segment(frame.small, frame.mask);
    frame.compose();
    // Opened after the first answer, so that the encoders' start does not delay it.
    if (!outputs) outputs.emplace(outputDir, info, options.background ? "replaced" : "blurred");
    outputs->write(frame);
    ++frames;
  } while (!info.still && source.next(frame.full, frame.small));
  worker.stop();
  outputs->finish();
  // A video's last frame: by then the fed-back mask has settled.
  writeOverview(outputDir, info, frame);
  printTimes(frames, worker.millis());
  return int(DemoExit::done);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(parseArguments(std::vector<std::string>(argv + 1, argv + argc)));
  } catch (const DemoError& e) {
    std::fprintf(stderr, "segment-demo: %s\n", e.what());
    return int(e.exit);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "segment-demo: %s\n", e.what());
    return int(DemoExit::unexpected);
  }
}
