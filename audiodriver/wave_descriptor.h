#pragma once

#include "kernel_surface.h"

// The wave filter: a capture and a render stream pin, each with the bridge pin it meets the
// topology through, an ADC and a DAC node between them, and the filter's two properties.

enum WavePin : ULONG {
  kWaveCaptureStreamPin = 0,
  kWaveCaptureBridgePin = 1,  // fed by the topology's wave-in destination
  kWaveRenderStreamPin = 2,
  kWaveRenderBridgePin = 3,   // feeds the topology's wave-out source
  kWavePinCount = 4,
};

enum WaveNode : ULONG {
  kWaveAdcNode = 0,
  kWaveDacNode = 1,
  kWaveNodeCount = 2,
};

// What a stream pin offers: PCM, 1 to 2 channels, 8 to 16 bits, 4000 to 64000 Hz.
extern const KSDATARANGE_AUDIO kPcmRange;

extern const PCFILTER_DESCRIPTOR kWaveFilterDescriptor;
