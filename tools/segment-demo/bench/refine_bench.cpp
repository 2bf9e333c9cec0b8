// The mask refinement's time per 1920 × 1080 frame beside the worker's time per frame, on one
// processor (the bench and the worker it starts), over the sample photograph. Requests and
// refinements alternate, so that other load on the machine weighs on both alike; processor
// time is given beside the wall-clock time, as it is what the two cost. Figures only.
#include <sched.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

#include "frame_geometry.h"
#include "mask_refiner.h"
#include "mask_scaler.h"
#include "media.h"
#include "worker_process.h"

namespace {

namespace fd = mivra::foreground_detection;
using vextra::segment_demo::MaskRefiner;
using vextra::segment_demo::MaskScaler;
using Bytes = std::vector<uint8_t>;

constexpr int kWidth = 1920, kHeight = 1080;
constexpr int kWarmUp = 10, kFrames = 200;

double wallMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double threadCpuMs() {
  timespec t;
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Processor time of the children this process has waited for.
double childrenCpuMs() {
  rusage usage;
  ::getrusage(RUSAGE_CHILDREN, &usage);
  const auto ms = [](timeval t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// The first processor this process may run on, for it and the children it starts.
bool onOneProcessor() {
  cpu_set_t allowed, one;
  if (::sched_getaffinity(0, sizeof(allowed), &allowed) != 0) return false;
  CPU_ZERO(&one);
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
    if (CPU_ISSET(cpu, &allowed)) {
      CPU_SET(cpu, &one);
      return ::sched_setaffinity(0, sizeof(one), &one) == 0;
    }
  return false;
}

struct Timings {
  std::vector<double> wall;
  double cpu = 0;  // per call

  void add(double ms) { wall.push_back(ms); }
  double mean() const { return std::accumulate(wall.begin(), wall.end(), 0.0) / double(wall.size()); }
  double p99() const {
    std::vector<double> sorted = wall;
    std::sort(sorted.begin(), sorted.end());
    return sorted[size_t(std::ceil(0.99 * double(sorted.size()))) - 1];
  }
};

// Times f by the wall clock and this thread's processor time.
void timed(Timings& into, double& cpuTotal, const std::function<void()>& f) {
  const double cpu = threadCpuMs(), wall = wallMs();
  f();
  into.add(wallMs() - wall);
  cpuTotal += threadCpuMs() - cpu;
}

// The worker's processor time from start to stop, with frames requests between.
double workerRun(int frames, const std::function<void(fd::host::WorkerProcess&, int)>& perFrame) {
  const double before = childrenCpuMs();
  fd::host::WorkerProcess worker(VEXTRA_WORKER_PATH);
  if (worker.waitReady() != fd::host::Signal::done) throw std::runtime_error("the worker did not start");
  for (int i = 0; i < frames; ++i) perFrame(worker, i);
  if (worker.stop() != 0) throw std::runtime_error("the worker did not stop cleanly");
  return childrenCpuMs() - before;
}

void print(const char* what, const Timings& t, double workerCpu) {
  std::printf("%-38s %9.2f %9.2f %9.2f %8.2f\n", what, t.mean(), t.p99(), t.cpu, t.cpu / workerCpu);
}

}  // namespace

int main() {
  const bool pinned = onOneProcessor();
  const std::string photo = std::string(VEXTRA_PICTURES_DIR) + "/astronaut.png";
  const Bytes small = vextra::media::readPicture(photo, int(fd::kFrameWidth), int(fd::kFrameHeight));
  const Bytes full = vextra::media::readPicture(photo, kWidth, kHeight, vextra::media::Fit::cover);
  Bytes mask(fd::kMaskBytes), out(size_t(kWidth) * kHeight);
  MaskRefiner refiner(int(fd::kFrameWidth), int(fd::kFrameHeight), kWidth, kHeight);
  MaskScaler scaler(int(fd::kFrameWidth), int(fd::kFrameHeight), kWidth, kHeight);

  // The engine's start-up, measured alone, is taken off the worker's processor time.
  const double startUp = workerRun(0, {});
  Timings worker, refine, scale;
  double ignored = 0;
  const double workerTotal = workerRun(kWarmUp + kFrames, [&](fd::host::WorkerProcess& w, int i) {
    const auto request = [&] {
      if (w.segment(small, mask) != fd::host::Signal::done) throw std::runtime_error("the worker failed a frame");
    };
    if (i < kWarmUp) {
      request();
      refiner.refine(full, mask, out);
      return;
    }
    timed(worker, ignored, request);
    timed(refine, refine.cpu, [&] { refiner.refine(full, mask, out); });
    timed(scale, scale.cpu, [&] { scaler.scale(mask, out); });
  });
  worker.cpu = (workerTotal - startUp) / (kWarmUp + kFrames);
  refine.cpu /= kFrames;
  scale.cpu /= kFrames;

  std::printf("%dx%d, %s, %d frames (window radius %d px, grid step %d px)\n", kWidth, kHeight,
              pinned ? "one processor" : "processors not pinned", kFrames, refiner.radius(), refiner.step());
  std::printf("%-38s %9s %9s %9s %8s\n", "ms per frame", "wall mean", "wall p99", "processor", "/ worker");
  print("worker, request to answer (256x144)", worker, worker.cpu);
  print("mask refinement (fast guided filter)", refine, worker.cpu);
  print("plain bilinear scaling, for comparison", scale, worker.cpu);
  return 0;
}
