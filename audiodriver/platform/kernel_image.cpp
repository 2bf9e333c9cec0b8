// What the kernel surface declares that the Windows kernel does not export on x86-64: the
// image supplies it itself. Built into VextraAudioDriver.sys only; the stand-in implements
// the same declarations in user mode.

#include "kernel_surface.h"

namespace {

// The kernel keeps the interrupt time in the shared user data page at this fixed address; on
// x86-64 one aligned 64-bit read of it is consistent.
constexpr ULONG_PTR kSharedInterruptTime = 0xFFFFF78000000008ull;

// The driver's own stop code: a pure method was called.
constexpr ULONG kPureVirtualCalled = 0xA0D10001;

}  // namespace

extern "C" ULONGLONG KeQueryInterruptTime() {
  return *reinterpret_cast<const volatile ULONGLONG*>(kSharedInterruptTime);
}

// Only an object's constructor or destructor could reach a pure method; none of ours does.
extern "C" void __cxa_pure_virtual() { KeBugCheckEx(kPureVirtualCalled, 0, 0, 0, 0); }
