#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "event_signaller.h"
#include "h264_writer.h"
#include "nv_encode_api.h"
#include "standin_config.h"

namespace nvstandin {

// One encode session of the stand-in driver: buffers, registered events and an exact H.264
// writer. Called on the client's thread; only the completion events are set from the
// signaller's thread.
class EncodeSession {
 public:
  explicit EncodeSession(const StandinConfig& config) : config_(config) {}
  ~EncodeSession();

  NVENCSTATUS GetPresetConfig(const GUID& encodeGuid, const GUID& presetGuid,
                              NV_ENC_PRESET_CONFIG* presetConfig);
  NVENCSTATUS Initialize(NV_ENC_INITIALIZE_PARAMS* params);
  NVENCSTATUS CreateInputBuffer(NV_ENC_CREATE_INPUT_BUFFER* params);
  NVENCSTATUS DestroyInputBuffer(NV_ENC_INPUT_PTR buffer);
  NVENCSTATUS CreateBitstreamBuffer(NV_ENC_CREATE_BITSTREAM_BUFFER* params);
  NVENCSTATUS DestroyBitstreamBuffer(NV_ENC_OUTPUT_PTR buffer);
  NVENCSTATUS RegisterEvent(NV_ENC_EVENT_PARAMS* params);
  NVENCSTATUS UnregisterEvent(NV_ENC_EVENT_PARAMS* params);
  NVENCSTATUS GetSequenceParams(NV_ENC_SEQUENCE_PARAM_PAYLOAD* payload);
  NVENCSTATUS LockInput(NV_ENC_LOCK_INPUT_BUFFER* params);
  NVENCSTATUS UnlockInput(NV_ENC_INPUT_PTR buffer);
  NVENCSTATUS EncodePicture(NV_ENC_PIC_PARAMS* params);
  NVENCSTATUS LockBitstream(NV_ENC_LOCK_BITSTREAM* params);
  NVENCSTATUS UnlockBitstream(NV_ENC_OUTPUT_PTR buffer);

 private:
  using Clock = EventSignaller::Clock;

  struct InputBuffer {
    uint32_t height;
    uint32_t pitch;
    std::vector<uint8_t> bytes;
    bool locked = false;
  };
  struct BitstreamBuffer {
    std::vector<uint8_t> bytes;  // grows past its nominal size when a picture needs it
    bool pending = false;
    bool locked = false;
    NV_ENC_PIC_TYPE pictureType = NV_ENC_PIC_TYPE_UNKNOWN;
    uint64_t timestamp = 0;
    uint32_t frameIdx = 0;
    Clock::time_point readyAt;
  };

  void RecordInput(const InputBuffer& input);

  StandinConfig config_;
  bool initialized_ = false;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  bool async_ = false;
  uint32_t frameIdx_ = 0;
  std::unique_ptr<H264StreamWriter> writer_;
  std::map<void*, std::unique_ptr<InputBuffer>> inputs_;
  std::map<void*, std::unique_ptr<BitstreamBuffer>> bitstreams_;
  std::set<HANDLE> events_;
  std::unique_ptr<EventSignaller> signaller_;  // asynchronous mode only
};

}  // namespace nvstandin
