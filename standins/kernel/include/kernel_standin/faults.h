#pragma once

#include "kernel_surface.h"

// Port Class calls that a test makes fail, so that the driver's error paths run. Allocation
// failures are the pool's (pool.h). Thread-safe.
namespace kstandin {

enum class PcCall {
  InitializeAdapterDriver,
  AddAdapterDevice,
  NewPort,
  NewMiniport,
  RegisterSubdevice,
  RegisterPhysicalConnection,
  RegisterAdapterPowerManagement,
  NewServiceGroup,
  PortInit,  // IPort::Init of either port
};

// The call after `skip` successful ones of that kind returns `status` and does nothing, once.
void FailCall(PcCall call, NTSTATUS status, unsigned skip = 0);
void ClearCallFaults();

}  // namespace kstandin
