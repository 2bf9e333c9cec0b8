#include "bugcheck.h"

#include <cstdio>
#include <cstdlib>

namespace kstandin {

void BugCheck(ULONG code, const char* what, ULONG_PTR p1, ULONG_PTR p2) {
  std::fprintf(stderr, "*** STOP: 0x%08X (0x%llX, 0x%llX): %s\n", static_cast<unsigned>(code),
               static_cast<unsigned long long>(p1), static_cast<unsigned long long>(p2), what);
  std::fflush(stderr);
  std::abort();
}

}  // namespace kstandin

extern "C" void KeBugCheckEx(ULONG BugCheckCode, ULONG_PTR Parameter1, ULONG_PTR Parameter2, ULONG_PTR, ULONG_PTR) {
  kstandin::BugCheck(BugCheckCode, "KeBugCheckEx called by the driver", Parameter1, Parameter2);
}
