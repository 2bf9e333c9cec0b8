#include "encode_session.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "record_section.h"

namespace nvstandin {
namespace {

constexpr uint32_t kMaxDimension = 4096;

bool KnownPreset(const GUID& preset) {
  for (const GUID* known : {&NV_ENC_PRESET_DEFAULT_GUID, &NV_ENC_PRESET_HP_GUID,
                            &NV_ENC_PRESET_HQ_GUID, &NV_ENC_PRESET_LOW_LATENCY_DEFAULT_GUID,
                            &NV_ENC_PRESET_LOW_LATENCY_HQ_GUID,
                            &NV_ENC_PRESET_LOW_LATENCY_HP_GUID}) {
    if (preset == *known) return true;
  }
  return false;
}

bool LowLatencyPreset(const GUID& preset) {
  return preset == NV_ENC_PRESET_LOW_LATENCY_DEFAULT_GUID ||
         preset == NV_ENC_PRESET_LOW_LATENCY_HQ_GUID || preset == NV_ENC_PRESET_LOW_LATENCY_HP_GUID;
}

// profile_idc for a profile GUID; 0 for one this driver does not know.
uint32_t ProfileIdc(const GUID& profile) {
  if (profile == NV_ENC_H264_PROFILE_BASELINE_GUID) return 66;
  if (profile == NV_ENC_H264_PROFILE_MAIN_GUID) return 77;
  if (profile == NV_ENC_H264_PROFILE_HIGH_GUID) return 100;
  if (profile == NV_ENC_CODEC_PROFILE_AUTOSELECT_GUID) return 77;
  return 0;
}

uint32_t RoundUp(uint32_t value, uint32_t step) { return (value + step - 1) / step * step; }

}  // namespace

// The signaller goes first, so nothing finishes while the session is taken apart; finishing
// takes lock_, so it must not be held here.
EncodeSession::~EncodeSession() { signaller_.reset(); }

NVENCSTATUS EncodeSession::GetPresetConfig(const GUID& encodeGuid, const GUID& presetGuid,
                                           NV_ENC_PRESET_CONFIG* presetConfig) {
  std::lock_guard lock(lock_);
  if (presetConfig == nullptr) return NV_ENC_ERR_INVALID_PTR;
  if (presetConfig->version != NV_ENC_PRESET_CONFIG_VER ||
      presetConfig->presetCfg.version != NV_ENC_CONFIG_VER) {
    return NV_ENC_ERR_INVALID_VERSION;
  }
  if (encodeGuid != NV_ENC_CODEC_H264_GUID || !KnownPreset(presetGuid)) {
    return NV_ENC_ERR_INVALID_PARAM;
  }
  Record().presetRequested = presetGuid;

  NV_ENC_CONFIG& config = presetConfig->presetCfg;
  const bool lowLatency = LowLatencyPreset(presetGuid);
  // Each family names a profile of its own, so a client that keeps the preset's is seen.
  config.profileGUID = lowLatency ? NV_ENC_H264_PROFILE_MAIN_GUID : NV_ENC_H264_PROFILE_HIGH_GUID;
  config.gopLength = lowLatency ? 30 : 250;
  config.frameIntervalP = lowLatency ? 1 : 3;  // the normal presets use B pictures
  config.frameFieldMode = NV_ENC_PARAMS_FRAME_FIELD_MODE_FRAME;
  config.rcParams.version = NV_ENC_RC_PARAMS_VER;
  config.rcParams.rateControlMode = NV_ENC_PARAMS_RC_CONSTQP;
  config.rcParams.constQP = {28, 31, 25};
  NV_ENC_CONFIG_H264& h264 = config.encodeCodecConfig.h264Config;
  h264.idrPeriod = config.gopLength;
  h264.maxNumRefFrames = lowLatency ? 1 : 4;
  h264.chromaFormatIDC = 1;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS EncodeSession::Initialize(NV_ENC_INITIALIZE_PARAMS* params) {
  std::lock_guard lock(lock_);
  if (params == nullptr || params->encodeConfig == nullptr) return NV_ENC_ERR_INVALID_PTR;
  if (params->version != NV_ENC_INITIALIZE_PARAMS_VER ||
      params->encodeConfig->version != NV_ENC_CONFIG_VER ||
      params->encodeConfig->rcParams.version != NV_ENC_RC_PARAMS_VER) {
    return NV_ENC_ERR_INVALID_VERSION;
  }
  if (initialized_) return NV_ENC_ERR_INVALID_CALL;
  const NV_ENC_CONFIG& config = *params->encodeConfig;
  const uint32_t profileIdc = ProfileIdc(config.profileGUID);
  if (params->encodeGUID != NV_ENC_CODEC_H264_GUID || !KnownPreset(params->presetGUID) ||
      profileIdc == 0 || params->encodeWidth < 16 || params->encodeHeight < 16 ||
      params->encodeWidth > kMaxDimension || params->encodeHeight > kMaxDimension ||
      params->frameRateNum == 0 || params->frameRateDen == 0) {
    return NV_ENC_ERR_INVALID_PARAM;
  }
  // This driver writes no B pictures and needs to be told each picture's type itself.
  if (params->enablePTD != 1 || config.frameIntervalP != 1 ||
      config.frameFieldMode != NV_ENC_PARAMS_FRAME_FIELD_MODE_FRAME) {
    return NV_ENC_ERR_UNSUPPORTED_PARAM;
  }

  StandinRecord& record = Record();
  InitializeRecord& r = record.initialize;
  r.encodeGuid = params->encodeGUID;
  r.presetGuid = params->presetGUID;
  r.profileGuid = config.profileGUID;
  r.rateControlMode = config.rcParams.rateControlMode;
  r.constQpInterP = config.rcParams.constQP.qpInterP;
  r.constQpInterB = config.rcParams.constQP.qpInterB;
  r.constQpIntra = config.rcParams.constQP.qpIntra;
  r.averageBitRate = config.rcParams.averageBitRate;
  r.maxBitRate = config.rcParams.maxBitRate;
  r.vbvBufferSize = config.rcParams.vbvBufferSize;
  r.vbvInitialDelay = config.rcParams.vbvInitialDelay;
  r.gopLength = config.gopLength;
  r.idrPeriod = config.encodeCodecConfig.h264Config.idrPeriod;
  r.frameIntervalP = config.frameIntervalP;
  r.frameFieldMode = config.frameFieldMode;
  r.h264BitFields = config.encodeCodecConfig.h264Config.bitFields;
  r.encodeWidth = params->encodeWidth;
  r.encodeHeight = params->encodeHeight;
  r.darWidth = params->darWidth;
  r.darHeight = params->darHeight;
  r.maxEncodeWidth = params->maxEncodeWidth;
  r.maxEncodeHeight = params->maxEncodeHeight;
  r.frameRateNum = params->frameRateNum;
  r.frameRateDen = params->frameRateDen;
  r.enableEncodeAsync = params->enableEncodeAsync;
  r.enablePTD = params->enablePTD;
  record.initialized = 1;

  width_ = params->encodeWidth;
  height_ = params->encodeHeight;
  async_ = params->enableEncodeAsync != 0;
  writer_ = std::make_unique<H264StreamWriter>(PictureFormat{width_, height_, profileIdc});
  if (async_) signaller_ = std::make_unique<EventSignaller>();
  initialized_ = true;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS EncodeSession::CreateInputBuffer(NV_ENC_CREATE_INPUT_BUFFER* params) {
  std::lock_guard lock(lock_);
  if (params == nullptr) return NV_ENC_ERR_INVALID_PTR;
  if (params->version != NV_ENC_CREATE_INPUT_BUFFER_VER) return NV_ENC_ERR_INVALID_VERSION;
  if (!initialized_) return NV_ENC_ERR_ENCODER_NOT_INITIALIZED;
  if (params->width < width_ || params->height < height_ || params->width > kMaxDimension ||
      params->height > kMaxDimension || params->bufferFmt != NV_ENC_BUFFER_FORMAT_NV12_PL ||
      params->memoryHeap > NV_ENC_MEMORY_HEAP_SYSMEM_UNCACHED) {
    return NV_ENC_ERR_INVALID_PARAM;
  }
  auto buffer = std::make_unique<InputBuffer>();
  buffer->index = inputsCreated_++;
  buffer->height = params->height;
  buffer->pitch = RoundUp(params->width, 64);
  // Filled with a marker, so that tests see which bytes a client wrote.
  buffer->bytes.assign(size_t{buffer->pitch} * (params->height + (params->height + 1) / 2), 0xCD);
  params->inputBuffer = buffer.get();
  inputs_.emplace(buffer.get(), std::move(buffer));

  StandinRecord& record = Record();
  ++record.liveInputBuffers;
  record.inputWidth = params->width;
  record.inputHeight = params->height;
  record.inputHeap = params->memoryHeap;
  record.inputFormat = params->bufferFmt;
  record.inputPitch = RoundUp(params->width, 64);
  return NV_ENC_SUCCESS;
}

NVENCSTATUS EncodeSession::DestroyInputBuffer(NV_ENC_INPUT_PTR buffer) {
  std::lock_guard lock(lock_);
  auto found = inputs_.find(buffer);
  if (found == inputs_.end()) return NV_ENC_ERR_INVALID_PARAM;
  if (found->second->readers != 0) {
    ++Record().inFlightMisuses;
    // Its pictures finish with nothing to read.
    for (auto& [handle, output] : bitstreams_) {
      if (InFlight(*output) && output->source == found->second.get()) {
        output->source = nullptr;
        output->finished = true;
        output->bytes.clear();
      }
    }
  }
  inputs_.erase(found);
  --Record().liveInputBuffers;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS EncodeSession::CreateBitstreamBuffer(NV_ENC_CREATE_BITSTREAM_BUFFER* params) {
  std::lock_guard lock(lock_);
  if (params == nullptr) return NV_ENC_ERR_INVALID_PTR;
  if (params->version != NV_ENC_CREATE_BITSTREAM_BUFFER_VER) return NV_ENC_ERR_INVALID_VERSION;
  if (!initialized_) return NV_ENC_ERR_ENCODER_NOT_INITIALIZED;
  if (params->size == 0) return NV_ENC_ERR_INVALID_PARAM;
  auto buffer = std::make_unique<BitstreamBuffer>();
  buffer->index = bitstreamsCreated_++;
  buffer->bytes.reserve(params->size);
  params->bitstreamBuffer = buffer.get();
  bitstreams_.emplace(buffer.get(), std::move(buffer));

  StandinRecord& record = Record();
  ++record.liveBitstreamBuffers;
  record.bitstreamSize = params->size;
  record.bitstreamHeap = params->memoryHeap;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS EncodeSession::DestroyBitstreamBuffer(NV_ENC_OUTPUT_PTR buffer) {
  std::lock_guard lock(lock_);
  auto found = bitstreams_.find(buffer);
  if (found == bitstreams_.end()) return NV_ENC_ERR_INVALID_PARAM;
  BitstreamBuffer& output = *found->second;
  if (InFlight(output)) {
    ++Record().inFlightMisuses;
    if (output.source != nullptr) --output.source->readers;
  }
  if (output.locked) --Record().lockedBitstreams;
  bitstreams_.erase(found);
  --Record().liveBitstreamBuffers;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS EncodeSession::RegisterEvent(NV_ENC_EVENT_PARAMS* params) {
  std::lock_guard lock(lock_);
  if (params == nullptr) return NV_ENC_ERR_INVALID_PTR;
  if (params->version != NV_ENC_EVENT_PARAMS_VER) return NV_ENC_ERR_INVALID_VERSION;
  if (!initialized_) return NV_ENC_ERR_ENCODER_NOT_INITIALIZED;
  if (!async_) return NV_ENC_ERR_INVALID_CALL;
  if (params->completionEvent == nullptr || !events_.insert(params->completionEvent).second) {
    return NV_ENC_ERR_INVALID_EVENT;
  }
  ++Record().liveEvents;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS EncodeSession::UnregisterEvent(NV_ENC_EVENT_PARAMS* params) {
  std::lock_guard lock(lock_);
  if (params == nullptr) return NV_ENC_ERR_INVALID_PTR;
  if (params->version != NV_ENC_EVENT_PARAMS_VER) return NV_ENC_ERR_INVALID_VERSION;
  if (events_.erase(params->completionEvent) == 0) return NV_ENC_ERR_EVENT_NOT_REGISTERD;
  for (const auto& [handle, output] : bitstreams_) {
    if (InFlight(*output) && output->completionEvent == params->completionEvent) {
      ++Record().inFlightMisuses;
    }
  }
  --Record().liveEvents;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS EncodeSession::GetSequenceParams(NV_ENC_SEQUENCE_PARAM_PAYLOAD* payload) {
  std::lock_guard lock(lock_);
  if (payload == nullptr || payload->spsppsBuffer == nullptr ||
      payload->outSPSPPSPayloadSize == nullptr) {
    return NV_ENC_ERR_INVALID_PTR;
  }
  if (payload->version != NV_ENC_SEQUENCE_PARAM_PAYLOAD_VER) return NV_ENC_ERR_INVALID_VERSION;
  if (!initialized_) return NV_ENC_ERR_ENCODER_NOT_INITIALIZED;
  std::vector<uint8_t> headers = writer_->SequenceHeaders();
  uint32_t reported = static_cast<uint32_t>(headers.size());
  if (config_.sequence == SequencePayload::kWithoutPps) {
    static constexpr uint8_t kStartCode[4] = {0, 0, 0, 1};
    auto pps = std::search(headers.begin() + 4, headers.end(), kStartCode, kStartCode + 4);
    headers.erase(pps, headers.end());
    reported = static_cast<uint32_t>(headers.size());
  } else if (config_.sequence == SequencePayload::kOversize) {
    reported = payload->inBufferSize + 8;  // what a faulty driver might claim
  }
  if (config_.sequence != SequencePayload::kOversize && headers.size() > payload->inBufferSize) {
    return NV_ENC_ERR_NOT_ENOUGH_BUFFER;
  }
  std::memcpy(payload->spsppsBuffer, headers.data(),
              std::min<size_t>(headers.size(), payload->inBufferSize));
  *payload->outSPSPPSPayloadSize = reported;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS EncodeSession::LockInput(NV_ENC_LOCK_INPUT_BUFFER* params) {
  std::lock_guard lock(lock_);
  if (params == nullptr) return NV_ENC_ERR_INVALID_PTR;
  if (params->version != NV_ENC_LOCK_INPUT_BUFFER_VER) return NV_ENC_ERR_INVALID_VERSION;
  auto found = inputs_.find(params->inputBuffer);
  if (found == inputs_.end()) return NV_ENC_ERR_INVALID_PARAM;
  InputBuffer& buffer = *found->second;
  if (buffer.locked) return NV_ENC_ERR_LOCK_BUSY;
  if (buffer.readers != 0) ++Record().inFlightMisuses;  // a picture still to read it
  buffer.locked = true;
  params->bufferDataPtr = buffer.bytes.data();
  params->pitch = buffer.pitch;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS EncodeSession::UnlockInput(NV_ENC_INPUT_PTR handle) {
  std::lock_guard lock(lock_);
  auto found = inputs_.find(handle);
  if (found == inputs_.end()) return NV_ENC_ERR_INVALID_PARAM;
  if (!found->second->locked) return NV_ENC_ERR_INVALID_CALL;
  found->second->locked = false;
  return NV_ENC_SUCCESS;
}

void EncodeSession::RecordInput(const InputBuffer& input) {
  StandinRecord& record = Record();
  record.lastInputPitch = input.pitch;
  record.lastInputAllocatedHeight = input.height;
  record.lastInputBytes = 0;
  if (input.bytes.size() <= kLastInputCapacity) {
    std::memcpy(record.lastInput, input.bytes.data(), input.bytes.size());
    record.lastInputBytes = static_cast<uint32_t>(input.bytes.size());
  }
}

NVENCSTATUS EncodeSession::EncodePicture(NV_ENC_PIC_PARAMS* params) {
  std::lock_guard lock(lock_);
  if (params == nullptr) return NV_ENC_ERR_INVALID_PTR;
  if (params->version != NV_ENC_PIC_PARAMS_VER) return NV_ENC_ERR_INVALID_VERSION;
  if (!initialized_) return NV_ENC_ERR_ENCODER_NOT_INITIALIZED;
  StandinRecord& record = Record();
  if (params->encodePicFlags & NV_ENC_PIC_FLAG_EOS) {
    ++record.endOfStreamPictures;  // nothing is held back, so nothing is left to flush
    return NV_ENC_SUCCESS;
  }
  auto input = inputs_.find(params->inputBuffer);
  auto output = bitstreams_.find(params->outputBitstream);
  if (input == inputs_.end() || output == bitstreams_.end() ||
      params->bufferFmt != NV_ENC_BUFFER_FORMAT_NV12_PL ||
      params->pictureStruct != NV_ENC_PIC_STRUCT_FRAME || params->inputWidth != width_ ||
      params->inputHeight != height_) {
    return NV_ENC_ERR_INVALID_PARAM;
  }
  InputBuffer& in = *input->second;
  BitstreamBuffer& out = *output->second;
  if (in.locked || out.locked) return NV_ENC_ERR_ENCODER_BUSY;
  // The driver's interface requires an event for every picture in asynchronous mode.
  if (async_ && (params->completionEvent == nullptr || events_.count(params->completionEvent) == 0)) {
    return NV_ENC_ERR_INVALID_EVENT;
  }
  if (InFlight(out)) {
    ++record.inFlightMisuses;
    if (out.source != nullptr) --out.source->readers;
  } else if (out.pending) {
    ++record.lostPictures;  // finished, never read: given up and overwritten
  }

  out.pending = true;
  out.finished = false;
  out.source = &in;
  ++in.readers;
  out.completionEvent = params->completionEvent;
  out.serial = ++serial_;
  out.timestamp = params->inputTimeStamp;
  out.frameIdx = frameIdx_++;
  out.readyAt = Clock::now() + std::chrono::milliseconds(config_.completionDelayMs);
  ++record.pictures;
  record.lastPictureInputIndex = in.index;
  record.lastPictureBitstreamIndex = out.index;
  const bool hangs = ++pictures_ == config_.hangPicture;
  if (async_ && !hangs) {
    signaller_->Schedule(out.readyAt, [this, handle = params->outputBitstream, serial = out.serial] {
      FinishScheduled(handle, serial);
    });
  }
  return config_.needMoreInput ? NV_ENC_ERR_NEED_MORE_INPUT : NV_ENC_SUCCESS;
}

void EncodeSession::Finish(BitstreamBuffer& buffer) {
  buffer.bytes.clear();
  if (buffer.source != nullptr) {
    InputBuffer& in = *buffer.source;
    const bool idr = writer_->EncodePicture(in.bytes.data(),
                                            in.bytes.data() + size_t{in.pitch} * in.height,
                                            in.pitch, config_.tinyPictures, buffer.bytes);
    buffer.pictureType = idr ? NV_ENC_PIC_TYPE_IDR : NV_ENC_PIC_TYPE_P;
    RecordInput(in);
    --in.readers;
    buffer.source = nullptr;
  }
  buffer.finished = true;
  ++Record().finishedPictures;
}

void EncodeSession::FinishScheduled(NV_ENC_OUTPUT_PTR handle, uint64_t serial) {
  std::lock_guard lock(lock_);
  auto found = bitstreams_.find(handle);
  if (found == bitstreams_.end()) return;
  BitstreamBuffer& buffer = *found->second;
  if (buffer.serial != serial || !InFlight(buffer)) return;
  Finish(buffer);
  finished_.notify_all();
  if (events_.count(buffer.completionEvent) != 0) SetEvent(buffer.completionEvent);
}

NVENCSTATUS EncodeSession::LockBitstream(NV_ENC_LOCK_BITSTREAM* params) {
  if (params == nullptr) return NV_ENC_ERR_INVALID_PTR;
  if (params->version != NV_ENC_LOCK_BITSTREAM_VER) return NV_ENC_ERR_INVALID_VERSION;
  std::unique_lock lock(lock_);
  auto found = bitstreams_.find(params->outputBitstream);
  if (found == bitstreams_.end()) return NV_ENC_ERR_INVALID_PARAM;
  BitstreamBuffer& buffer = *found->second;
  if (!buffer.pending) return NV_ENC_ERR_INVALID_CALL;
  if (buffer.locked) return NV_ENC_ERR_LOCK_BUSY;
  const bool doNotWait = (params->bitFields & NV_ENC_LOCK_DO_NOT_WAIT) != 0;
  Record().lastLockDoNotWait = doNotWait ? 1 : 0;
  if (async_) {
    if (!buffer.finished && doNotWait) return NV_ENC_ERR_LOCK_BUSY;
    const uint64_t serial = buffer.serial;
    finished_.wait(lock, [&] { return buffer.finished || buffer.serial != serial; });
  } else {
    if (Clock::now() < buffer.readyAt) {
      if (doNotWait) return NV_ENC_ERR_LOCK_BUSY;
      std::this_thread::sleep_until(buffer.readyAt);
    }
    if (!buffer.finished) Finish(buffer);
  }
  buffer.locked = true;
  ++Record().lockedBitstreams;
  params->bitstreamBufferPtr = buffer.bytes.data();
  params->bitstreamSizeInBytes = static_cast<uint32_t>(buffer.bytes.size());
  params->outputTimeStamp = buffer.timestamp;
  params->outputDuration = 0;
  params->pictureType = buffer.pictureType;
  params->pictureStruct = NV_ENC_PIC_STRUCT_FRAME;
  params->frameIdx = buffer.frameIdx;
  params->numSlices = 1;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS EncodeSession::UnlockBitstream(NV_ENC_OUTPUT_PTR handle) {
  std::lock_guard lock(lock_);
  auto found = bitstreams_.find(handle);
  if (found == bitstreams_.end()) return NV_ENC_ERR_INVALID_PARAM;
  if (!found->second->locked) return NV_ENC_ERR_INVALID_CALL;
  found->second->locked = false;
  found->second->pending = false;
  --Record().lockedBitstreams;
  return NV_ENC_SUCCESS;
}

}  // namespace nvstandin
