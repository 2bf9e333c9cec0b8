#pragma once

#include "kernel_surface.h"

// The driver's entry and Plug and Play callback. PASSIVE_LEVEL.

// Up to three subdevices per device; the driver registers two.
inline constexpr ULONG kMaxSubdevices = 3;

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath);
NTSTATUS AddDevice(PDRIVER_OBJECT driverObject, PDEVICE_OBJECT physicalDeviceObject);
