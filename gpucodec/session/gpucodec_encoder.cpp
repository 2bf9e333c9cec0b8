#include "gpucodec_encoder.h"

#include <cstring>
#include <vector>

#include "driver_version.h"
#include "encode_config.h"
#include "gpucodec.h"
#include "length_prefix.h"

namespace gpucodec {
namespace {

constexpr uint32_t kBitstreamBufferBytes = 0x100000;
constexpr uint32_t kSequencePayloadBytes = 200;
constexpr int kBusyAttempts = 25;
// A card finishes a picture in milliseconds; a second is far beyond any picture still coming,
// and bounds how long a hung device holds up the host's stop.
constexpr DWORD kCloseWaitMs = 1000;
constexpr size_t kDescriptionChars = 260;

uint32_t RoundUp32(uint32_t value) { return (value + 31) & ~31u; }

struct EligibleDevice {
  std::string name;
  int32_t ordinal;
};

bool HasEveryEntryWeCall(const NV_ENCODE_API_FUNCTION_LIST& f) {
  return f.nvEncOpenEncodeSessionEx && f.nvEncGetEncodePresetConfig &&
         f.nvEncInitializeEncoder && f.nvEncCreateInputBuffer && f.nvEncDestroyInputBuffer &&
         f.nvEncCreateBitstreamBuffer && f.nvEncDestroyBitstreamBuffer &&
         f.nvEncEncodePicture && f.nvEncLockBitstream && f.nvEncUnlockBitstream &&
         f.nvEncLockInputBuffer && f.nvEncUnlockInputBuffer && f.nvEncGetSequenceParams &&
         f.nvEncRegisterAsyncEvent && f.nvEncUnregisterAsyncEvent && f.nvEncDestroyEncoder;
}

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int chars = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0);
  std::wstring wide(static_cast<size_t>(chars), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), chars);
  return wide;
}

// Rows of width bytes; one long row when both sides are packed.
void CopyPlane(const uint8_t* source, uint8_t* destination, uint32_t pitch, uint32_t width,
               uint32_t rows) {
  if (pitch == width) {
    std::memcpy(destination, source, size_t{width} * rows);
    return;
  }
  for (uint32_t row = 0; row < rows; ++row) {
    std::memcpy(destination + size_t{row} * pitch, source + size_t{row} * width, width);
  }
}

// A locked bitstream buffer, unlocked on every way out.
class BitstreamLock {
 public:
  BitstreamLock(const NV_ENCODE_API_FUNCTION_LIST& functions, void* encoder,
                NV_ENC_OUTPUT_PTR buffer, bool doNotWait)
      : functions_(functions), encoder_(encoder) {
    params_.version = NV_ENC_LOCK_BITSTREAM_VER;
    params_.bitFields = doNotWait ? NV_ENC_LOCK_DO_NOT_WAIT : 0;
    params_.outputBitstream = buffer;
    locked_ = functions_.nvEncLockBitstream(encoder_, &params_) == NV_ENC_SUCCESS;
  }
  ~BitstreamLock() { Unlock(); }
  BitstreamLock(const BitstreamLock&) = delete;
  BitstreamLock& operator=(const BitstreamLock&) = delete;

  bool Locked() const { return locked_; }
  const NV_ENC_LOCK_BITSTREAM& Params() const { return params_; }
  bool Unlock() {
    if (!locked_) return true;
    locked_ = false;
    return functions_.nvEncUnlockBitstream(encoder_, params_.outputBitstream) == NV_ENC_SUCCESS;
  }

 private:
  const NV_ENCODE_API_FUNCTION_LIST& functions_;
  void* encoder_;
  NV_ENC_LOCK_BITSTREAM params_ = {};
  bool locked_ = false;
};

}  // namespace

CGPUCODECEncoder::~CGPUCODECEncoder() { Close(); }

int32_t CGPUCODECEncoder::Open(const SessionParams& params) {
  Close();
  async_ = params.async;
  // What a failed open created stays until the next Close, but takes no frames.
  const int32_t code = OpenSession(params);
  sessionOpen_ = code == GPUCODEC_ERR_NONE;
  return code;
}

int32_t CGPUCODECEncoder::OpenSession(const SessionParams& params) {

  if (int32_t code = LoadEncodeLibrary(); code != GPUCODEC_ERR_NONE) return code;
  std::string deviceName;
  int32_t ordinal = 0;
  if (int32_t code = CreateContext(params.deviceIndex, deviceName, ordinal);
      code != GPUCODEC_ERR_NONE) {
    return code;
  }

  NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS session = {};
  session.version = NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS_VER;
  session.deviceType = NV_ENC_DEVICE_TYPE_CUDA;
  session.device = context_;
  session.apiVersion = NVENCAPI_VERSION;
  void* encoder = nullptr;
  if (functions_->nvEncOpenEncodeSessionEx(&session, &encoder) != NV_ENC_SUCCESS) {
    return GPUCODEC_ERR_GPUCODECOPENENCODESESSIONEX_FAILED;
  }
  encoder_ = encoder;

  if (int32_t code = InitializeEncoder(params); code != GPUCODEC_ERR_NONE) return code;
  if (int32_t code = CreateBuffers(params.width, params.height); code != GPUCODEC_ERR_NONE) {
    return code;
  }
  if (int32_t code = ReadSequenceHeader(); code != GPUCODEC_ERR_NONE) return code;

  description_ = L"NVIDIA GPUCODEC H.264 accelerated via CUDA on device " +
                 std::to_wstring(ordinal) + L" (" + Widen(deviceName) + L"), " +
                 (async_ ? L"async" : L"sync") + L" mode";
  if (description_.size() >= kDescriptionChars) description_.resize(kDescriptionChars - 1);
  return GPUCODEC_ERR_NONE;
}

int32_t CGPUCODECEncoder::LoadEncodeLibrary() {
  library_.reset(LoadLibraryW(L"nvEncodeAPI.dll"));
  if (!library_) return GPUCODEC_ERR_API_LOADLIBRARY_FAILED;

  uint32_t version = 0;
  if (int32_t code = ReadDriverVersion(library_.get(), version); code != GPUCODEC_ERR_NONE) {
    return code;
  }
  if (version < kSessionDriverVersion) return GPUCODEC_ERR_API_CURRENT_DRIVER_VERSION_IS_NOT_SUPPORTED;

  auto createInstance =
      LibraryExport<PNVENCODEAPICREATEINSTANCE>(library_.get(), "NvEncodeAPICreateInstance");
  if (!createInstance) return GPUCODEC_ERR_API_GPUCODECODEAPICREATEINSTANCE_NOT_FOUND;
  functions_ = std::make_unique<NV_ENCODE_API_FUNCTION_LIST>();
  functions_->version = NV_ENCODE_API_FUNCTION_LIST_VER;
  // A list with a hole would be called through a null pointer later.
  if (createInstance(functions_.get()) != NV_ENC_SUCCESS || !HasEveryEntryWeCall(*functions_)) {
    return GPUCODEC_ERR_API_GPUCODECODEAPICREATEINSTANCE_FAILED;
  }
  return GPUCODEC_ERR_NONE;
}

int32_t CGPUCODECEncoder::CreateContext(int32_t deviceIndex, std::string& deviceName,
                                        int32_t& ordinal) {
  if (cuInit(0) != CUDA_SUCCESS) return GPUCODEC_ERR_CUINIT_FAILED;
  int count = 0;
  if (cuDeviceGetCount(&count) != CUDA_SUCCESS) return GPUCODEC_ERR_CUDEVICEGETCOUNT_FAILED;
  if (count <= 0) return GPUCODEC_ERR_UNSUPPORTED;

  std::vector<EligibleDevice> eligible;
  for (int i = 0; i < count; ++i) {
    CUdevice device = 0;
    if (cuDeviceGet(&device, i) != CUDA_SUCCESS) return GPUCODEC_ERR_CUDEVICEGET_FAILED;
    int major = 0;
    int minor = 0;
    if (cuDeviceComputeCapability(&major, &minor, device) != CUDA_SUCCESS) {
      return GPUCODEC_ERR_CUDEVICECOMPUTECAPABILITY_FAILED;
    }
    if (major * 16 + minor < 0x30) continue;
    char name[260] = {};
    if (cuDeviceGetName(name, sizeof(name), device) != CUDA_SUCCESS) {
      return GPUCODEC_ERR_CUDEVICEGETNAME_FAILED;
    }
    name[sizeof(name) - 1] = '\0';
    eligible.push_back({name, i});
  }
  if (eligible.empty()) return GPUCODEC_ERR_UNSUPPORTED;
  if (deviceIndex < 0 || static_cast<size_t>(deviceIndex) >= eligible.size()) {
    return GPUCODEC_ERR_INVALID_DEVICE;
  }
  const EligibleDevice& chosen = eligible[static_cast<size_t>(deviceIndex)];

  CUdevice device = 0;
  if (cuDeviceGet(&device, chosen.ordinal) != CUDA_SUCCESS) return GPUCODEC_ERR_CUDEVICEGET_FAILED;
  CUcontext context = nullptr;
  if (cuCtxCreate_v2(&context, 0, device) != CUDA_SUCCESS) return GPUCODEC_ERR_CUCTXCREATE_FAILED;
  context_ = context;
  // The encode interface is given the context explicitly; no thread keeps it current.
  CUcontext popped = nullptr;
  if (cuCtxPopCurrent_v2(&popped) != CUDA_SUCCESS) return GPUCODEC_ERR_CUCTXPOPCURRENT_FAILED;

  deviceName = chosen.name;
  ordinal = chosen.ordinal;
  return GPUCODEC_ERR_NONE;
}

int32_t CGPUCODECEncoder::InitializeEncoder(const SessionParams& params) {
  const GUID& preset = PresetGuid(params.preset, params.lowLatency);
  presetConfig_ = {};
  presetConfig_.version = NV_ENC_PRESET_CONFIG_VER;
  presetConfig_.presetCfg.version = NV_ENC_CONFIG_VER;
  if (functions_->nvEncGetEncodePresetConfig(encoder_, NV_ENC_CODEC_H264_GUID, preset,
                                             &presetConfig_) != NV_ENC_SUCCESS) {
    return GPUCODEC_ERR_GPUCODECGETENCODEPRESETCONFIG_FAILED;
  }

  encodeConfig_ = SessionEncodeConfig(
      presetConfig_.presetCfg, params.profile,
      {params.targetBitrateKbps, params.frameRate, params.lowLatency});
  encodeConfig_.version = NV_ENC_CONFIG_VER;

  initializeParams_ = {};
  initializeParams_.version = NV_ENC_INITIALIZE_PARAMS_VER;
  initializeParams_.encodeGUID = NV_ENC_CODEC_H264_GUID;
  initializeParams_.presetGUID = preset;
  initializeParams_.encodeWidth = params.width;
  initializeParams_.darWidth = params.width;
  initializeParams_.maxEncodeWidth = params.width;
  initializeParams_.encodeHeight = params.height;
  initializeParams_.darHeight = params.height;
  initializeParams_.maxEncodeHeight = params.height;
  initializeParams_.frameRateNum = params.frameRate;
  initializeParams_.frameRateDen = 1;
  initializeParams_.enableEncodeAsync = params.async ? 1 : 0;
  initializeParams_.enablePTD = 1;
  initializeParams_.encodeConfig = &encodeConfig_;
  if (functions_->nvEncInitializeEncoder(encoder_, &initializeParams_) != NV_ENC_SUCCESS) {
    return GPUCODEC_ERR_GPUCODECINITIALIZEENCODER_FAILED;
  }
  return GPUCODEC_ERR_NONE;
}

int32_t CGPUCODECEncoder::CreateBuffers(uint32_t width, uint32_t height) {
  bufferCount_ = gpucodec::BufferCount(width, height);
  inputSlots_ = std::make_unique<InputBufferSlot[]>(bufferCount_);
  bitstreamSlots_ = std::make_unique<BitstreamBufferSlot[]>(bufferCount_);
  // At most one task per slot: with room for all, queuing a submitted picture cannot fail.
  tasks_.reserve(bufferCount_);

  for (uint32_t i = 0; i < bufferCount_; ++i) {
    NV_ENC_CREATE_INPUT_BUFFER input = {};
    input.version = NV_ENC_CREATE_INPUT_BUFFER_VER;
    input.width = RoundUp32(width);
    input.height = RoundUp32(height);
    input.memoryHeap = NV_ENC_MEMORY_HEAP_SYSMEM_CACHED;
    input.bufferFmt = NV_ENC_BUFFER_FORMAT_NV12_PL;
    if (functions_->nvEncCreateInputBuffer(encoder_, &input) != NV_ENC_SUCCESS) {
      return GPUCODEC_ERR_GPUCODECCREATEINPUTBUFFER_FAILED;
    }
    inputSlots_[i] = {input.inputBuffer, input.width, input.height, false};

    NV_ENC_CREATE_BITSTREAM_BUFFER bitstream = {};
    bitstream.version = NV_ENC_CREATE_BITSTREAM_BUFFER_VER;
    bitstream.size = kBitstreamBufferBytes;
    bitstream.memoryHeap = NV_ENC_MEMORY_HEAP_SYSMEM_CACHED;
    if (functions_->nvEncCreateBitstreamBuffer(encoder_, &bitstream) != NV_ENC_SUCCESS) {
      return GPUCODEC_ERR_GPUCODECCREATEBITSTREAMBUFFER_FAILED;
    }
    bitstreamSlots_[i].handle = bitstream.bitstreamBuffer;
    bitstreamSlots_[i].size = bitstream.size;

    if (async_) {
      EventHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
      if (!event) return GPUCODEC_ERR_GPUCODECREGISTERASYNCEVENT_FAILED;
      NV_ENC_EVENT_PARAMS registration = {};
      registration.version = NV_ENC_EVENT_PARAMS_VER;
      registration.completionEvent = event.get();
      if (functions_->nvEncRegisterAsyncEvent(encoder_, &registration) != NV_ENC_SUCCESS) {
        return GPUCODEC_ERR_GPUCODECREGISTERASYNCEVENT_FAILED;
      }
      bitstreamSlots_[i].completionEvent = std::move(event);
    }
  }
  return GPUCODEC_ERR_NONE;
}

int32_t CGPUCODECEncoder::ReadSequenceHeader() {
  uint8_t payload[kSequencePayloadBytes] = {};
  uint32_t payloadSize = 0;
  NV_ENC_SEQUENCE_PARAM_PAYLOAD request = {};
  request.version = NV_ENC_SEQUENCE_PARAM_PAYLOAD_VER;
  request.inBufferSize = sizeof(payload);
  request.spsppsBuffer = payload;
  request.outSPSPPSPayloadSize = &payloadSize;
  if (functions_->nvEncGetSequenceParams(encoder_, &request) != NV_ENC_SUCCESS) {
    return GPUCODEC_ERR_GPUCODECGETSEQUENCEPARAMS_FAILED;
  }
  // A size beyond our buffer would have us read past it.
  if (payloadSize > sizeof(payload)) return GPUCODEC_ERR_INVALID_SEQUENCE_PARAMS;
  return BuildAvcDecoderConfig(payload, payloadSize, header_, headerSize_);
}

InputBufferSlot* CGPUCODECEncoder::FreeInputSlot() {
  if (!sessionOpen_) return nullptr;
  for (uint32_t i = 0; i < bufferCount_; ++i) {
    if (!inputSlots_[i].busy) return &inputSlots_[i];
  }
  return nullptr;
}

BitstreamBufferSlot* CGPUCODECEncoder::FreeBitstreamSlot() {
  for (uint32_t i = 0; i < bufferCount_; ++i) {
    if (!bitstreamSlots_[i].busy) return &bitstreamSlots_[i];
  }
  return nullptr;
}

int32_t CGPUCODECEncoder::EncodeFrame(uint32_t width, uint32_t height, const uint8_t* pixels,
                                      uint64_t timestamp) {
  InputBufferSlot* input = FreeInputSlot();
  for (int attempt = 0; input == nullptr && attempt < kBusyAttempts; ++attempt) {
    if (auto task = FinishedTask(0)) {
      CollectAndRetire(std::move(task));
      input = FreeInputSlot();
      break;
    }
    Sleep(1);
  }
  if (input == nullptr) return GPUCODEC_ERR_BUSY;
  BitstreamBufferSlot* bitstream = FreeBitstreamSlot();
  if (bitstream == nullptr) return GPUCODEC_ERR_BUSY;
  // The input buffers hold the session's size; a larger frame would overrun them.
  if (width > initializeParams_.encodeWidth || height > initializeParams_.encodeHeight) {
    return GPUCODEC_ERR_UNSUPPORTED;
  }
  // Made before anything is submitted: a picture the driver has must always have its task.
  auto task = std::make_unique<CGPUCODECEncoderTask>(CGPUCODECEncoderTask{input, bitstream});

  NV_ENC_LOCK_INPUT_BUFFER lock = {};
  lock.version = NV_ENC_LOCK_INPUT_BUFFER_VER;
  lock.inputBuffer = input->handle;
  if (functions_->nvEncLockInputBuffer(encoder_, &lock) != NV_ENC_SUCCESS) {
    return GPUCODEC_ERR_GPUCODECLOCKINPUTBUFFER_FAILED;
  }
  if (lock.pitch >= width && lock.bufferDataPtr != nullptr) {
    CopyPicture(pixels, width, height, static_cast<uint8_t*>(lock.bufferDataPtr), lock.pitch,
                input->allocatedHeight);
  }
  if (functions_->nvEncUnlockInputBuffer(encoder_, input->handle) != NV_ENC_SUCCESS) {
    return GPUCODEC_ERR_GPUCODECUNLOCKINPUTBUFFER_FAILED;
  }
  if (lock.pitch < width || lock.bufferDataPtr == nullptr) {
    return GPUCODEC_ERR_GPUCODECLOCKINPUTBUFFER_FAILED;
  }

  NV_ENC_PIC_PARAMS picture = {};
  picture.version = NV_ENC_PIC_PARAMS_VER;
  picture.inputWidth = width;
  picture.inputHeight = height;
  picture.inputTimeStamp = timestamp;
  picture.inputBuffer = input->handle;
  picture.outputBitstream = bitstream->handle;
  picture.completionEvent = async_ ? bitstream->completionEvent.get() : nullptr;
  picture.bufferFmt = NV_ENC_BUFFER_FORMAT_NV12_PL;
  picture.pictureStruct = NV_ENC_PIC_STRUCT_FRAME;
  const NVENCSTATUS status = functions_->nvEncEncodePicture(encoder_, &picture);
  if (status != NV_ENC_SUCCESS && status != NV_ENC_ERR_NEED_MORE_INPUT) {
    return GPUCODEC_ERR_GPUCODECENCODEPICTURE_FAILED;
  }

  input->busy = true;
  bitstream->busy = true;
  if (!async_) return CollectAndRetire(std::move(task));
  tasks_.push_back(std::move(task));
  if (auto finished = FinishedTask(0)) return CollectAndRetire(std::move(finished));
  return GPUCODEC_ERR_NONE;
}

void CGPUCODECEncoder::CopyPicture(const uint8_t* pixels, uint32_t width, uint32_t height,
                                   uint8_t* buffer, uint32_t pitch,
                                   uint32_t allocatedHeight) const {
  CopyPlane(pixels, buffer, pitch, width, height);
  CopyPlane(pixels + size_t{width} * height, buffer + size_t{allocatedHeight} * pitch, pitch,
            width, height / 2);
}

std::unique_ptr<CGPUCODECEncoderTask> CGPUCODECEncoder::FinishedTask(DWORD waitMs) {
  if (tasks_.empty()) return nullptr;
  HANDLE event = tasks_.front()->bitstream->completionEvent.get();
  if (event != nullptr && WaitForSingleObject(event, waitMs) != WAIT_OBJECT_0) return nullptr;
  auto task = std::move(tasks_.front());
  tasks_.erase(tasks_.begin());
  return task;
}

int32_t CGPUCODECEncoder::CollectOutput(const CGPUCODECEncoderTask& task) {
  // In asynchronous mode the event has fired, so the lock need not wait.
  BitstreamLock lock(*functions_, encoder_, task.bitstream->handle, async_);
  if (!lock.Locked()) return GPUCODEC_ERR_GPUCODECLOCKBITSTREAM_FAILED;
  int32_t code = GPUCODEC_ERR_NONE;
  try {
    const NV_ENC_LOCK_BITSTREAM& output = lock.Params();
    auto frame = std::make_unique<GPUCODEC_ENCODED_FRAME>();
    frame->pictureType = output.pictureType;
    frame->timestamp = output.outputTimeStamp;
    if (output.bitstreamBufferPtr != nullptr) {
      ConvertToLengthPrefixed(static_cast<const uint8_t*>(output.bitstreamBufferPtr),
                              output.bitstreamSizeInBytes, *frame);
    }
    if (frame->size != 0) frames_.push_back(std::move(frame));
  } catch (const std::bad_alloc&) {
    code = GPUCODEC_ERR_UNKNOWN;  // the frame is lost; the buffer and its slots are not
  }
  if (!lock.Unlock()) return GPUCODEC_ERR_GPUCODECUNLOCKBITSTREAM_FAILED;
  return code;
}

int32_t CGPUCODECEncoder::CollectAndRetire(std::unique_ptr<CGPUCODECEncoderTask> task) {
  const int32_t code = CollectOutput(*task);
  task->input->busy = false;
  task->bitstream->busy = false;
  return code;
}

int32_t CGPUCODECEncoder::Close() {
  if (functions_) {
    if (encoder_ != nullptr && inputSlots_ && bitstreamSlots_) {
      NV_ENC_PIC_PARAMS endOfStream = {};
      endOfStream.version = NV_ENC_PIC_PARAMS_VER;
      endOfStream.encodePicFlags = NV_ENC_PIC_FLAG_EOS;
      functions_->nvEncEncodePicture(encoder_, &endOfStream);
    }
    // Pictures finish in order: after one that does not, none is coming, and a later frame
    // would refer to the missing one.
    while (auto task = FinishedTask(kCloseWaitMs)) CollectAndRetire(std::move(task));

    // The slots of a picture that never finished may still be written: they go only after
    // the encoder, with it.
    for (uint32_t i = 0; i < bufferCount_; ++i) {
      if (inputSlots_[i].handle != nullptr && !inputSlots_[i].busy) {
        functions_->nvEncDestroyInputBuffer(encoder_, inputSlots_[i].handle);
      }
      BitstreamBufferSlot& bitstream = bitstreamSlots_[i];
      if (bitstream.busy) continue;
      if (bitstream.handle != nullptr) {
        functions_->nvEncDestroyBitstreamBuffer(encoder_, bitstream.handle);
      }
      if (bitstream.completionEvent) {
        NV_ENC_EVENT_PARAMS registration = {};
        registration.version = NV_ENC_EVENT_PARAMS_VER;
        registration.completionEvent = bitstream.completionEvent.get();
        functions_->nvEncUnregisterAsyncEvent(encoder_, &registration);
        bitstream.completionEvent.reset();
      }
    }
    bufferCount_ = 0;
    sessionOpen_ = false;
    if (encoder_ != nullptr) functions_->nvEncDestroyEncoder(encoder_);
    encoder_ = nullptr;
  }
  tasks_.clear();
  inputSlots_.reset();
  bitstreamSlots_.reset();
  if (context_ != nullptr) cuCtxDestroy_v2(context_);
  context_ = nullptr;
  functions_.reset();
  library_.reset();
  return GPUCODEC_ERR_NONE;
}

GPUCODEC_ENCODED_FRAME* CGPUCODECEncoder::TakeFrame() {
  if (frames_.empty()) return nullptr;
  handedOut_.splice(handedOut_.end(), frames_, frames_.begin());
  return handedOut_.back().get();
}

bool CGPUCODECEncoder::FreeFrame(const void* handle) {
  for (auto it = handedOut_.begin(); it != handedOut_.end(); ++it) {
    if (it->get() == handle) {
      handedOut_.erase(it);
      return true;
    }
  }
  return false;
}

}  // namespace gpucodec
