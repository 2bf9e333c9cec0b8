#pragma once

#include "kernel_surface.h"

// Stops the process the way the kernel stops the machine, with the stop code and what broke
// the rule on standard error.
namespace kstandin {

enum BugCheckCode : ULONG {
  IRQL_NOT_GREATER_OR_EQUAL = 0x09,
  IRQL_NOT_LESS_OR_EQUAL = 0x0A,
  SPIN_LOCK_ALREADY_OWNED = 0x0F,
  SPIN_LOCK_NOT_OWNED = 0x10,
  THREAD_NOT_MUTEX_OWNER = 0x11,
  INVALID_DISPATCHER_OBJECT = 0x13,
  BAD_POOL_CALLER = 0xC2,
  TIMER_OR_DPC_INVALID = 0xC7,
  IRQL_UNEXPECTED_VALUE = 0xC8,
  PORT_CONTRACT_BROKEN = 0xDEAD0001,  // the stand-in's own: a miniport broke a port rule
};

[[noreturn]] void BugCheck(ULONG code, const char* what, ULONG_PTR p1 = 0, ULONG_PTR p2 = 0);

}  // namespace kstandin
