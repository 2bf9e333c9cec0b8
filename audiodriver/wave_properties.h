#pragma once

#include "kernel_surface.h"

// The wave filter's property handler, as its automation table names it: the component
// identifier and the data formats the audio engine proposes. PASSIVE_LEVEL, no lock; nothing
// is stored, and every size is checked before a byte of the value is read or written.
NTSTATUS PropertyHandlerWaveFilter(PPCPROPERTY_REQUEST request);

// What KSPROPERTY_GENERAL_COMPONENTID answers.
extern const KSCOMPONENTID kWaveComponentId;
