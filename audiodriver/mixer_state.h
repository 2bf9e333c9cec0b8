#pragma once

#include "kernel_surface.h"
#include "word_access.h"

// The mixer values the topology nodes read and write, one entry per node id. Each value is
// one aligned 32-bit word, read and written in one access and never under a lock.

inline constexpr ULONG kMixerNodes = 20;

struct MixerState {
  BOOL mute[kMixerNodes];
  LONG volume[kMixerNodes];  // 1/65536 dB
  ULONG mux;
  BOOL specificFlag;
  LONG specificInt;
  ULONG specificUint;
};
