#include "video_feed.h"

#include <control.h>
#include <evcode.h>
#include <uuids.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <mutex>

namespace pixora::host {
namespace {

using Microsoft::WRL::ComPtr;

// Receives the quality message the renderer sends for every frame it renders on time's
// account: the count of frames the device took, and how late each was.
class FrameCounter final : public IQualityControl {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (riid != IID_IUnknown && riid != IID_IQualityControl) return E_NOINTERFACE;
    *object = static_cast<IQualityControl*>(this);
    return S_OK;
  }
  // Lives on the caller's stack for the whole playback.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP Notify(IBaseFilter*, Quality quality) override {
    std::lock_guard lock(lock_);
    const auto now = std::chrono::steady_clock::now();
    if (lateness_.empty()) first_ = now;
    last_ = now;
    lateness_.push_back(static_cast<double>(quality.Late) / 10'000.0);
    return S_OK;
  }
  STDMETHODIMP SetSink(IQualityControl*) override { return E_NOTIMPL; }

  long Frames() {
    std::lock_guard lock(lock_);
    return static_cast<long>(lateness_.size());
  }
  // Frames per second between the first frame and the last.
  double Rate() {
    std::lock_guard lock(lock_);
    const double span = std::chrono::duration<double>(last_ - first_).count();
    return lateness_.size() > 1 && span > 0 ? (lateness_.size() - 1) / span : 0.0;
  }
  double MedianLatenessMs() {
    std::lock_guard lock(lock_);
    if (lateness_.empty()) return 0.0;
    std::vector<double> sorted = lateness_;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    return sorted[sorted.size() / 2];
  }

 private:
  std::mutex lock_;
  std::vector<double> lateness_;
  std::chrono::steady_clock::time_point first_, last_;
};

ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION wanted) {
  ComPtr<IEnumPins> pins;
  ComPtr<IPin> pin;
  if (FAILED(filter->EnumPins(&pins))) return nullptr;
  while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
    PIN_DIRECTION direction;
    if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted) return pin;
  }
  return nullptr;
}

// The filters from the source to the renderer, following the connections upstream.
std::vector<std::wstring> Chain(IBaseFilter* renderer) {
  std::vector<std::wstring> names;
  ComPtr<IBaseFilter> filter(renderer);
  while (filter) {
    FILTER_INFO info;
    if (SUCCEEDED(filter->QueryFilterInfo(&info))) {
      names.insert(names.begin(), info.achName);
      if (info.pGraph) info.pGraph->Release();
    }
    const ComPtr<IPin> in = FirstPin(filter.Get(), PINDIR_INPUT);
    ComPtr<IPin> upstream;
    PIN_INFO pin;
    if (!in || FAILED(in->ConnectedTo(&upstream)) || FAILED(upstream->QueryPinInfo(&pin))) break;
    filter.Attach(pin.pFilter);
  }
  return names;
}

}  // namespace

FeedResult FeedVideo(IBaseFilter* renderer, const std::wstring& path, double timeoutSeconds,
                     std::vector<std::wstring>* chain) {
  FeedResult fed{S_OK, 0, 0.0, 0.0, 0.0};
  ComPtr<IGraphBuilder> graph;
  ComPtr<IMediaControl> control;
  ComPtr<IMediaEvent> events;
  ComPtr<IBaseFilter> source;
  HRESULT hr =
      CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph));
  if (SUCCEEDED(hr)) hr = graph.As(&control);
  if (SUCCEEDED(hr)) {
    hr = graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(events.GetAddressOf()));
  }
  if (SUCCEEDED(hr)) hr = graph->AddFilter(renderer, L"Pixora Renderer");
  if (SUCCEEDED(hr)) hr = graph->AddSourceFilter(path.c_str(), L"File source", &source);
  const ComPtr<IPin> out = source ? FirstPin(source.Get(), PINDIR_OUTPUT) : nullptr;
  const ComPtr<IPin> in = FirstPin(renderer, PINDIR_INPUT);
  if (SUCCEEDED(hr) && (!out || !in)) hr = E_FAIL;
  // The graph builder puts the splitter and any decoder between them.
  if (SUCCEEDED(hr)) hr = graph->Connect(out.Get(), in.Get());
  FrameCounter counter;
  ComPtr<IQualityControl> quality;
  if (SUCCEEDED(hr)) hr = in.As(&quality);
  if (SUCCEEDED(hr)) hr = quality->SetSink(&counter);
  if (FAILED(hr)) {
    fed.result = hr;
    return fed;
  }
  *chain = Chain(renderer);

  const auto start = std::chrono::steady_clock::now();
  hr = control->Run();
  long code = 0;
  if (SUCCEEDED(hr)) {
    hr = events->WaitForCompletion(static_cast<long>(timeoutSeconds * 1000), &code);
  }
  fed.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  control->Stop();
  quality->SetSink(nullptr);
  fed.result = hr == E_ABORT ? S_OK : hr;  // the timeout ends a long video early
  fed.frames = counter.Frames();
  fed.framesPerSecond = counter.Rate();
  fed.medianLatenessMs = counter.MedianLatenessMs();
  graph->RemoveFilter(renderer);
  return fed;
}

}  // namespace pixora::host
