#pragma once

#include "kernel_surface.h"

// What the stand-in keeps behind the objects the driver only passes on.
namespace kstandin {
class DeviceImpl;
}

struct DRIVER_OBJECT {
  kstandin::DeviceImpl* device;  // the device harness that loaded the driver
  PDRIVER_ADD_DEVICE addDevice;
};

struct DEVICE_OBJECT {
  kstandin::DeviceImpl* device;
  bool functional;  // the FDO PcAddAdapterDevice made, not the PDO
};

struct IRP {
  ULONG reserved;
};
