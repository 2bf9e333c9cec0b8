#pragma once

#include "kernel_surface.h"

// The current thread's IRQL, as the kernel keeps it per processor.
namespace kstandin {

void SetCurrentIrql(KIRQL irql);
// Bug check IRQL_NOT_LESS_OR_EQUAL naming `call` when the thread runs above `highest`.
void RequireIrqlAtMost(KIRQL highest, const char* call);

}  // namespace kstandin
