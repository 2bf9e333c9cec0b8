// The renderer base alone, with a renderer of the tests' own whose rendering waits at a
// gate: what Stop, a seek and the clock leave behind while a sample is being rendered.
#include <gtest/gtest.h>
#include <objbase.h>
#include <strmif.h>
#include <uuids.h>
#include <wrl/client.h>

#include <atomic>
#include <chrono>
#include <future>

#include "base_renderer.h"
#include "com_thread.h"
#include "filter_graph.h"
#include "push_source.h"
#include "win_event.h"

namespace pixora::test {
namespace {

using Microsoft::WRL::ComPtr;

const auto* const kCom = ::testing::AddGlobalTestEnvironment(new ComThread);

// {6A1D33C0-7B2E-4F19-8C5A-2E7D4B9F0A11}
constexpr CLSID kGateRendererClsid = {
    0x6A1D33C0, 0x7B2E, 0x4F19, {0x8C, 0x5A, 0x2E, 0x7D, 0x4B, 0x9F, 0x0A, 0x11}};

// Takes any video; each rendering says it has begun and waits until the gate opens.
class CGateRenderer final : public dshow::CBaseRenderer {
 public:
  static ComPtr<IBaseFilter> Create(CGateRenderer** self) {
    auto* renderer = new CGateRenderer;
    ComPtr<IBaseFilter> filter;
    renderer->NonDelegatingQueryInterface(IID_PPV_ARGS(&filter));
    *self = renderer;
    return filter;
  }

  HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override {
    return type->majortype == MEDIATYPE_Video ? S_OK : S_FALSE;
  }
  HRESULT DoRenderSample(IMediaSample*) override {
    entered_.Set();
    gate_.Wait(INFINITE);
    return S_OK;
  }

  bool WaitUntilRendering() { return entered_.Wait(5000); }
  void Open() { gate_.Set(); }

 private:
  CGateRenderer() : CBaseRenderer(nullptr, kGateRendererClsid, nullptr) {}

  dshow::CEvent entered_{true};
  dshow::CEvent gate_{true};
};

// A clock that counts its references; its time is the performance counter's.
class CCountedClock final : public IReferenceClock {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (riid != IID_IUnknown && riid != IID_IReferenceClock) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IReferenceClock*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
  STDMETHODIMP_(ULONG) Release() override { return --references_; }  // lives on the stack

  STDMETHODIMP GetTime(REFERENCE_TIME* time) override {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    *time = count.QuadPart / frequency.QuadPart * 10'000'000 +
            count.QuadPart % frequency.QuadPart * 10'000'000 / frequency.QuadPart;
    return S_OK;
  }
  STDMETHODIMP AdviseTime(REFERENCE_TIME, REFERENCE_TIME, HEVENT, DWORD_PTR*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE, DWORD_PTR*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Unadvise(DWORD_PTR) override { return S_OK; }

  ULONG References() const { return references_.load(); }

 private:
  std::atomic<ULONG> references_{1};
};

constexpr REFERENCE_TIME kSecond = 10'000'000;

// While a sample is being rendered, Stop or a seek comes; once it has returned, neither the
// sample's time nor its quality message may show up any more.
TEST(BaseRendererTest, NothingOfASampleBeingRenderedOutlastsStopOrSeek) {
  struct Case {
    const char* what;
    bool seek;
    LONGLONG positionAfter;  // the source's own position
  };
  for (const Case& c : {Case{"stop", false, 0}, Case{"seek", true, 5 * kSecond}}) {
    SCOPED_TRACE(c.what);
    FilterGraph graph;
    CGateRenderer* gate = nullptr;
    ComPtr<IBaseFilter> renderer = CGateRenderer::Create(&gate);
    ASSERT_EQ(graph.Add(renderer.Get(), L"renderer"), S_OK);
    dshow::MediaType type;
    MakeVideoType(MEDIASUBTYPE_RGB32, FORMAT_VideoInfo, 8, 8, &type);
    CPushSource* source = nullptr;
    ComPtr<IBaseFilter> sourceFilter;
    ASSERT_EQ(CPushSource::Connect(graph, renderer.Get(), type.Get(), 256, &sourceFilter, &source),
              S_OK);
    ComPtr<IMediaSeeking> seeking;
    ASSERT_EQ(renderer.As(&seeking), S_OK);
    ASSERT_EQ(graph.Run(), S_OK);  // the graph's clock: quality messages go upstream

    // A sample due soon, caught in its rendering.
    auto pushed = std::async(std::launch::async, [&] {
      const REFERENCE_TIME start = 3'000'000, end = start + 400'000;  // at 300 ms
      return source->Push(nullptr, 256, &start, &end);
    });
    struct OpenOnExit {
      CGateRenderer* gate;
      ~OpenOnExit() { gate->Open(); }
    } opener{gate};  // a failing test ends instead of waiting for ever
    ASSERT_TRUE(gate->WaitUntilRendering());

    struct Seen {
      HRESULT hr;
      size_t quality;
      LONGLONG position;
    };
    auto interrupted = std::async(std::launch::async, [&] {
      LONGLONG target = 5 * kSecond;
      const HRESULT hr =
          c.seek ? seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr,
                                         AM_SEEKING_NoPositioning)
                 : renderer->Stop();
      LONGLONG position = -1;
      seeking->GetCurrentPosition(&position);
      return Seen{hr, source->Notifications().size(), position};
    });
    // Time for a Stop or seek that does not wait to return first.
    interrupted.wait_for(std::chrono::milliseconds(300));
    gate->Open();
    const Seen seen = interrupted.get();
    EXPECT_EQ(seen.hr, S_OK);
    EXPECT_EQ(pushed.get(), S_OK);

    EXPECT_EQ(seen.position, c.positionAfter);
    LONGLONG position = -1;
    EXPECT_EQ(seeking->GetCurrentPosition(&position), S_OK);
    EXPECT_EQ(position, c.positionAfter) << "the sample's time registered afterwards";
    EXPECT_EQ(source->Notifications().size(), seen.quality)
        << "a quality message sent afterwards";
    graph.control->Stop();
  }
}

// The renderer holds the graph's clock only as the filter's sync source: nothing of it
// stays after Stop beyond that, and nothing once the source is taken away.
TEST(BaseRendererTest, KeepsNoClockOfItsOwn) {
  CCountedClock clock;
  {
    CGateRenderer* gate = nullptr;
    ComPtr<IBaseFilter> renderer = CGateRenderer::Create(&gate);
    ASSERT_EQ(renderer->SetSyncSource(&clock), S_OK);
    ASSERT_EQ(renderer->Run(0), S_OK);
    ASSERT_EQ(renderer->Stop(), S_OK);
    EXPECT_EQ(clock.References(), 2u) << "after Stop";
    ComPtr<IReferenceClock> source;
    EXPECT_EQ(renderer->GetSyncSource(&source), S_OK);
    EXPECT_EQ(source.Get(), &clock);
    source.Reset();

    ASSERT_EQ(renderer->Run(0), S_OK);
    ASSERT_EQ(renderer->Pause(), S_OK);
    ASSERT_EQ(renderer->SetSyncSource(nullptr), S_OK);
    EXPECT_EQ(clock.References(), 1u) << "after SetSyncSource(nullptr)";
    ASSERT_EQ(renderer->Stop(), S_OK);
  }
  EXPECT_EQ(clock.References(), 1u);
}

}  // namespace
}  // namespace pixora::test
