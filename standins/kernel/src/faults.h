#pragma once

#include <optional>

#include "kernel_standin/faults.h"

namespace kstandin {

// The status a call of this kind is to fail with now, if a test asked for it; counts the
// call as made otherwise.
std::optional<NTSTATUS> TakeFault(PcCall call);

}  // namespace kstandin
