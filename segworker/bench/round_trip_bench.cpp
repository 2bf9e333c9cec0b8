// The shipped worker's round trip per frame as the host sees it (frame copied in, frame event
// set, done event seen, mask copied out), over the sample photographs as a still camera shows
// them. Built natively and for Windows from this one source; wine-round-trip.sh runs both in
// one go and prints them side by side. Figures only.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <vector>

#include "photo_run.h"
#include "worker_program.h"

namespace {

namespace fd = mivra::foreground_detection;
using Clock = std::chrono::steady_clock;

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, std::size_t(p * double(values.size())))];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: segworker_round_trip_bench FRAMES_FILE [FRAMES]\n");
    return 2;
  }
  try {
    const std::vector<fd::test::PhotoRecord> photos = fd::test::readPhotoRecords(argv[1]);
    const int frames = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    fd::host::WorkerProcess worker(fd::test::workerPrograms().front().path);
    if (worker.waitReady() != fd::host::Signal::done) throw std::runtime_error("the worker did not start");
    std::vector<uint8_t> mask(fd::kMaskBytes);
    const auto request = [&](int i) {
      const auto& frame = photos[std::size_t(i / fd::test::kSettleFrames) % photos.size()].frame;
      const auto start = Clock::now();
      if (worker.segment(frame, mask) != fd::host::Signal::done) throw std::runtime_error("a request failed");
      return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    const double first = request(0);
    std::vector<double> times;
    for (int i = 1; i <= frames; ++i) times.push_back(request(i));
    worker.stop();
    std::printf("round trip per frame over %d frames: p50 %.2f ms, p99 %.2f ms (first request %.1f ms)\n", frames,
                percentile(times, 0.5), percentile(times, 0.99), first);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "segworker_round_trip_bench: %s\n", e.what());
    return 1;
  }
}
