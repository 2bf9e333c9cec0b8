// A source filter of the tests' own, built on the renderer's DirectShow support: one
// output pin "Out" that offers one media type, negotiates an allocator with the pin it
// connects to, and pushes on the caller's thread whatever the test gives it, as a
// streaming thread would. It answers seeking as a real source does (flush, new segment)
// and records the quality messages and seeks it receives.
//
// Graph threads connect it and change its state; one test thread pushes. recordLock_
// guards what it records.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "base_filter.h"
#include "base_pin.h"
#include "filter_graph.h"
#include "media_type.h"

namespace pixora::test {

class CPushPin;

class CPushSource final : public dshow::CBaseFilter {
 public:
  // A source offering `type`, with buffers of `bufferBytes`. `self` receives the object
  // for the calls below; the returned pointer owns it.
  static Microsoft::WRL::ComPtr<IBaseFilter> Create(const AM_MEDIA_TYPE& type, long bufferBytes,
                                                    CPushSource** self);

  STDMETHODIMP Run(REFERENCE_TIME start) override;
  int GetPinCount() override { return 1; }
  dshow::CBasePin* GetPin(int index) override;

  // One sample of `length` bytes (the first min(length, data size) from `data`), with time
  // stamps when `start` is given; returns the downstream pin's answer to Receive.
  HRESULT Push(const uint8_t* data, long length, const REFERENCE_TIME* start = nullptr,
               const REFERENCE_TIME* end = nullptr, bool preroll = false);
  // The same in two steps, for callers that time the downstream pin alone: an empty
  // buffer from the negotiated allocator (null when there is none), then its delivery.
  Microsoft::WRL::ComPtr<IMediaSample> NextSample();
  HRESULT Deliver(IMediaSample* sample);
  HRESULT PushEndOfStream();
  HRESULT PushFlush();

  // The start time of the last Run and the graph's clock time now (0 without a clock).
  REFERENCE_TIME RunStart() const { return runStart_; }
  REFERENCE_TIME ClockTime();

  std::vector<Quality> Notifications();
  std::vector<LONGLONG> Seeks();
  IPin* OutputPin();

  // A source offering `type` joins `graph` and connects straight to `renderer`; `filter`
  // receives the owning pointer.
  static HRESULT Connect(FilterGraph& graph, IBaseFilter* renderer, const AM_MEDIA_TYPE& type,
                         long bufferBytes, Microsoft::WRL::ComPtr<IBaseFilter>* filter,
                         CPushSource** self);

 private:
  friend class CPushPin;
  CPushSource(const AM_MEDIA_TYPE& type, long bufferBytes);
  ~CPushSource() override;
  void RecordQuality(const Quality& quality);
  void RecordSeek(LONGLONG position);

  std::unique_ptr<CPushPin> pin_;
  REFERENCE_TIME runStart_ = 0;
  std::mutex recordLock_;
  std::vector<Quality> notifications_;
  std::vector<LONGLONG> seeks_;
};

}  // namespace pixora::test
