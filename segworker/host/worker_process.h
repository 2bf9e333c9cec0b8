#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "frame_geometry.h"

// The host's side of the worker: it creates the six named objects, starts the worker with
// their names and exchanges frames with it. POSIX shared memory natively, Win32 on Windows.
namespace mivra::foreground_detection::host {

struct WorkerOptions {
  std::size_t frameSectionBytes = kFrameBytes;
  std::size_t maskSectionBytes = kMaskBytes;
  // How many of the six names are passed, and what follows them.
  int namesPassed = 6;
  std::vector<std::string> extraArguments;
  // An object (0..5, command-line order) whose name is passed but which is not created.
  int missingObject = -1;
  // Set in the worker's environment on top of the host's.
  std::vector<std::pair<std::string, std::string>> environment;
  // Events set before the worker is started.
  bool stopBeforeStart = false;
  bool frameBeforeStart = false;
};

enum class Signal { done, fail, exited };

class WorkerProcess {
 public:
  // Throws std::system_error when an object cannot be made or the program cannot start.
  WorkerProcess(const std::string& program, const WorkerOptions& options = {});
  // Stops a worker still running, killing it if it does not end.
  ~WorkerProcess();
  WorkerProcess(const WorkerProcess&) = delete;
  WorkerProcess& operator=(const WorkerProcess&) = delete;

  // The ready signal, or the worker's end when it could not start.
  Signal waitReady();
  // The answer to the frame in progress. After the worker ended: a done or fail it left
  // unconsumed, else exited.
  Signal waitAnswer();

  void setFrame();
  void setStop();

  // The host's own views of the two sections.
  std::span<uint8_t> frameSection();
  std::span<const uint8_t> maskSection() const;

  // One request: copies the frame in, sets the frame event, waits, and copies the mask out
  // when it is done.
  Signal segment(std::span<const uint8_t> frame, std::span<uint8_t> mask);

  // Sets the stop event and waits for the exit code.
  int stop();
  // Waits for the worker to end; its exit code (-1 when it was killed).
  int waitExit();

  const std::array<std::string, 6>& names() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace mivra::foreground_detection::host
