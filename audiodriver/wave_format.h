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

// What a stream carries: PCM (tag 1, cbSize 0) within the limits, in frames of one sample
// per channel in whole bytes (nBlockAlign), at nBlockAlign × nSamplesPerSec bytes a second.
// STATUS_SUCCESS with the wave format in `wave` when given, else STATUS_INVALID_PARAMETER.
NTSTATUS CheckStreamFormat(const KSDATAFORMAT* format, const WaveFormatLimits& limits, WAVEFORMATEX* wave = nullptr);

// Whether two formats that passed CheckStreamFormat carry the same frames at the same rate.
bool SameStreamFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b);

// Samples of more than 8 bits are signed and silent at 0; 8-bit samples are unsigned and
// silent at their midpoint.
inline UCHAR SilenceByte(const WAVEFORMATEX& wave) { return wave.wBitsPerSample > 8 ? 0x00 : 0x80; }
