// A filter with one input pin that renders each sample at its presentation time on the
// graph's clock, completes a pause only once it holds a sample, reports the end of the
// stream to the graph once the last sample's time is over, and passes seeking upstream.
// It knows nothing of pixels: a derived filter accepts media types, takes the connected
// format and renders one sample.
//
// Graph threads change the state under the filter's state lock. The upstream streaming
// thread calls Receive (which blocks until the sample is due) and EndOfStream (which does
// not: a completion thread of the renderer's own sends EC_COMPLETE when the time comes).
// The state, start time and clock are the filter's own (CBaseFilter); its stream lock
// guards them and, beside them, the scheduling state those waits look at: flushing, the
// held sample and the one being rendered, the end of the stream, the pin's connection as
// of the last state change (connections change only while stopped) and readiness.
// renderLock_ is held around DoRenderSample; qualityLock_ guards the upstream quality
// sink. Lock order: state, stream, render.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "base_filter.h"
#include "position_pass_thru.h"
#include "renderer_input_pin.h"
#include "win_event.h"

namespace pixora::dshow {

class CBaseRenderer : public CBaseFilter {
 public:
  // Throws std::bad_alloc or std::system_error when it cannot be made.
  CBaseRenderer(IUnknown* outer, REFCLSID clsid, const FilterSetup* setup);
  ~CBaseRenderer() override;

  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** object) override;

  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  // Paused without a sample, end of stream or an unconnected pin: VFW_S_STATE_INTERMEDIATE
  // once the timeout passes.
  STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int index) override;

  // What the derived filter supplies; the connection steps run under the state lock.
  // CheckMediaType is asked once per type offered, the pin keeps the type it accepted, and
  // CompleteConnect finds it there.
  virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT CompleteConnect(IPin* receivePin);
  virtual HRESULT BreakConnect();
  // Called on the streaming thread, under renderLock_, once per sample that is due.
  virtual HRESULT DoRenderSample(IMediaSample* sample) = 0;

  // From the input pin.
  HRESULT Receive(IMediaSample* sample);
  HRESULT EndOfStream();
  HRESULT BeginFlush();
  HRESULT EndFlush();
  HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

 protected:
  CRendererInputPin* InputPin() { return pin_.get(); }

 private:
  struct Schedule {
    Microsoft::WRL::ComPtr<IReferenceClock> clock;
    REFERENCE_TIME start = 0;
  };
  // Blocks until stream time `time` (or at once when untimed or without a clock) while
  // running. S_OK when due; S_FALSE when flushed; VFW_E_WRONG_STATE when stopped.
  HRESULT WaitUntilDue(bool timed, REFERENCE_TIME time, Schedule* schedule);
  void UpdateReadyLocked();
  // Every waiter looks at the schedule again.
  void WakeWaitersLocked();
  // Stop and flush return only once a sample they interrupted has left its wait and a
  // sample being rendered is done (its time registered, its quality message sent), so
  // that a quick restart or end of flush cannot let it carry on.
  void WaitForHeldSampleLocked(std::unique_lock<std::mutex>& lock);
  // Marks a sample past its wait until it is done with.
  class RenderingScope {
   public:
    explicit RenderingScope(CBaseRenderer* renderer) : renderer_(renderer) {}
    ~RenderingScope();
    RenderingScope(const RenderingScope&) = delete;
    RenderingScope& operator=(const RenderingScope&) = delete;

   private:
    CBaseRenderer* const renderer_;
  };
  void CompletionLoop();
  void SendQuality(const Schedule& schedule, REFERENCE_TIME sampleStart);

  std::unique_ptr<CRendererInputPin> pin_;
  std::unique_ptr<CRendererPosPassThru> position_;

  // Guarded by StreamLock().
  bool inputConnected_ = false;
  bool flushing_ = false;
  bool holdingSample_ = false;
  bool rendering_ = false;  // a sample is past its wait
  bool endOfStream_ = false;
  bool completeSent_ = false;
  bool lastTimed_ = false;
  REFERENCE_TIME lastEnd_ = 0;
  bool closing_ = false;
  std::condition_variable heldSampleLeft_;
  CEvent wake_{true};               // the streaming thread's wait
  CEvent advise_{false};            // the clock's advise for that wait
  CEvent completionWake_{true};     // the completion thread's wait
  CEvent completionAdvise_{false};  // the clock's advise for it
  CEvent ready_{true};              // the pause is complete
  bool readySignalled_ = false;     // what ready_ says now
  std::thread completion_;          // started by the first end of stream

  std::mutex renderLock_;

  std::mutex qualityLock_;
  Microsoft::WRL::ComPtr<IQualityControl> upstreamQuality_;
};

}  // namespace pixora::dshow
