#pragma once

#include "kernel_surface.h"

// The interrupt-time clock behind KeQueryInterruptTime and the kernel timers. Timers and DPCs
// run on one timer thread at DISPATCH_LEVEL, as on a second processor. Call these at
// PASSIVE_LEVEL from a test thread, never from a DPC.
namespace kstandin {

// Interrupt time stands at `start` (100-ns units) and moves only through AdvanceClock.
void UseHandClock(ULONGLONG start = 0);
// Interrupt time follows the monotonic clock from its current value (the default).
void UseRealClock();

// Hand clock only: moves interrupt time forward, stopping at every timer due on the way so
// that each expiry sees its own due time, and returns once every expired timer's DPC has run.
void AdvanceClock(ULONGLONG hundredNanoseconds);

}  // namespace kstandin
