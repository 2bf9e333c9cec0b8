#pragma once

#include "kernel_surface.h"

// The topology filter: six bridge pins, twelve nodes, sixteen connections, the jack property.

enum TopologyPin : ULONG {
  kWaveOutSourcePin = 0,       // fed by the wave filter's render bridge pin
  kSynthesizerPin = 1,
  kSynthesizerCapturePin = 2,
  kMicrophonePin = 3,
  kLineOutPin = 4,
  kWaveInDestinationPin = 5,   // feeds the wave filter's capture bridge pin
  kTopologyPinCount = 6,
};

enum TopologyNode : ULONG {
  kWaveVolumeNode = 0,
  kWaveMuteNode = 1,
  kSynthesizerVolumeNode = 2,
  kSynthesizerMuteNode = 3,
  kMicrophoneVolumeNode = 4,
  kSynthesizerCaptureVolumeNode = 5,
  kSumNode = 6,
  kMasterVolumeNode = 7,
  kRecordingSourceNode = 8,
  kSpecificFlagNode = 9,
  kSpecificIntNode = 10,
  kSpecificUintNode = 11,
  kTopologyNodeCount = 12,
};

extern const PCFILTER_DESCRIPTOR kTopologyFilterDescriptor;
