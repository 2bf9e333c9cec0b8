// The frame exchange's round trip as the host sees it, on a real picture, with three workers:
// the shipped network, a trivial network whose mask is the frame's first byte (the engine's
// Infer still runs), and the same mask with no engine at all (the exchange's own cost). Beside
// them, the machine's floor: two processes passing a byte through pipes, and in this process
// the engine's own Infer and the worker's segment() on the shipped network. Figures only.
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <numeric>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "engine.h"
#include "engine_context.h"
#include "frame_geometry.h"
#include "media.h"
#include "worker_process.h"

namespace {

namespace fd = mivra::foreground_detection;
namespace openvino = fd::openvino;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

constexpr int kWarmUp = 50;
constexpr int kFrames = 1000;
constexpr double kExchangeGoalUs = 30.0;
constexpr double kOverInferGoalUs = 100.0;

struct Figures {
  double p50 = 0, p99 = 0, mean = 0;
};

double percentile(const std::vector<double>& sorted, double p) {
  const size_t rank = size_t(std::max(1.0, std::ceil(p * double(sorted.size()))));
  return sorted[rank - 1];
}

Figures figuresOf(std::vector<double> us) {
  std::sort(us.begin(), us.end());
  return {percentile(us, 0.50), percentile(us, 0.99), std::accumulate(us.begin(), us.end(), 0.0) / double(us.size())};
}

double microseconds(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

double timed(const std::function<void()>& f) {
  const Clock::time_point start = Clock::now();
  f();
  return microseconds(Clock::now() - start);
}

// While it lives, this process and the children it starts run on one processor only: a wake-up
// then costs a context switch, not a signal to another processor.
class OneProcessor {
 public:
  OneProcessor() {
    if (::sched_getaffinity(0, sizeof(saved_), &saved_) != 0) throw std::system_error(errno, std::generic_category());
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
      if (CPU_ISSET(cpu, &saved_)) {
        CPU_SET(cpu, &one);
        break;
      }
    }
    if (::sched_setaffinity(0, sizeof(one), &one) != 0) throw std::system_error(errno, std::generic_category());
  }
  ~OneProcessor() { ::sched_setaffinity(0, sizeof(saved_), &saved_); }
  OneProcessor(const OneProcessor&) = delete;
  OneProcessor& operator=(const OneProcessor&) = delete;

 private:
  cpu_set_t saved_;
};

enum class Placement { free, oneProcessor };

struct Timings {
  Figures roundTrip;                  // around segment(): copy in, frame event, done, copy out
  std::optional<Figures> eventsOnly;  // frame event set until done seen, the frame already in its section
};

void expectDone(fd::host::Signal answer, const std::string& program) {
  if (answer != fd::host::Signal::done) throw std::runtime_error(program + " did not answer a frame with done");
}

// Both kinds of request alternate, so that a disturbance of the machine reaches both alike.
Timings timeWorker(const std::string& program, std::span<const uint8_t> frame, Placement placement) {
  std::optional<OneProcessor> pinned;
  if (placement == Placement::oneProcessor) pinned.emplace();
  fd::host::WorkerProcess worker(program);
  if (worker.waitReady() != fd::host::Signal::done)
    throw std::runtime_error(program + " did not start, exit code " + std::to_string(worker.waitExit()));
  Bytes mask(fd::kMaskBytes);
  for (int i = 0; i < kWarmUp; ++i) expectDone(worker.segment(frame, mask), program);

  std::vector<double> roundTrip, eventsOnly;
  for (int i = 0; i < kFrames; ++i) {
    roundTrip.push_back(timed([&] { expectDone(worker.segment(frame, mask), program); }));
    eventsOnly.push_back(timed([&] {
      worker.setFrame();
      expectDone(worker.waitAnswer(), program);
    }));
  }
  if (const int code = worker.stop(); code != 0)
    throw std::runtime_error(program + " ended with exit code " + std::to_string(code));
  return {figuresOf(roundTrip), figuresOf(eventsOnly)};
}

// A byte to a child and back through two pipes: the least any wake-and-answer costs here.
Timings timePipes(Placement placement) {
  std::optional<OneProcessor> pinned;
  if (placement == Placement::oneProcessor) pinned.emplace();
  int there[2], back[2];
  if (::pipe(there) != 0 || ::pipe(back) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
  const pid_t child = ::fork();
  if (child < 0) throw std::system_error(errno, std::generic_category(), "fork");
  if (child == 0) {
    // Its copies of the parent's ends would keep it from ever seeing the end of input.
    ::close(there[1]);
    ::close(back[0]);
    char byte = 0;
    while (::read(there[0], &byte, 1) == 1 && ::write(back[1], &byte, 1) == 1) {
    }
    ::_exit(0);
  }
  ::close(there[0]);
  ::close(back[1]);
  std::vector<double> roundTrip;
  bool answered = true;
  for (int i = 0; i < kWarmUp + kFrames && answered; ++i) {
    const double us = timed([&] {
      char byte = 1;
      answered = ::write(there[1], &byte, 1) == 1 && ::read(back[0], &byte, 1) == 1;
    });
    if (i >= kWarmUp) roundTrip.push_back(us);
  }
  ::close(there[1]);
  ::close(back[0]);
  ::waitpid(child, nullptr, 0);
  if (!answered) throw std::runtime_error("the pipe child stopped answering");
  return {figuresOf(roundTrip), std::nullopt};
}

// The shipped network in this process, as the worker sets it up: Infer alone on a filled
// request, then segment() with its packing and conversion.
struct InProcess {
  Figures infer, segment;
};

InProcess timeInProcess(std::span<const uint8_t> frame) {
  const std::unique_ptr<openvino::Engine> engine = openvino::createEngine(0);
  if (!engine) throw std::runtime_error("the engine did not set up in this process");
  const std::shared_ptr<openvino::EngineContext> context = openvino::createContext(*engine);
  if (!context) throw std::runtime_error("no context for the shipped network");
  Bytes mask(fd::kMaskBytes);
  const auto segment = [&] {
    if (!context->segment(frame.data(), fd::kFrameStride, mask.data(), fd::kMaskStride))
      throw std::runtime_error("segment failed in this process");
  };
  InferenceEngine::InferRequest request = engine->network.CreateInferRequest();
  {
    const auto input = InferenceEngine::as<InferenceEngine::MemoryBlob>(request.GetBlob(engine->info.inputName));
    auto locked = input->wmap();
    std::copy(frame.begin(), frame.end(), locked.as<uint8_t*>());
  }
  // In alternating blocks: each request has buffers of its own, so alternating every call would
  // time the caches refilling, and one long series each would time the machine's drift.
  constexpr int kBlock = 100;
  const auto block = [](const std::function<void()>& f, std::vector<double>& us) {
    for (int i = 0; i < kWarmUp; ++i) f();
    for (int i = 0; i < kBlock; ++i) us.push_back(timed(f));
  };
  std::vector<double> infer, segmented;
  for (int b = 0; b < kFrames / kBlock; ++b) {
    block([&] { request.Infer(); }, infer);
    block(segment, segmented);
  }
  return {figuresOf(infer), figuresOf(segmented)};
}

// Figures taken while something else runs are not the exchange's; the load says so.
std::string loadAverage() {
  std::ifstream file("/proc/loadavg");
  std::string one, five, fifteen;
  file >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

struct Measured {
  std::string name;
  Timings timings;
};

void printRow(const std::string& name, const char* measure, const Figures& f) {
  std::printf("%-40s %-12s %9.1f %9.1f %9.1f\n", name.c_str(), measure, f.p50, f.p99, f.mean);
}

void printTable(const std::vector<Measured>& rows) {
  std::printf("\n%-40s %-12s %9s %9s %9s\n", "worker", "measure", "p50 us", "p99 us", "mean us");
  for (const Measured& row : rows) {
    printRow(row.name, "round trip", row.timings.roundTrip);
    if (row.timings.eventsOnly) printRow(row.name, "events only", *row.timings.eventsOnly);
  }
}

struct Results {
  Timings shipped, trivial, exchangeOnly, exchangeOnlyOneProcessor, pipes, pipesOneProcessor;
};

// The goals take the round trip as the host sees it: frame event set to done event seen, the
// frame already in its section. The host library's copies in and out are shown apart.
void printComparison(const Results& r, const InProcess& engine) {
  const auto events = [](const Timings& t) { return t.eventsOnly->p50; };
  const double exchange = events(r.exchangeOnly);
  std::printf("\nexchange cost (no engine, events p50): %.1f us, goal <= %.0f us: %s\n", exchange, kExchangeGoalUs,
              exchange <= kExchangeGoalUs ? "met" : "NOT met");
  std::printf("  the machine's wake-up floor (pipes, p50): %.1f us\n", r.pipes.roundTrip.p50);
  std::printf("  on one processor (no wake-up across processors): %.1f us\n", events(r.exchangeOnlyOneProcessor));
  std::printf("  the host library's copies in and out (round trip - events, p50): %.1f us\n",
              r.exchangeOnly.roundTrip.p50 - exchange);
  std::printf("trivial network - no engine (events p50): %.1f us, the engine on a near-empty network\n",
              events(r.trivial) - exchange);
  std::printf("in this process: Infer p50 %.1f us, p99 %.1f us; segment() p50 %.1f us, p99 %.1f us\n",
              engine.infer.p50, engine.infer.p99, engine.segment.p50, engine.segment.p99);
  const double over = events(r.shipped) - engine.infer.p50;
  std::printf("shipped events - Infer (p50): %.1f us, goal <= %.0f us: %s; of it packing and conversion "
              "(segment() - Infer): %.1f us\n",
              over, kOverInferGoalUs, over <= kOverInferGoalUs ? "met" : "NOT met",
              engine.segment.p50 - engine.infer.p50);
}

}  // namespace

int main(int argc, char**) {
  if (argc != 1) {
    std::fprintf(stderr, "usage: segworker_exchange_bench\n");
    return 1;
  }
  try {
    const std::string picture = std::string(VEXTRA_PICTURES_DIR) + "/astronaut.png";
    const Bytes frame = vextra::media::readPicture(picture, int(fd::kFrameWidth), int(fd::kFrameHeight));
    std::printf("%d frames of %s at %ux%u after %d to warm up; load average %s\n", kFrames, picture.c_str(),
                fd::kFrameWidth, fd::kFrameHeight, kWarmUp, loadAverage().c_str());
    // The pipes go first: fork is safe only while this process has one thread.
    Results r;
    r.pipes = timePipes(Placement::free);
    r.pipesOneProcessor = timePipes(Placement::oneProcessor);
    r.shipped = timeWorker(VEXTRA_SHIPPED_WORKER, frame, Placement::free);
    r.trivial = timeWorker(VEXTRA_TRIVIAL_WORKER, frame, Placement::free);
    r.exchangeOnly = timeWorker(VEXTRA_EXCHANGE_ONLY_WORKER, frame, Placement::free);
    r.exchangeOnlyOneProcessor = timeWorker(VEXTRA_EXCHANGE_ONLY_WORKER, frame, Placement::oneProcessor);
    printTable({{"segworker", r.shipped},
                {"segworker_first_byte", r.trivial},
                {"segworker_test_segmenter (no engine)", r.exchangeOnly},
                {"segworker_test_segmenter, one processor", r.exchangeOnlyOneProcessor},
                {"pipes (floor)", r.pipes},
                {"pipes (floor), one processor", r.pipesOneProcessor}});
    // Last, so that this process's engine threads do not run beside the workers.
    const InProcess engine = timeInProcess(frame);
    printComparison(r, engine);
    std::printf("load average at the end: %s\n", loadAverage().c_str());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "segworker_exchange_bench: %s\n", e.what());
    return 2;
  }
}
