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

void EventSignaller::SignalAt(HANDLE event, Clock::time_point due) {
  {
    std::lock_guard lock(lock_);
    pending_.emplace(due, event);
  }
  wake_.notify_one();
}

void EventSignaller::Forget(HANDLE event) {
  std::lock_guard lock(lock_);
  for (auto it = pending_.begin(); it != pending_.end();) {
    it = it->second == event ? pending_.erase(it) : std::next(it);
  }
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
    SetEvent(pending_.begin()->second);
    pending_.erase(pending_.begin());
  }
}

}  // namespace nvstandin
