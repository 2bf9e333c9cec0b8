#include "base_renderer.h"

#include <control.h>
#include <evcode.h>
#include <vfwmsgs.h>

#include "com_guard.h"

namespace pixora::dshow {
namespace {

struct SampleTimes {
  bool timed = false;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME end = 0;
};

HRESULT ReadTimes(IMediaSample* sample, SampleTimes* times) {
  REFERENCE_TIME start = 0;
  REFERENCE_TIME end = 0;
  const HRESULT hr = sample->GetTime(&start, &end);
  if (FAILED(hr)) return S_OK;  // no time stamps: rendered at once
  if (hr == VFW_S_NO_STOP_TIME) end = start + 1;
  if (end < start) return VFW_E_START_TIME_AFTER_END;
  *times = {true, start, end};
  return S_OK;
}

}  // namespace

CBaseRenderer::CBaseRenderer(IUnknown* outer, REFCLSID clsid, const FilterSetup* setup)
    : CBaseFilter(outer, clsid, setup),
      pin_(std::make_unique<CRendererInputPin>(this)),
      position_(std::make_unique<CRendererPosPassThru>(Owner(), pin_.get())) {
  ready_.Set();
  readySignalled_ = true;
}

CBaseRenderer::~CBaseRenderer() {
  {
    std::lock_guard lock(StreamLock());
    closing_ = true;
    completionWake_.Set();
  }
  if (completion_.joinable()) completion_.join();
}

STDMETHODIMP CBaseRenderer::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (riid == IID_IMediaPosition) {
    return GetInterface(static_cast<IMediaPosition*>(position_.get()), object);
  }
  if (riid == IID_IMediaSeeking) {
    return GetInterface(static_cast<IMediaSeeking*>(position_.get()), object);
  }
  return CBaseFilter::NonDelegatingQueryInterface(riid, object);
}

CBasePin* CBaseRenderer::GetPin(int index) { return index == 0 ? pin_.get() : nullptr; }

HRESULT CBaseRenderer::CompleteConnect(IPin* receivePin) {
  Microsoft::WRL::ComPtr<IQualityControl> quality;
  receivePin->QueryInterface(IID_PPV_ARGS(&quality));
  std::lock_guard lock(qualityLock_);
  upstreamQuality_ = std::move(quality);
  return S_OK;
}

HRESULT CBaseRenderer::BreakConnect() {
  std::lock_guard lock(qualityLock_);
  upstreamQuality_.Reset();
  return S_OK;
}

void CBaseRenderer::UpdateReadyLocked() {
  const bool ready =
      State() != State_Paused || !inputConnected_ || holdingSample_ || endOfStream_;
  // Events are calls into the system; most samples change nothing here.
  if (ready == readySignalled_) return;
  readySignalled_ = ready;
  if (ready) {
    ready_.Set();
  } else {
    ready_.Reset();
  }
}

void CBaseRenderer::WakeWaitersLocked() {
  wake_.Set();
  completionWake_.Set();
}

void CBaseRenderer::WaitForHeldSampleLocked(std::unique_lock<std::mutex>& lock) {
  heldSampleLeft_.wait(lock, [this] { return !holdingSample_ && !rendering_; });
}

STDMETHODIMP CBaseRenderer::Stop() {
  return GuardCom([&]() -> HRESULT {
    std::lock_guard state(StateLock());
    const HRESULT hr = CBaseFilter::Stop();
    {
      std::unique_lock lock(StreamLock());
      endOfStream_ = false;
      completeSent_ = false;
      lastTimed_ = false;
      UpdateReadyLocked();
      WakeWaitersLocked();
      WaitForHeldSampleLocked(lock);
    }
    position_->ResetRenderedTime();
    return hr;
  });
}

STDMETHODIMP CBaseRenderer::Pause() {
  return GuardCom([&]() -> HRESULT {
    std::lock_guard state(StateLock());
    const FILTER_STATE before = State();
    const HRESULT hr = CBaseFilter::Pause();
    if (FAILED(hr)) return hr;
    const bool connected = pin_->IsConnected();
    std::lock_guard lock(StreamLock());
    if (before == State_Stopped) {
      endOfStream_ = false;
      completeSent_ = false;
      flushing_ = false;
      lastTimed_ = false;
    }
    inputConnected_ = connected;
    UpdateReadyLocked();
    WakeWaitersLocked();
    // Graph managers wait for a pause that is not complete yet.
    return readySignalled_ ? S_OK : S_FALSE;
  });
}

STDMETHODIMP CBaseRenderer::Run(REFERENCE_TIME start) {
  return GuardCom([&]() -> HRESULT {
    bool completeNow = false;
    {
      std::lock_guard state(StateLock());
      const HRESULT hr = CBaseFilter::Run(start);
      if (FAILED(hr)) return hr;
      std::lock_guard lock(StreamLock());
      UpdateReadyLocked();
      WakeWaitersLocked();
      // With nothing connected the stream has ended before it began.
      if (!inputConnected_ && !completeSent_) {
        completeSent_ = true;
        completeNow = true;
      }
    }
    if (completeNow) NotifyEvent(EC_COMPLETE, S_OK, 0);
    return S_OK;
  });
}

STDMETHODIMP CBaseRenderer::SetSyncSource(IReferenceClock* clock) {
  return GuardCom([&]() -> HRESULT {
    std::lock_guard state(StateLock());
    const HRESULT hr = CBaseFilter::SetSyncSource(clock);
    if (FAILED(hr)) return hr;
    // A sample waiting on the old clock looks again.
    std::lock_guard lock(StreamLock());
    WakeWaitersLocked();
    return hr;
  });
}

STDMETHODIMP CBaseRenderer::GetState(DWORD timeout, FILTER_STATE* state) {
  if (state == nullptr) return E_POINTER;
  *state = State();
  if (*state != State_Paused) return S_OK;
  // Waiting here without the state lock lets Stop or Run end the wait.
  return ready_.Wait(timeout) ? S_OK : VFW_S_STATE_INTERMEDIATE;
}

HRESULT CBaseRenderer::WaitUntilDue(bool timed, REFERENCE_TIME time, Schedule* schedule) {
  for (;;) {
    const HANDLE handles[2] = {wake_.Handle(), advise_.Handle()};
    DWORD count = 1;
    Microsoft::WRL::ComPtr<IReferenceClock> clock;
    DWORD_PTR cookie = 0;
    {
      std::lock_guard lock(StreamLock());
      if (State() == State_Stopped) return VFW_E_WRONG_STATE;
      if (flushing_) return S_FALSE;
      if (State() == State_Running) {
        *schedule = Schedule{Clock(), StartTime()};
        if (!schedule->clock || !timed) return S_OK;
        REFERENCE_TIME now = 0;
        if (FAILED(schedule->clock->GetTime(&now)) || now >= schedule->start + time) return S_OK;
        advise_.Reset();
        if (FAILED(schedule->clock->AdviseTime(
                schedule->start, time, reinterpret_cast<HEVENT>(advise_.Handle()), &cookie))) {
          return S_OK;
        }
        clock = schedule->clock;
        count = 2;
      }
      // Reset under the lock that every state change takes before it sets the event, so
      // no change between this look and the wait goes unseen.
      wake_.Reset();
    }
    WaitForMultipleObjects(count, handles, FALSE, INFINITE);
    if (cookie != 0) clock->Unadvise(cookie);
  }
}

HRESULT CBaseRenderer::Receive(IMediaSample* sample) {
  SampleTimes times;
  HRESULT hr = ReadTimes(sample, &times);
  if (FAILED(hr)) return hr;
  // Samples before the start of a seek are only there to prime the decoders upstream.
  if (sample->IsPreroll() == S_OK) return S_OK;
  {
    std::lock_guard lock(StreamLock());
    if (State() == State_Stopped) return VFW_E_WRONG_STATE;
    if (flushing_) return S_FALSE;
    if (endOfStream_) return VFW_E_SAMPLE_REJECTED_EOS;
    holdingSample_ = true;
    UpdateReadyLocked();
  }
  Schedule schedule;
  hr = WaitUntilDue(times.timed, times.start, &schedule);
  {
    std::lock_guard lock(StreamLock());
    holdingSample_ = false;
    if (hr == S_OK) {
      lastTimed_ = times.timed;
      lastEnd_ = times.end;
      rendering_ = true;
    }
    heldSampleLeft_.notify_all();
  }
  if (hr != S_OK) return hr;
  // Stop and flush wait for this, so that no time or quality message of a sample from
  // before them is reported after they return.
  const RenderingScope scope(this);
  {
    std::lock_guard render(renderLock_);
    hr = DoRenderSample(sample);
  }
  if (times.timed) {
    position_->RegisterRenderedTime(times.start);
    if (schedule.clock) SendQuality(schedule, times.start);
  }
  return hr;
}

CBaseRenderer::RenderingScope::~RenderingScope() {
  std::lock_guard lock(renderer_->StreamLock());
  renderer_->rendering_ = false;
  renderer_->heldSampleLeft_.notify_all();
}

void CBaseRenderer::SendQuality(const Schedule& schedule, REFERENCE_TIME sampleStart) {
  REFERENCE_TIME now = 0;
  if (FAILED(schedule.clock->GetTime(&now))) return;
  Quality quality;
  quality.Late = now - (schedule.start + sampleStart);
  quality.Type = quality.Late > 0 ? Famine : Flood;
  quality.Proportion = 1000;
  quality.TimeStamp = sampleStart;
  Microsoft::WRL::ComPtr<IQualityControl> target(pin_->QualitySink());
  if (!target) {
    std::lock_guard lock(qualityLock_);
    target = upstreamQuality_;
  }
  if (target) target->Notify(this, quality);
}

HRESULT CBaseRenderer::EndOfStream() {
  std::lock_guard lock(StreamLock());
  if (State() == State_Stopped || flushing_ || endOfStream_) return S_OK;
  endOfStream_ = true;
  UpdateReadyLocked();
  if (!completion_.joinable()) completion_ = std::thread([this] { CompletionLoop(); });
  completionWake_.Set();
  return S_OK;
}

// Sends EC_COMPLETE once the stream has ended, the renderer runs and the last sample's
// time is over; state changes and flushes wake it to look again.
void CBaseRenderer::CompletionLoop() {
  for (;;) {
    const HANDLE handles[2] = {completionWake_.Handle(), completionAdvise_.Handle()};
    DWORD count = 1;
    Microsoft::WRL::ComPtr<IReferenceClock> clock;
    DWORD_PTR cookie = 0;
    bool send = false;
    {
      std::lock_guard lock(StreamLock());
      completionWake_.Reset();
      if (closing_) return;
      if (endOfStream_ && !completeSent_ && !flushing_ && State() == State_Running) {
        IReferenceClock* const current = Clock();
        const REFERENCE_TIME start = StartTime();
        REFERENCE_TIME now = 0;
        send = current == nullptr || !lastTimed_ || FAILED(current->GetTime(&now)) ||
               now >= start + lastEnd_;
        if (!send) {
          completionAdvise_.Reset();
          send = FAILED(current->AdviseTime(
              start, lastEnd_, reinterpret_cast<HEVENT>(completionAdvise_.Handle()), &cookie));
        }
        if (send) {
          completeSent_ = true;
        } else {
          clock = current;
          count = 2;
        }
      }
    }
    if (send) {
      NotifyEvent(EC_COMPLETE, S_OK, 0);
      continue;
    }
    WaitForMultipleObjects(count, handles, FALSE, INFINITE);
    if (cookie != 0) clock->Unadvise(cookie);
  }
}

HRESULT CBaseRenderer::BeginFlush() {
  {
    std::unique_lock lock(StreamLock());
    flushing_ = true;
    endOfStream_ = false;
    completeSent_ = false;
    WakeWaitersLocked();
    WaitForHeldSampleLocked(lock);
    // Paused, the flushed sample no longer completes the pause: the next one does.
    UpdateReadyLocked();
  }
  position_->ResetRenderedTime();
  return S_OK;
}

HRESULT CBaseRenderer::EndFlush() {
  std::lock_guard lock(StreamLock());
  flushing_ = false;
  lastTimed_ = false;
  UpdateReadyLocked();
  return S_OK;
}

HRESULT CBaseRenderer::NewSegment(REFERENCE_TIME start, REFERENCE_TIME, double rate) {
  position_->NewSegment(start, rate);
  return S_OK;
}

}  // namespace pixora::dshow
