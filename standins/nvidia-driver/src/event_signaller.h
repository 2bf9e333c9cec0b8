#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace nvstandin {

// Sets completion events from a worker thread at their due times, as the driver does when
// a picture is done. Any thread; lock_ guards the pending events, and an event forgotten
// under it is never set afterwards.
class EventSignaller {
 public:
  using Clock = std::chrono::steady_clock;

  EventSignaller();
  ~EventSignaller();
  EventSignaller(const EventSignaller&) = delete;
  EventSignaller& operator=(const EventSignaller&) = delete;

  void SignalAt(HANDLE event, Clock::time_point due);
  void Forget(HANDLE event);

 private:
  void Run();

  std::mutex lock_;
  std::condition_variable wake_;
  std::multimap<Clock::time_point, HANDLE> pending_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace nvstandin
