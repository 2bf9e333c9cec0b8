#pragma once

// What the graphics-driver stand-ins received and hold, kept in a section named per process
// so that it outlives the encode library being unloaded. Both stand-in DLLs write it; tests
// read it through NvidiaProbe. Written on the caller's thread, and by the encode library's
// completion thread while a picture finishes.

#include <windows.h>

#include <cstdint>
#include <string>

namespace nvstandin {

enum class Call : uint32_t {
  cuInit,
  cuDeviceGetCount,
  cuDeviceGet,
  cuDeviceComputeCapability,
  cuDeviceGetName,
  cuCtxCreate_v2,
  cuCtxPopCurrent_v2,
  cuCtxPushCurrent_v2,
  cuCtxDestroy_v2,
  NvEncodeAPIGetMaxSupportedVersion,
  NvEncodeAPICreateInstance,
  nvEncOpenEncodeSessionEx,
  nvEncGetEncodePresetConfig,
  nvEncInitializeEncoder,
  nvEncCreateInputBuffer,
  nvEncDestroyInputBuffer,
  nvEncCreateBitstreamBuffer,
  nvEncDestroyBitstreamBuffer,
  nvEncRegisterAsyncEvent,
  nvEncUnregisterAsyncEvent,
  nvEncGetSequenceParams,
  nvEncLockInputBuffer,
  nvEncUnlockInputBuffer,
  nvEncEncodePicture,
  nvEncLockBitstream,
  nvEncUnlockBitstream,
  nvEncDestroyEncoder,
  kCount
};

inline constexpr const char* kCallNames[] = {
    "cuInit", "cuDeviceGetCount", "cuDeviceGet", "cuDeviceComputeCapability", "cuDeviceGetName",
    "cuCtxCreate_v2", "cuCtxPopCurrent_v2", "cuCtxPushCurrent_v2", "cuCtxDestroy_v2",
    "NvEncodeAPIGetMaxSupportedVersion", "NvEncodeAPICreateInstance",
    "nvEncOpenEncodeSessionEx", "nvEncGetEncodePresetConfig", "nvEncInitializeEncoder",
    "nvEncCreateInputBuffer", "nvEncDestroyInputBuffer", "nvEncCreateBitstreamBuffer",
    "nvEncDestroyBitstreamBuffer", "nvEncRegisterAsyncEvent", "nvEncUnregisterAsyncEvent",
    "nvEncGetSequenceParams", "nvEncLockInputBuffer", "nvEncUnlockInputBuffer",
    "nvEncEncodePicture", "nvEncLockBitstream", "nvEncUnlockBitstream", "nvEncDestroyEncoder"};
static_assert(sizeof(kCallNames) / sizeof(kCallNames[0]) == static_cast<size_t>(Call::kCount));

// The configuration nvEncInitializeEncoder accepted.
struct InitializeRecord {
  GUID encodeGuid;
  GUID presetGuid;
  GUID profileGuid;
  uint32_t rateControlMode;
  uint32_t constQpInterP;
  uint32_t constQpInterB;
  uint32_t constQpIntra;
  uint32_t averageBitRate;
  uint32_t maxBitRate;
  uint32_t vbvBufferSize;
  uint32_t vbvInitialDelay;
  uint32_t gopLength;
  uint32_t idrPeriod;
  int32_t frameIntervalP;
  uint32_t frameFieldMode;
  uint32_t h264BitFields;
  uint32_t encodeWidth;
  uint32_t encodeHeight;
  uint32_t darWidth;
  uint32_t darHeight;
  uint32_t maxEncodeWidth;
  uint32_t maxEncodeHeight;
  uint32_t frameRateNum;
  uint32_t frameRateDen;
  uint32_t enableEncodeAsync;
  uint32_t enablePTD;
};

constexpr uint32_t kLastInputCapacity = 64 * 1024;

struct StandinRecord {
  uint32_t calls[static_cast<size_t>(Call::kCount)];
  // Objects created and not yet destroyed; an encoder destroyed with buffers still alive
  // leaves them counted.
  int32_t liveContexts;
  int32_t liveSessions;
  int32_t liveInputBuffers;
  int32_t liveBitstreamBuffers;
  int32_t liveEvents;
  uint32_t contextFlags;
  int32_t contextOrdinal;
  uint32_t openDeviceType;
  uint32_t openApiVersion;
  uint32_t openWithKnownContext;
  GUID presetRequested;
  uint32_t initialized;  // 1 once an encoder accepted InitializeRecord
  InitializeRecord initialize;
  uint32_t inputWidth;
  uint32_t inputHeight;
  uint32_t inputHeap;
  uint32_t inputFormat;
  uint32_t inputPitch;
  uint32_t bitstreamSize;
  uint32_t bitstreamHeap;
  uint32_t pictures;  // pictures submitted, end of stream not included
  uint32_t finishedPictures;  // of those, the ones whose input was read and output written
  uint32_t endOfStreamPictures;
  uint32_t lastLockDoNotWait;
  int32_t lockedBitstreams;  // bitstream buffers locked now
  // Buffers of a picture not yet finished that the client locked, submitted again, destroyed
  // or whose event it unregistered: on a real card, the picture reads or writes freed or
  // rewritten memory.
  uint32_t inFlightMisuses;
  uint32_t lostPictures;  // finished pictures whose bitstream was submitted again unread
  // Creation order, within its session, of the buffers the last picture was submitted with.
  uint32_t lastPictureInputIndex;
  uint32_t lastPictureBitstreamIndex;
  // The input buffer of the last picture, as read when it finished, when small enough: pitch x allocated height luma
  // rows, then the chroma rows.
  uint32_t lastInputPitch;
  uint32_t lastInputAllocatedHeight;
  uint32_t lastInputBytes;
  uint8_t lastInput[kLastInputCapacity];
};

inline std::wstring StandinRecordName() {
  return L"Local\\VextraNvidiaStandin-" + std::to_wstring(GetCurrentProcessId());
}

// The environment variable both stand-ins read their configuration from.
inline constexpr wchar_t kStandinConfigVariable[] = L"VEXTRA_NVIDIA_STANDIN";

}  // namespace nvstandin
