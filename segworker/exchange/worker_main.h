#pragma once

#include <memory>

#include "frame_exchange.h"

namespace mivra::foreground_detection {

// Exit codes of the worker process.
enum class WorkerExit : int { stopped = 0, arguments = 1, objects = 2, engine = 3, context = 4 };

// What the entry builds on: an engine made once, and a segmenter over it. Neither call
// throws; failure is an empty result.
template <typename B>
concept SegmentationBackend = requires(typename B::Engine& engine) {
  { B::createEngine(0) } -> std::same_as<std::unique_ptr<typename B::Engine>>;
  { B::createContext(engine) } -> std::same_as<std::shared_ptr<typename B::Context>>;
  requires FrameSegmenter<typename B::Context>;
};

// The worker's whole life: argv holds the program name and the six object names.
template <SegmentationBackend Backend>
int workerMain(int argc, char** argv) {
  if (argc < 7) return int(WorkerExit::arguments);
  std::optional<WorkerObjects> objects = openWorkerObjects(argv + 1);
  if (!objects) return int(WorkerExit::objects);

  WorkerExit exit = WorkerExit::stopped;
  std::unique_ptr<typename Backend::Engine> engine = Backend::createEngine(0);
  std::shared_ptr<typename Backend::Context> context;
  if (!engine) {
    exit = WorkerExit::engine;
  } else if (!(context = Backend::createContext(*engine))) {
    exit = WorkerExit::context;
  } else {
    objects->done.set();  // ready
    serveFrames(*objects, *context);
  }
  context.reset();
  engine.reset();
  objects->close();
  return int(exit);
}

}  // namespace mivra::foreground_detection
