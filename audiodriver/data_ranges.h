#pragma once

#include "kernel_surface.h"

// Data ranges shared by the filters' pins.

// The analog bridge range of every bridge pin: audio, analog, no specifier.
extern const KSDATARANGE kAnalogBridgeRange;
extern const KSDATARANGE* const kAnalogBridgeRanges[1];
