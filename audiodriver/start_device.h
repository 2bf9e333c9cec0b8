#pragma once

#include "kernel_surface.h"

// The device start: the adapter, the "Topology" and "Wave" subdevices and their physical
// connections. PASSIVE_LEVEL; pageable.

using MiniportCreateRoutine = NTSTATUS (*)(PUNKNOWN* unknown, REFCLSID classId, PUNKNOWN outer, POOL_TYPE pool);

NTSTATUS StartDevice(PDEVICE_OBJECT deviceObject, PIRP irp, PRESOURCELIST resourceList);

// One port and miniport pair, bound and registered as subdevice `name`; the port's unknown
// and the interface `portInterface` are handed out where places are given.
NTSTATUS InstallPortAndMiniport(PDEVICE_OBJECT deviceObject, PIRP irp, PCWSTR name, REFCLSID portClass,
                                REFCLSID miniportClass, MiniportCreateRoutine createMiniport,
                                PUNKNOWN adapterUnknown, PRESOURCELIST resourceList, REFIID portInterface,
                                PVOID* portInterfaceOut, PUNKNOWN* portUnknownOut);
