#pragma once

#include "kernel_surface.h"

// Reading the wave format out of a kernel-streaming data format. Formats come from clients
// through the port and carry no alignment promise, so the header is copied out whole, and
// only when the data format's own size says it is there. Any IRQL, no lock.

// The limits a stream format must lie within, bounds included.
struct WaveFormatLimits {
  ULONG minChannels;
  ULONG maxChannels;
  ULONG minBitsPerSample;
  ULONG maxBitsPerSample;
  ULONG minSampleRate;
  ULONG maxSampleRate;
};

// The WAVEFORMATEX of an audio data format: right after the KSDATAFORMAT with the
// WAVEFORMATEX specifier, 8 bytes further on with the DirectSound one. False when there is
// none, or when FormatSize ends before it.
bool FindWaveFormat(const KSDATAFORMAT* format, WAVEFORMATEX* wave);

// STATUS_SUCCESS for PCM (tag 1, cbSize 0) within the limits, else STATUS_INVALID_PARAMETER.
// Block alignment and byte rate are not examined.
NTSTATUS CheckStreamFormat(const KSDATAFORMAT* format, const WaveFormatLimits& limits);
