#pragma once

#include <windows.h>

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "avc_config.h"
#include "cuda_driver_api.h"
#include "encoded_frame.h"
#include "nv_encode_api.h"
#include "win_handles.h"

namespace gpucodec {

struct InputBufferSlot {
  NV_ENC_INPUT_PTR handle = nullptr;
  uint32_t allocatedWidth = 0;
  uint32_t allocatedHeight = 0;
  bool busy = false;
};

struct BitstreamBufferSlot {
  NV_ENC_OUTPUT_PTR handle = nullptr;
  uint32_t size = 0;
  bool busy = false;
  EventHandle completionEvent;  // asynchronous mode only
};

// One submitted picture; both its slots stay busy while it exists.
struct CGPUCODECEncoderTask {
  InputBufferSlot* input;
  BitstreamBufferSlot* bitstream;
};

struct SessionParams {
  uint32_t width;
  uint32_t height;
  uint32_t frameRate;
  uint32_t targetBitrateKbps;
  int32_t deviceIndex;
  int32_t preset;
  int32_t profile;
  bool async;
  bool lowLatency;
};

// The plug-in's one encoder: an H.264 session on a CUDA device through the video encode
// interface, a ring of input and bitstream buffers, and the queue of encoded frames for the
// host. Every operation answers with an internal code (0 is success). Called on the host's
// thread only; no locks.
class CGPUCODECEncoder {
 public:
  CGPUCODECEncoder() = default;
  ~CGPUCODECEncoder();
  CGPUCODECEncoder(const CGPUCODECEncoder&) = delete;
  CGPUCODECEncoder& operator=(const CGPUCODECEncoder&) = delete;

  int32_t Open(const SessionParams& params);
  int32_t EncodeFrame(uint32_t width, uint32_t height, const uint8_t* pixels, uint64_t timestamp);
  int32_t Close();

  // The oldest encoded frame, off the queue and now the host's; null when none waits.
  GPUCODEC_ENCODED_FRAME* TakeFrame();
  // Frees a frame the host was given and has not yet released; false for any other handle.
  bool FreeFrame(const void* handle);

  const uint8_t* Header() const { return header_; }
  uint32_t HeaderSize() const { return headerSize_; }
  const wchar_t* Description() const { return description_.c_str(); }
  uint32_t BufferCount() const { return bufferCount_; }

 private:
  int32_t OpenSession(const SessionParams& params);
  int32_t LoadEncodeLibrary();
  int32_t CreateContext(int32_t deviceIndex, std::string& deviceName, int32_t& ordinal);
  int32_t InitializeEncoder(const SessionParams& params);
  int32_t CreateBuffers(uint32_t width, uint32_t height);
  int32_t ReadSequenceHeader();

  InputBufferSlot* FreeInputSlot();
  BitstreamBufferSlot* FreeBitstreamSlot();
  void CopyPicture(const uint8_t* pixels, uint32_t width, uint32_t height, uint8_t* buffer,
                   uint32_t pitch, uint32_t allocatedHeight) const;
  // The oldest task when its picture has finished, waiting for that up to waitMs; else null.
  std::unique_ptr<CGPUCODECEncoderTask> FinishedTask(DWORD waitMs);
  int32_t CollectOutput(const CGPUCODECEncoderTask& task);
  int32_t CollectAndRetire(std::unique_ptr<CGPUCODECEncoderTask> task);

  uint8_t header_[kAvcConfigCapacity] = {};
  uint32_t headerSize_ = 0;
  std::wstring description_;

  LibraryHandle library_;
  std::unique_ptr<NV_ENCODE_API_FUNCTION_LIST> functions_;
  CUcontext context_ = nullptr;
  void* encoder_ = nullptr;
  NV_ENC_PRESET_CONFIG presetConfig_ = {};
  NV_ENC_CONFIG encodeConfig_ = {};
  NV_ENC_INITIALIZE_PARAMS initializeParams_ = {};
  uint32_t bufferCount_ = 0;
  std::unique_ptr<InputBufferSlot[]> inputSlots_;
  std::unique_ptr<BitstreamBufferSlot[]> bitstreamSlots_;
  bool async_ = false;
  bool sessionOpen_ = false;
  std::vector<std::unique_ptr<CGPUCODECEncoderTask>> tasks_;  // oldest first
  // Lists, so that handing a frame out moves it without allocating.
  std::list<std::unique_ptr<GPUCODEC_ENCODED_FRAME>> frames_;
  std::list<std::unique_ptr<GPUCODEC_ENCODED_FRAME>> handedOut_;  // the host's, until released
};

}  // namespace gpucodec
