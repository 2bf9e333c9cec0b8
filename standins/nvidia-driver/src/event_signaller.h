#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace nvstandin {

// Runs each scheduled piece of work on a worker thread at its due time, in due order, as the
// driver finishes pictures by itself. Work still waiting when it is destroyed never runs;
// work is run without lock_ held, so it may take locks of its own.
class EventSignaller {
 public:
  using Clock = std::chrono::steady_clock;

  EventSignaller();
  ~EventSignaller();
  EventSignaller(const EventSignaller&) = delete;
  EventSignaller& operator=(const EventSignaller&) = delete;

  void Schedule(Clock::time_point due, std::function<void()> work);

 private:
  void Run();

  std::mutex lock_;
  std::condition_variable wake_;
  std::multimap<Clock::time_point, std::function<void()>> pending_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace nvstandin
