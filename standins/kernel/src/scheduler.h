#pragma once

#include <cstddef>

#include "kernel_surface.h"

// Timers and DPCs, run on the timer thread (scheduler.cpp).
namespace kstandin {

// Bug check TIMER_OR_DPC_INVALID when a set timer or a queued DPC lies in [address, +size):
// the memory is about to be freed under the timer thread.
void CheckNoActiveTimerOrDpc(const void* address, size_t size);

ULONGLONG InterruptTimeNow();

// True on the timer thread, where DPCs run.
bool OnTimerThread();

}  // namespace kstandin
