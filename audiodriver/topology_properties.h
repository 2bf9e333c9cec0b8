#pragma once

#include "kernel_surface.h"

// The topology filter's property handlers, as its automation tables name them. PASSIVE_LEVEL,
// no lock; every size is checked before a byte of the value is read or written, and no
// request changes the mixer unless it succeeds.

// Volume, mute, mux source, device-specific and CPU resources on the nodes.
NTSTATUS PropertyHandlerTopologyNode(PPCPROPERTY_REQUEST request);

// KSPROPERTY_JACK_DESCRIPTION on the filter, for the microphone and line-out pins.
NTSTATUS PropertyHandlerJackDescription(PPCPROPERTY_REQUEST request);
