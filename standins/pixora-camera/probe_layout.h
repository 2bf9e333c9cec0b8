// Layout of the named shared-memory section in which the camera stand-in records what it
// received. Every access holds the named mutex kProbeMutexName.
#pragma once

#include "pixora_camera_props.h"

#include <cstddef>
#include <cstdint>

namespace pixora {

inline constexpr wchar_t kProbeSectionName[] = L"Local\\PixoraCameraProbe";
inline constexpr wchar_t kProbeMutexName[] = L"Local\\PixoraCameraProbeLock";
inline constexpr uint32_t kProbeMagic = 0x50435850;  // "PXCP"
inline constexpr size_t kProbeRingSize = 64;
inline constexpr size_t kProbePacketCapacity = size_t{64} << 20;
// Calls are counted for property ids below this bound (the set's ids are 0..7).
inline constexpr ULONG kProbePropertySlots = 8;

struct PropertyCallCounts {
  uint32_t setAccepted;
  uint32_t setRefused;
  uint32_t getAccepted;
  uint32_t getRefused;
};

struct CameraSettings {
  OutputFormat outputFormat;
  int32_t fillMode;
  int32_t mirror;  // as last set: non-zero = on
  int32_t flip;
  PropertyCallCounts calls[kProbePropertySlots];
};

struct FrameRecord {
  FrameHeader header;
  uint32_t packetBytes;  // the whole property payload as passed to Set
  uint32_t reserved;
  uint64_t pixelHash;  // FNV-1a 64 over the pixel bytes the header announces
  uint64_t sequence;   // 1 for the first frame accepted since the last reset
};

struct ProbeState {
  uint32_t magic;
  uint32_t layoutSize;
  CameraSettings settings;
  int32_t failPending;
  HRESULT failResult;
  int32_t headersOnly;  // non-zero: frames are counted and their headers kept, pixels not read
  uint64_t frameCount;
  FrameRecord ring[kProbeRingSize];  // frame with sequence s at index (s - 1) % kProbeRingSize
  uint64_t lastPacketBytes;          // header and announced pixels, cut at kProbePacketCapacity
  // kProbePacketCapacity bytes of the last accepted packet follow.
};

inline constexpr size_t kProbeSectionSize = sizeof(ProbeState) + kProbePacketCapacity;

}  // namespace pixora
