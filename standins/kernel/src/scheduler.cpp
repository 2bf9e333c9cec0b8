// The interrupt-time clock, kernel timers and DPCs. One timer thread plays the second
// processor: it fires expired timers, queues their DPCs and runs every queued DPC at
// DISPATCH_LEVEL. Timer and DPC state lives inside the caller's KTIMER and KDPC.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "bugcheck.h"
#include "irql.h"
#include "kernel_standin/clock.h"
#include "scheduler.h"

namespace kstandin {
namespace {

using Steady = std::chrono::steady_clock;

constexpr uint32_t kTimerMagic = 0x724D544B;  // "KTMr"
constexpr uint32_t kDpcMagic = 0x6350444B;    // "KDPc"
// Absolute due times count system time: 100-ns units since 1601. The stand-in's machine
// booted at the start of 2024.
constexpr ULONGLONG kSystemTimeAtBoot = 133485408000000000ull;
constexpr ULONGLONG kUnitsPerMillisecond = 10000;

struct TimerState {
  uint32_t magic = kTimerMagic;
  bool inserted = false;
  ULONGLONG due = 0;  // interrupt time
  LONG periodMs = 0;
  PKDPC dpc = nullptr;
};
static_assert(sizeof(TimerState) <= sizeof(KTIMER));

struct DpcState {
  uint32_t magic = kDpcMagic;
  bool queued = false;
  PKDEFERRED_ROUTINE routine = nullptr;
  PVOID context = nullptr;
  PVOID argument1 = nullptr;
  PVOID argument2 = nullptr;
};
static_assert(sizeof(DpcState) <= sizeof(KDPC));

TimerState& TimerOf(PKTIMER timer) {
  auto* state = std::launder(reinterpret_cast<TimerState*>(timer));
  if (state->magic != kTimerMagic)
    BugCheck(TIMER_OR_DPC_INVALID, "timer used before KeInitializeTimerEx", reinterpret_cast<ULONG_PTR>(timer));
  return *state;
}

DpcState& DpcOf(PKDPC dpc) {
  auto* state = std::launder(reinterpret_cast<DpcState*>(dpc));
  if (state->magic != kDpcMagic)
    BugCheck(TIMER_OR_DPC_INVALID, "DPC used before KeInitializeDpc", reinterpret_cast<ULONG_PTR>(dpc));
  return *state;
}

thread_local bool tOnTimerThread = false;

class Scheduler {
 public:
  static Scheduler& Instance() {
    static Scheduler scheduler;
    return scheduler;
  }

  ~Scheduler() {
    {
      std::lock_guard guard(lock_);
      stop_ = true;
      ++changes_;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  ULONGLONG Now() {
    std::lock_guard guard(lock_);
    return NowLocked();
  }

  void UseHand(ULONGLONG start) {
    std::lock_guard guard(lock_);
    hand_ = true;
    handNow_ = start;
    Changed();
  }

  void UseReal() {
    std::lock_guard guard(lock_);
    if (!hand_) return;
    realOffset_ = handNow_;
    realBase_ = Steady::now();
    hand_ = false;
    Changed();
  }

  void Advance(ULONGLONG delta) {
    RequireTestThread("AdvanceClock");
    std::unique_lock lock(lock_);
    if (!hand_) BugCheck(PORT_CONTRACT_BROKEN, "AdvanceClock needs the hand clock");
    EnsureThreadLocked();
    const ULONGLONG target = handNow_ + delta;
    for (;;) {
      const std::optional<ULONGLONG> next = EarliestDueLocked();
      const bool stepping = next && *next <= target;
      handNow_ = stepping ? std::max(handNow_, *next) : target;
      RunRoundLocked(lock);
      if (!stepping) return;
    }
  }

  BOOLEAN SetTimer(PKTIMER timer, LARGE_INTEGER dueTime, LONG period, PKDPC dpc) {
    RequireIrqlAtMost(DISPATCH_LEVEL, "KeSetTimerEx");
    if (period < 0) BugCheck(TIMER_OR_DPC_INVALID, "KeSetTimerEx with a negative period", period);
    if (dpc != nullptr) DpcOf(dpc);
    std::lock_guard guard(lock_);
    TimerState& state = TimerOf(timer);
    const bool wasInserted = state.inserted;
    const ULONGLONG now = NowLocked();
    if (dueTime.QuadPart < 0) {
      state.due = now + static_cast<ULONGLONG>(-dueTime.QuadPart);
    } else {
      const ULONGLONG systemNow = kSystemTimeAtBoot + now;
      const ULONGLONG absolute = static_cast<ULONGLONG>(dueTime.QuadPart);
      state.due = absolute <= systemNow ? now : now + (absolute - systemNow);
    }
    state.periodMs = period;
    state.dpc = dpc;
    if (!wasInserted) timers_.push_back(timer);
    state.inserted = true;
    EnsureThreadLocked();
    Changed();
    return wasInserted ? TRUE : FALSE;
  }

  BOOLEAN CancelTimer(PKTIMER timer) {
    RequireIrqlAtMost(DISPATCH_LEVEL, "KeCancelTimer");
    std::lock_guard guard(lock_);
    TimerState& state = TimerOf(timer);
    if (!state.inserted) return FALSE;
    state.inserted = false;
    timers_.erase(std::find(timers_.begin(), timers_.end(), timer));
    Changed();
    return TRUE;
  }

  BOOLEAN InsertDpc(PKDPC dpc, PVOID argument1, PVOID argument2) {
    RequireIrqlAtMost(DISPATCH_LEVEL, "KeInsertQueueDpc");
    std::lock_guard guard(lock_);
    if (!QueueDpcLocked(dpc, argument1, argument2)) return FALSE;
    EnsureThreadLocked();
    Changed();
    return TRUE;
  }

  BOOLEAN RemoveDpc(PKDPC dpc) {
    RequireIrqlAtMost(DISPATCH_LEVEL, "KeRemoveQueueDpc");
    std::lock_guard guard(lock_);
    DpcState& state = DpcOf(dpc);
    if (!state.queued) return FALSE;
    state.queued = false;
    dpcs_.erase(std::find(dpcs_.begin(), dpcs_.end(), dpc));
    return TRUE;
  }

  void Flush() {
    RequireIrqlAtMost(PASSIVE_LEVEL, "KeFlushQueuedDpcs");
    RequireTestThread("KeFlushQueuedDpcs");
    std::unique_lock lock(lock_);
    idle_.wait(lock, [&] { return dpcs_.empty() && running_ == nullptr; });
  }

  void CheckFree(const void* address, size_t size) {
    const auto* begin = static_cast<const unsigned char*>(address);
    const auto inside = [&](const void* object) {
      const auto* at = static_cast<const unsigned char*>(object);
      return at >= begin && at < begin + size;
    };
    std::lock_guard guard(lock_);
    for (PKTIMER timer : timers_)
      if (inside(timer)) BugCheck(TIMER_OR_DPC_INVALID, "memory freed with a timer still set in it", reinterpret_cast<ULONG_PTR>(timer));
    for (PKDPC dpc : dpcs_)
      if (inside(dpc)) BugCheck(TIMER_OR_DPC_INVALID, "memory freed with a DPC still queued in it", reinterpret_cast<ULONG_PTR>(dpc));
  }

 private:
  Scheduler() : realBase_(Steady::now()) {}

  static void RequireTestThread(const char* call) {
    if (tOnTimerThread) BugCheck(IRQL_NOT_LESS_OR_EQUAL, call);
  }

  ULONGLONG NowLocked() const {
    if (hand_) return handNow_;
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(Steady::now() - realBase_).count();
    return realOffset_ + static_cast<ULONGLONG>(elapsed / 100);
  }

  void Changed() {
    ++changes_;
    wake_.notify_all();
  }

  std::optional<ULONGLONG> EarliestDueLocked() {
    std::optional<ULONGLONG> earliest;
    for (PKTIMER timer : timers_) {
      const ULONGLONG due = TimerOf(timer).due;
      if (!earliest || due < *earliest) earliest = due;
    }
    return earliest;
  }

  bool QueueDpcLocked(PKDPC dpc, PVOID argument1, PVOID argument2) {
    DpcState& state = DpcOf(dpc);
    if (state.queued) return false;
    state.queued = true;
    state.argument1 = argument1;
    state.argument2 = argument2;
    dpcs_.push_back(dpc);
    return true;
  }

  // Asks the timer thread for a full round at the current time and waits for it.
  void RunRoundLocked(std::unique_lock<std::mutex>& lock) {
    const uint64_t ticket = ++requested_;
    Changed();
    idle_.wait(lock, [&] { return processed_ >= ticket && dpcs_.empty() && running_ == nullptr; });
  }

  void EnsureThreadLocked() {
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  }

  void FireExpiredLocked() {
    const ULONGLONG now = NowLocked();
    std::vector<PKTIMER> expired;
    for (PKTIMER timer : timers_)
      if (TimerOf(timer).due <= now) expired.push_back(timer);
    for (PKTIMER timer : expired) {
      TimerState& state = TimerOf(timer);
      if (state.periodMs > 0) {
        const ULONGLONG period = static_cast<ULONGLONG>(state.periodMs) * kUnitsPerMillisecond;
        state.due = state.due + period > now ? state.due + period : now + period;
      } else {
        state.inserted = false;
        timers_.erase(std::find(timers_.begin(), timers_.end(), timer));
      }
      if (state.dpc != nullptr) {
        const ULONGLONG systemTime = kSystemTimeAtBoot + now;
        QueueDpcLocked(state.dpc, reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(systemTime & 0xFFFFFFFF)),
                       reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(systemTime >> 32)));
      }
    }
  }

  void RunDpcsLocked(std::unique_lock<std::mutex>& lock) {
    while (!dpcs_.empty()) {
      PKDPC dpc = dpcs_.front();
      dpcs_.pop_front();
      DpcState& state = DpcOf(dpc);
      state.queued = false;
      const DpcState call = state;  // the routine may free the DPC
      running_ = dpc;
      lock.unlock();
      SetCurrentIrql(DISPATCH_LEVEL);
      call.routine(dpc, call.context, call.argument1, call.argument2);
      if (KeGetCurrentIrql() != DISPATCH_LEVEL)
        BugCheck(IRQL_UNEXPECTED_VALUE, "a DPC returned at another IRQL than it was called at", KeGetCurrentIrql());
      SetCurrentIrql(PASSIVE_LEVEL);
      lock.lock();
      running_ = nullptr;
      idle_.notify_all();
    }
  }

  void Run() {
    tOnTimerThread = true;
    std::unique_lock lock(lock_);
    while (!stop_) {
      const uint64_t seen = changes_;
      const uint64_t round = requested_;
      FireExpiredLocked();
      RunDpcsLocked(lock);
      processed_ = round;
      idle_.notify_all();
      if (changes_ != seen || !dpcs_.empty()) continue;
      const std::optional<ULONGLONG> earliest = EarliestDueLocked();
      const auto changed = [&] { return stop_ || changes_ != seen; };
      if (hand_ || !earliest) {
        wake_.wait(lock, changed);
      } else {
        const ULONGLONG now = NowLocked();
        const auto delay = std::chrono::nanoseconds((*earliest > now ? *earliest - now : 0) * 100);
        wake_.wait_for(lock, delay, changed);
      }
    }
  }

  std::mutex lock_;
  std::condition_variable wake_;  // the timer thread waits here
  std::condition_variable idle_;  // Advance and Flush wait here
  bool hand_ = false;
  ULONGLONG handNow_ = 0;
  Steady::time_point realBase_;
  ULONGLONG realOffset_ = 0;
  std::vector<PKTIMER> timers_;  // set timers
  std::deque<PKDPC> dpcs_;       // queued DPCs, in order
  PKDPC running_ = nullptr;
  uint64_t changes_ = 0;
  uint64_t requested_ = 0;
  uint64_t processed_ = 0;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace

ULONGLONG InterruptTimeNow() { return Scheduler::Instance().Now(); }
bool OnTimerThread() { return tOnTimerThread; }
void CheckNoActiveTimerOrDpc(const void* address, size_t size) { Scheduler::Instance().CheckFree(address, size); }

void UseHandClock(ULONGLONG start) { Scheduler::Instance().UseHand(start); }
void UseRealClock() { Scheduler::Instance().UseReal(); }
void AdvanceClock(ULONGLONG hundredNanoseconds) { Scheduler::Instance().Advance(hundredNanoseconds); }

}  // namespace kstandin

extern "C" {

void KeInitializeDpc(PRKDPC Dpc, PKDEFERRED_ROUTINE DeferredRoutine, PVOID DeferredContext) {
  auto* state = new (Dpc) kstandin::DpcState;
  state->routine = DeferredRoutine;
  state->context = DeferredContext;
}

BOOLEAN KeInsertQueueDpc(PRKDPC Dpc, PVOID SystemArgument1, PVOID SystemArgument2) {
  return kstandin::Scheduler::Instance().InsertDpc(Dpc, SystemArgument1, SystemArgument2);
}

BOOLEAN KeRemoveQueueDpc(PRKDPC Dpc) { return kstandin::Scheduler::Instance().RemoveDpc(Dpc); }

void KeFlushQueuedDpcs() { kstandin::Scheduler::Instance().Flush(); }

void KeInitializeTimerEx(PKTIMER Timer, TIMER_TYPE) {
  kstandin::RequireIrqlAtMost(DISPATCH_LEVEL, "KeInitializeTimerEx");
  new (Timer) kstandin::TimerState;
}

BOOLEAN KeSetTimerEx(PKTIMER Timer, LARGE_INTEGER DueTime, LONG Period, PKDPC Dpc) {
  return kstandin::Scheduler::Instance().SetTimer(Timer, DueTime, Period, Dpc);
}

BOOLEAN KeCancelTimer(PKTIMER Timer) { return kstandin::Scheduler::Instance().CancelTimer(Timer); }

ULONGLONG KeQueryInterruptTime() { return kstandin::InterruptTimeNow(); }

}  // extern "C"
