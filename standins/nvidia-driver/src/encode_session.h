#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "event_signaller.h"
#include "h264_writer.h"
#include "nv_encode_api.h"
#include "standin_config.h"

namespace nvstandin {

// One encode session of the stand-in driver: buffers, registered events and an exact H.264
// writer. A picture reads its input buffer when it finishes, as a card does: on the
// signaller's thread in asynchronous mode, at the bitstream lock in synchronous mode, so a
// client that rewrites a busy input buffer gets the wrong picture. lock_ guards everything
// the client's calls and the finishing share.
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
    uint32_t index;  // creation order
    uint32_t height;
    uint32_t pitch;
    std::vector<uint8_t> bytes;
    bool locked = false;
    uint32_t readers = 0;  // submitted pictures not yet finished that read this buffer
  };
  struct BitstreamBuffer {
    uint32_t index;  // creation order
    std::vector<uint8_t> bytes;  // grows past its nominal size when a picture needs it
    bool pending = false;   // a picture was submitted and not yet unlocked
    bool finished = false;  // its input has been read and its output written
    bool locked = false;
    InputBuffer* source = nullptr;  // until finished
    HANDLE completionEvent = nullptr;
    uint64_t serial = 0;  // names the submission, so a late finish of an older one is ignored
    NV_ENC_PIC_TYPE pictureType = NV_ENC_PIC_TYPE_UNKNOWN;
    uint64_t timestamp = 0;
    uint32_t frameIdx = 0;
    Clock::time_point readyAt;
  };

  bool InFlight(const BitstreamBuffer& buffer) const { return buffer.pending && !buffer.finished; }
  void Finish(BitstreamBuffer& buffer);
  void FinishScheduled(NV_ENC_OUTPUT_PTR handle, uint64_t serial);
  void RecordInput(const InputBuffer& input);

  StandinConfig config_;
  std::mutex lock_;
  std::condition_variable finished_;
  bool initialized_ = false;
  uint32_t width_ = 0;
  uint32_t height_ = 0;
  bool async_ = false;
  uint32_t frameIdx_ = 0;
  uint32_t pictures_ = 0;
  uint64_t serial_ = 0;
  uint32_t inputsCreated_ = 0;
  uint32_t bitstreamsCreated_ = 0;
  std::unique_ptr<H264StreamWriter> writer_;
  std::map<void*, std::unique_ptr<InputBuffer>> inputs_;
  std::map<void*, std::unique_ptr<BitstreamBuffer>> bitstreams_;
  std::set<HANDLE> events_;
  std::unique_ptr<EventSignaller> signaller_;  // asynchronous mode only
};

}  // namespace nvstandin
