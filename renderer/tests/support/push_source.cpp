#include "push_source.h"

#include <objbase.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <algorithm>
#include <cstring>

namespace pixora::test {
namespace {

using Microsoft::WRL::ComPtr;

// {8E0C1F3A-5D2B-4E7C-9A61-3B4C5D6E7F80}
constexpr CLSID kPushSourceClsid = {
    0x8E0C1F3A, 0x5D2B, 0x4E7C, {0x9A, 0x61, 0x3B, 0x4C, 0x5D, 0x6E, 0x7F, 0x80}};

constexpr LONGLONG kDuration = 100'000'000;  // ten seconds

}  // namespace

class CPushPin final : public dshow::CBasePin, public IMediaSeeking {
 public:
  CPushPin(CPushSource* source, const AM_MEDIA_TYPE& type, long bufferBytes)
      : CBasePin(source, L"Out", PINDIR_OUTPUT), source_(source), bufferBytes_(bufferBytes) {
    offered_.Set(type);
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    return CBasePin::QueryInterface(riid, object);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return CBasePin::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return CBasePin::Release(); }

  HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override {
    const AM_MEDIA_TYPE& offered = offered_.Get();
    return type->majortype == offered.majortype && type->subtype == offered.subtype &&
                   type->formattype == offered.formattype
               ? S_OK
               : S_FALSE;
  }

  HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type) override {
    if (position != 0) return VFW_S_NO_MORE_ITEMS;
    return dshow::CopyMediaType(type, offered_.Get());
  }

  HRESULT CompleteConnect(IPin* receivePin) override {
    ComPtr<IMemInputPin> input;
    HRESULT hr = receivePin->QueryInterface(IID_PPV_ARGS(&input));
    if (FAILED(hr)) return hr;
    ComPtr<IMemAllocator> allocator;
    hr = input->GetAllocator(&allocator);
    if (FAILED(hr)) return hr;
    ALLOCATOR_PROPERTIES wanted = {2, bufferBytes_, 1, 0};
    ALLOCATOR_PROPERTIES actual = {};
    hr = allocator->SetProperties(&wanted, &actual);
    if (SUCCEEDED(hr)) hr = input->NotifyAllocator(allocator.Get(), FALSE);
    if (FAILED(hr)) return hr;
    input_ = input;
    allocator_ = allocator;
    downstream_ = receivePin;
    return S_OK;
  }

  HRESULT BreakConnect() override {
    input_.Reset();
    allocator_.Reset();
    downstream_.Reset();
    return S_OK;
  }

  HRESULT Active() override { return allocator_ ? allocator_->Commit() : S_OK; }
  HRESULT Inactive() override { return allocator_ ? allocator_->Decommit() : S_OK; }

  STDMETHODIMP BeginFlush() override { return E_UNEXPECTED; }
  STDMETHODIMP EndFlush() override { return E_UNEXPECTED; }

  STDMETHODIMP Notify(IBaseFilter*, Quality quality) override {
    source_->RecordQuality(quality);
    return S_OK;
  }

  ComPtr<IMediaSample> NextSample() {
    ComPtr<IMediaSample> sample;
    if (allocator_) allocator_->GetBuffer(&sample, nullptr, nullptr, 0);
    return sample;
  }

  HRESULT Deliver(IMediaSample* sample) {
    return input_ ? input_->Receive(sample) : VFW_E_NOT_CONNECTED;
  }

  HRESULT Push(const uint8_t* data, long length, const REFERENCE_TIME* start,
               const REFERENCE_TIME* end, bool preroll) {
    if (!allocator_ || !input_) return VFW_E_NOT_CONNECTED;
    ComPtr<IMediaSample> sample = NextSample();
    if (!sample) return VFW_E_NOT_COMMITTED;
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    const long copied = std::min(length, sample->GetSize());
    if (data != nullptr && copied > 0) std::memcpy(buffer, data, static_cast<size_t>(copied));
    sample->SetActualDataLength(copied);
    REFERENCE_TIME startTime = start ? *start : 0;
    REFERENCE_TIME endTime = end ? *end : startTime + 1;
    sample->SetTime(start ? &startTime : nullptr, start ? &endTime : nullptr);
    sample->SetPreroll(preroll);
    return input_->Receive(sample.Get());
  }

  HRESULT PushEndOfStream() {
    return downstream_ ? downstream_->EndOfStream() : VFW_E_NOT_CONNECTED;
  }

  HRESULT PushFlush() {
    if (!downstream_) return VFW_E_NOT_CONNECTED;
    HRESULT hr = downstream_->BeginFlush();
    if (SUCCEEDED(hr)) hr = downstream_->EndFlush();
    return hr;
  }

  // IMediaSeeking, in media time, over a stream of ten seconds.
  STDMETHODIMP GetCapabilities(DWORD* capabilities) override {
    *capabilities = kCapabilities;
    return S_OK;
  }
  STDMETHODIMP CheckCapabilities(DWORD* capabilities) override {
    const DWORD asked = *capabilities;
    *capabilities &= kCapabilities;
    return *capabilities == asked ? S_OK : (*capabilities ? S_FALSE : E_FAIL);
  }
  STDMETHODIMP IsFormatSupported(const GUID* format) override {
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
  }
  STDMETHODIMP QueryPreferredFormat(GUID* format) override {
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
  }
  STDMETHODIMP GetTimeFormat(GUID* format) override { return QueryPreferredFormat(format); }
  STDMETHODIMP IsUsingTimeFormat(const GUID* format) override { return IsFormatSupported(format); }
  STDMETHODIMP SetTimeFormat(const GUID* format) override {
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
  }
  STDMETHODIMP GetDuration(LONGLONG* duration) override {
    *duration = kDuration;
    return S_OK;
  }
  STDMETHODIMP GetStopPosition(LONGLONG* stop) override {
    *stop = stop_;
    return S_OK;
  }
  STDMETHODIMP GetCurrentPosition(LONGLONG* current) override {
    *current = current_;
    return S_OK;
  }
  STDMETHODIMP ConvertTimeFormat(LONGLONG* target, const GUID*, LONGLONG source,
                                 const GUID*) override {
    *target = source;
    return S_OK;
  }
  // A seek flushes downstream and starts a new segment, as a source's streaming thread does.
  STDMETHODIMP SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                            DWORD stopFlags) override {
    const DWORD positioning = currentFlags & AM_SEEKING_PositioningBitsMask;
    if (current != nullptr && positioning == AM_SEEKING_AbsolutePositioning) {
      current_ = *current;
      source_->RecordSeek(*current);
    }
    if (stop != nullptr &&
        (stopFlags & AM_SEEKING_PositioningBitsMask) == AM_SEEKING_AbsolutePositioning) {
      stop_ = *stop;
    }
    if (downstream_ && positioning != AM_SEEKING_NoPositioning) {
      downstream_->BeginFlush();
      downstream_->EndFlush();
      downstream_->NewSegment(current_, stop_, 1.0);
    }
    return S_OK;
  }
  STDMETHODIMP GetPositions(LONGLONG* current, LONGLONG* stop) override {
    if (current) *current = current_;
    if (stop) *stop = stop_;
    return S_OK;
  }
  STDMETHODIMP GetAvailable(LONGLONG* earliest, LONGLONG* latest) override {
    if (earliest) *earliest = 0;
    if (latest) *latest = kDuration;
    return S_OK;
  }
  STDMETHODIMP SetRate(double rate) override { return rate == 1.0 ? S_OK : E_INVALIDARG; }
  STDMETHODIMP GetRate(double* rate) override {
    *rate = 1.0;
    return S_OK;
  }
  STDMETHODIMP GetPreroll(LONGLONG* preroll) override {
    *preroll = 0;
    return S_OK;
  }

 protected:
  HRESULT QueryPinInterface(REFIID riid, void** object) override {
    if (riid == IID_IMediaSeeking) {
      *object = static_cast<IMediaSeeking*>(this);
      AddRef();
      return S_OK;
    }
    return CBasePin::QueryPinInterface(riid, object);
  }

 private:
  static constexpr DWORD kCapabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards |
                                         AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanGetDuration |
                                         AM_SEEKING_CanGetCurrentPos | AM_SEEKING_CanGetStopPos;

  CPushSource* const source_;
  const long bufferBytes_;
  dshow::MediaType offered_;
  ComPtr<IMemInputPin> input_;
  ComPtr<IMemAllocator> allocator_;
  ComPtr<IPin> downstream_;
  LONGLONG current_ = 0;
  LONGLONG stop_ = kDuration;
};

ComPtr<IBaseFilter> CPushSource::Create(const AM_MEDIA_TYPE& type, long bufferBytes,
                                        CPushSource** self) {
  auto* source = new CPushSource(type, bufferBytes);
  ComPtr<IBaseFilter> filter;
  source->NonDelegatingQueryInterface(IID_PPV_ARGS(&filter));
  if (self != nullptr) *self = source;
  return filter;
}

HRESULT CPushSource::Connect(FilterGraph& graph, IBaseFilter* renderer, const AM_MEDIA_TYPE& type,
                             long bufferBytes, ComPtr<IBaseFilter>* filter, CPushSource** self) {
  *filter = Create(type, bufferBytes, self);
  const HRESULT hr = graph.Add(filter->Get(), L"Push source");
  return FAILED(hr) ? hr : graph.ConnectDirect(filter->Get(), renderer, &type);
}

CPushSource::CPushSource(const AM_MEDIA_TYPE& type, long bufferBytes)
    : CBaseFilter(nullptr, kPushSourceClsid, nullptr),
      pin_(std::make_unique<CPushPin>(this, type, bufferBytes)) {}

CPushSource::~CPushSource() = default;

STDMETHODIMP CPushSource::Run(REFERENCE_TIME start) {
  runStart_ = start;
  return CBaseFilter::Run(start);
}

dshow::CBasePin* CPushSource::GetPin(int index) { return index == 0 ? pin_.get() : nullptr; }

IPin* CPushSource::OutputPin() { return pin_.get(); }

HRESULT CPushSource::Push(const uint8_t* data, long length, const REFERENCE_TIME* start,
                          const REFERENCE_TIME* end, bool preroll) {
  return pin_->Push(data, length, start, end, preroll);
}

ComPtr<IMediaSample> CPushSource::NextSample() { return pin_->NextSample(); }

HRESULT CPushSource::Deliver(IMediaSample* sample) { return pin_->Deliver(sample); }

HRESULT CPushSource::PushEndOfStream() { return pin_->PushEndOfStream(); }

HRESULT CPushSource::PushFlush() { return pin_->PushFlush(); }

REFERENCE_TIME CPushSource::ClockTime() {
  ComPtr<IReferenceClock> clock;
  REFERENCE_TIME now = 0;
  if (SUCCEEDED(GetSyncSource(&clock)) && clock) clock->GetTime(&now);
  return now;
}

void CPushSource::RecordQuality(const Quality& quality) {
  std::lock_guard lock(recordLock_);
  notifications_.push_back(quality);
}

void CPushSource::RecordSeek(LONGLONG position) {
  std::lock_guard lock(recordLock_);
  seeks_.push_back(position);
}

std::vector<Quality> CPushSource::Notifications() {
  std::lock_guard lock(recordLock_);
  return notifications_;
}

std::vector<LONGLONG> CPushSource::Seeks() {
  std::lock_guard lock(recordLock_);
  return seeks_;
}

}  // namespace pixora::test
