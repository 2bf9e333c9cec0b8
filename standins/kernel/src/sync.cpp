// Spin locks and kernel mutexes. Both keep their whole state inside the caller's object,
// as the kernel does, so that nothing needs freeing when the object goes.

#include <atomic>
#include <chrono>
#include <new>
#include <thread>

#include "bugcheck.h"
#include "irql.h"
#include "kernel_surface.h"
#include "scheduler.h"

namespace {

using namespace kstandin;

// Any address unique to the running thread; it marks the owner of a lock.
thread_local char tOwnerMark;
ULONG_PTR OwnerToken() { return reinterpret_cast<ULONG_PTR>(&tOwnerMark); }

void AcquireWord(PKSPIN_LOCK lock) {
  std::atomic_ref<ULONG_PTR> word(*lock);
  const ULONG_PTR me = OwnerToken();
  if (word.load(std::memory_order_relaxed) == me)
    BugCheck(SPIN_LOCK_ALREADY_OWNED, "spin lock acquired again by its owner", reinterpret_cast<ULONG_PTR>(lock));
  for (;;) {
    ULONG_PTR expected = 0;
    if (word.compare_exchange_weak(expected, me, std::memory_order_acquire, std::memory_order_relaxed)) return;
    std::this_thread::yield();
  }
}

void ReleaseWord(PKSPIN_LOCK lock) {
  std::atomic_ref<ULONG_PTR> word(*lock);
  if (word.load(std::memory_order_relaxed) != OwnerToken())
    BugCheck(SPIN_LOCK_NOT_OWNED, "spin lock released by a thread that does not hold it", reinterpret_cast<ULONG_PTR>(lock));
  word.store(0, std::memory_order_release);
}

KIRQL RaiseToDispatch(const char* call) {
  RequireIrqlAtMost(DISPATCH_LEVEL, call);
  KIRQL old;
  KeRaiseIrql(DISPATCH_LEVEL, &old);
  return old;
}

void RequireDispatch(const char* call) {
  if (KeGetCurrentIrql() != DISPATCH_LEVEL)
    BugCheck(IRQL_NOT_GREATER_OR_EQUAL, call, KeGetCurrentIrql(), DISPATCH_LEVEL);
}

constexpr uint32_t kMutexMagic = 0x78744D4B;  // "KMtx"

struct MutexState {
  uint32_t magic = kMutexMagic;
  LONG recursion = 0;
  std::atomic<ULONG_PTR> owner{0};
  std::atomic<uint32_t> releases{0};  // bumped at each final release; waiters sleep on it
};
static_assert(sizeof(MutexState) <= sizeof(KMUTEX) && alignof(MutexState) <= alignof(KMUTEX));

MutexState* MutexOf(PVOID object) {
  uint32_t magic;
  __builtin_memcpy(&magic, object, sizeof magic);
  if (magic != kMutexMagic)
    BugCheck(INVALID_DISPATCHER_OBJECT, "wait or release on an object that is no initialised mutex",
             reinterpret_cast<ULONG_PTR>(object));
  return std::launder(reinterpret_cast<MutexState*>(object));
}

}  // namespace

extern "C" {

KIRQL KeAcquireSpinLockRaiseToDpc(PKSPIN_LOCK SpinLock) {
  const KIRQL old = RaiseToDispatch("KeAcquireSpinLock");
  AcquireWord(SpinLock);
  return old;
}

void KeReleaseSpinLock(PKSPIN_LOCK SpinLock, KIRQL NewIrql) {
  RequireDispatch("KeReleaseSpinLock below DISPATCH_LEVEL");
  ReleaseWord(SpinLock);
  KeLowerIrql(NewIrql);
}

void KeAcquireSpinLockAtDpcLevel(PKSPIN_LOCK SpinLock) {
  RequireDispatch("KeAcquireSpinLockAtDpcLevel below DISPATCH_LEVEL");
  AcquireWord(SpinLock);
}

void KeReleaseSpinLockFromDpcLevel(PKSPIN_LOCK SpinLock) {
  RequireDispatch("KeReleaseSpinLockFromDpcLevel below DISPATCH_LEVEL");
  ReleaseWord(SpinLock);
}

void KeAcquireInStackQueuedSpinLock(PKSPIN_LOCK SpinLock, PKLOCK_QUEUE_HANDLE LockHandle) {
  const KIRQL old = RaiseToDispatch("KeAcquireInStackQueuedSpinLock");
  AcquireWord(SpinLock);
  LockHandle->LockQueue.Next = nullptr;
  LockHandle->LockQueue.Lock = SpinLock;
  LockHandle->OldIrql = old;
}

void KeReleaseInStackQueuedSpinLock(PKLOCK_QUEUE_HANDLE LockHandle) {
  RequireDispatch("KeReleaseInStackQueuedSpinLock below DISPATCH_LEVEL");
  ReleaseWord(LockHandle->LockQueue.Lock);
  KeLowerIrql(LockHandle->OldIrql);
}

void KeInitializeMutex(PRKMUTEX Mutex, ULONG) {
  RequireIrqlAtMost(DISPATCH_LEVEL, "KeInitializeMutex");
  new (Mutex) MutexState;
}

NTSTATUS KeWaitForSingleObject(PVOID Object, KWAIT_REASON, KPROCESSOR_MODE, BOOLEAN, PLARGE_INTEGER Timeout) {
  const bool poll = Timeout != nullptr && Timeout->QuadPart == 0;
  RequireIrqlAtMost(poll ? DISPATCH_LEVEL : APC_LEVEL, "KeWaitForSingleObject");
  MutexState* mutex = MutexOf(Object);
  const ULONG_PTR me = OwnerToken();
  if (mutex->owner.load(std::memory_order_relaxed) == me) {
    ++mutex->recursion;
    return STATUS_SUCCESS;
  }
  // A finite time-out counts in interrupt time: negative is relative, positive absolute.
  const bool finite = Timeout != nullptr && !poll;
  const ULONGLONG deadline =
      !finite ? 0
              : Timeout->QuadPart < 0 ? InterruptTimeNow() + static_cast<ULONGLONG>(-Timeout->QuadPart)
                                      : static_cast<ULONGLONG>(Timeout->QuadPart);
  for (;;) {
    const uint32_t seen = mutex->releases.load(std::memory_order_acquire);
    ULONG_PTR expected = 0;
    if (mutex->owner.compare_exchange_strong(expected, me, std::memory_order_acquire)) {
      mutex->recursion = 1;
      return STATUS_SUCCESS;
    }
    if (poll || (finite && InterruptTimeNow() >= deadline)) return STATUS_TIMEOUT;
    if (finite)
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    else
      mutex->releases.wait(seen, std::memory_order_acquire);
  }
}

LONG KeReleaseMutex(PRKMUTEX Mutex, BOOLEAN) {
  RequireIrqlAtMost(DISPATCH_LEVEL, "KeReleaseMutex");
  MutexState* mutex = MutexOf(Mutex);
  if (mutex->owner.load(std::memory_order_relaxed) != OwnerToken())
    BugCheck(THREAD_NOT_MUTEX_OWNER, "KeReleaseMutex by a thread that does not own the mutex",
             reinterpret_cast<ULONG_PTR>(Mutex));
  if (--mutex->recursion == 0) {
    mutex->owner.store(0, std::memory_order_release);
    mutex->releases.fetch_add(1, std::memory_order_release);
    mutex->releases.notify_all();
  }
  return 0;
}

}  // extern "C"
