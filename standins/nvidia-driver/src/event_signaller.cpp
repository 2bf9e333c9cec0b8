#include "event_signaller.h"

namespace nvstandin {

EventSignaller::EventSignaller() : thread_([this] { Run(); }) {}

EventSignaller::~EventSignaller() {
  {
    std::lock_guard lock(lock_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void EventSignaller::Schedule(Clock::time_point due, std::function<void()> work) {
  {
    std::lock_guard lock(lock_);
    pending_.emplace(due, std::move(work));
  }
  wake_.notify_one();
}

void EventSignaller::Run() {
  std::unique_lock lock(lock_);
  while (!stopping_) {
    if (pending_.empty()) {
      wake_.wait(lock);
      continue;
    }
    const auto due = pending_.begin()->first;
    if (Clock::now() < due) {
      wake_.wait_until(lock, due);
      continue;
    }
    std::function<void()> work = std::move(pending_.begin()->second);
    pending_.erase(pending_.begin());
    lock.unlock();
    work();
    lock.lock();
  }
}

}  // namespace nvstandin
