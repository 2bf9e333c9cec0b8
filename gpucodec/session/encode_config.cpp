#include "encode_config.h"

#include <algorithm>

namespace gpucodec {

const GUID& PresetGuid(int32_t preset, bool lowLatency) {
  switch (preset) {
    case 0: return lowLatency ? NV_ENC_PRESET_LOW_LATENCY_HP_GUID : NV_ENC_PRESET_HP_GUID;
    case 1:
      return lowLatency ? NV_ENC_PRESET_LOW_LATENCY_DEFAULT_GUID : NV_ENC_PRESET_DEFAULT_GUID;
    case 2: return lowLatency ? NV_ENC_PRESET_LOW_LATENCY_HQ_GUID : NV_ENC_PRESET_HQ_GUID;
    default: return NV_ENC_PRESET_DEFAULT_GUID;
  }
}

const GUID& ProfileGuid(int32_t profile) {
  switch (profile) {
    case 66: return NV_ENC_H264_PROFILE_BASELINE_GUID;
    case 77: return NV_ENC_H264_PROFILE_MAIN_GUID;
    case 100: return NV_ENC_H264_PROFILE_HIGH_GUID;
    default: return NV_ENC_CODEC_PROFILE_AUTOSELECT_GUID;
  }
}

NV_ENC_CONFIG SessionEncodeConfig(const NV_ENC_CONFIG& preset, int32_t profile,
                                  const SessionRate& rate) {
  NV_ENC_CONFIG config = preset;
  config.frameIntervalP = 1;
  config.gopLength = NVENC_INFINITE_GOPLENGTH;
  config.encodeCodecConfig.h264Config.idrPeriod = NVENC_INFINITE_GOPLENGTH;
  config.frameFieldMode = NV_ENC_PARAMS_FRAME_FIELD_MODE_FRAME;
  config.encodeCodecConfig.h264Config.bitFields |= NV_ENC_H264_ENABLE_VFR_BIT;
  if (profile != 0) config.profileGUID = ProfileGuid(profile);

  NV_ENC_RC_PARAMS& rc = config.rcParams;
  const uint32_t target = rate.targetKbps * 1000u;
  rc.averageBitRate = target;
  if (rate.lowLatency) {
    // A VBV of one frame's bits keeps every picture near its share: the latency presets'
    // purpose.
    rc.rateControlMode = NV_ENC_PARAMS_RC_CBR;
    rc.maxBitRate = target;
    rc.vbvBufferSize = target / std::max<uint32_t>(rate.frameRate, 1);
  } else {
    rc.rateControlMode = NV_ENC_PARAMS_RC_VBR;
    rc.maxBitRate = target + target / 2;
    rc.vbvBufferSize = rc.maxBitRate;
  }
  rc.vbvInitialDelay = rc.vbvBufferSize;
  return config;
}

uint32_t BufferCount(uint32_t width, uint32_t height) {
  // Taken in pixels, not macroblocks: only the tiniest pictures get the deeper ring.
  return uint64_t{width + 15} * (height + 15) >= 8160 ? 16 : 32;
}

}  // namespace gpucodec
