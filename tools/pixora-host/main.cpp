// pixora-host: a small host of the Pixora renderer filter. Creates the filter by CLSID,
// selects the camera device, sets its output format, fill mode, mirror, flip and
// rotation, and feeds it a picture (through IPixoraRenderer) or a video (through a graph
// of the system's filters), asking for a snapshot if told to. Prints what it did.
#include <windows.h>
#include <objbase.h>
#include <strmif.h>
#include <wrl/client.h>

#include <cstdio>
#include <string>
#include <vector>

#include "options.h"
#include "picture_feed.h"
#include "pixora_renderer.h"
#include "video_feed.h"

namespace {

using Microsoft::WRL::ComPtr;
using pixora::host::FeedResult;
using pixora::host::Options;

const wchar_t* const kFillNames[] = {L"Aspect Fit", L"Aspect Fill", L"Stretch"};

int Fail(const wchar_t* what, HRESULT hr) {
  std::fwprintf(stderr, L"pixora-host: %ls (0x%08lX)\n", what, static_cast<unsigned long>(hr));
  return 2;
}

const wchar_t* OnOff(bool on) { return on ? L"on" : L"off"; }

// The device settings as the host asks for them; the device's own answer is printed.
int Configure(IPixoraRenderer* renderer, const Options& options) {
  HRESULT hr = S_OK;
  if (!options.device.empty()) {
    hr = renderer->SelectDevice(options.device.c_str());
    if (FAILED(hr))
      return Fail((L"no camera device named \"" + options.device + L"\"").c_str(), hr);
    std::wprintf(L"device: \"%ls\" selected\n", options.device.c_str());
  } else {
    std::wprintf(L"device: the first Pixora camera device\n");
  }
  if (FAILED(hr = renderer->SetOutputFormat(options.width, options.height, options.fps))) {
    return Fail(L"the device refused the output format", hr);
  }
  if (FAILED(hr = renderer->SetFillMode(options.fillMode))) {
    return Fail(L"the device refused the fill mode", hr);
  }
  if (FAILED(hr = renderer->SetMirror(options.mirror))) return Fail(L"mirror", hr);
  if (FAILED(hr = renderer->SetFlip(options.flip))) return Fail(L"flip", hr);
  renderer->SetRotate(options.rotate);
  LONG width = 0, height = 0, fps = 0, fill = 0;
  renderer->GetOutputFormat(&width, &height, &fps);
  renderer->GetFillMode(&fill);
  std::wprintf(L"camera: %ldx%ld at %ld fps, fill \"%ls\", mirror %ls, flip %ls, rotation %ls\n",
               width, height, fps, fill >= 0 && fill <= 2 ? kFillNames[fill] : L"?",
               OnOff(options.mirror), OnOff(options.flip), OnOff(options.rotate));
  return 0;
}

void PrintDelivered(const FeedResult& fed) {
  std::wprintf(L"frames delivered: %ld in %.2f s, %.1f per second\n", fed.frames, fed.seconds,
               fed.framesPerSecond);
}

int Run(const Options& options) {
  ComPtr<IBaseFilter> filter;
  HRESULT hr =
      CoCreateInstance(CLSID_PixoraRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&filter));
  if (FAILED(hr)) return Fail(L"cannot create the Pixora Renderer (is it registered?)", hr);
  ComPtr<IPixoraRenderer> renderer;
  hr = filter->QueryInterface(IID_IPixoraRenderer,
                              reinterpret_cast<void**>(renderer.GetAddressOf()));
  if (FAILED(hr)) return Fail(L"the filter found no Pixora camera device", hr);
  if (const int failed = Configure(renderer.Get(), options)) return failed;

  if (!options.snapshot.empty()) {
    DeleteFileW(options.snapshot.c_str());
    renderer->Snapshot(options.snapshot.c_str());
  }
  UINT width = 0, height = 0;
  FeedResult fed;
  if (pixora::host::IsPicture(options.input, &width, &height)) {
    const double seconds = options.seconds > 0 ? options.seconds : 3.0;
    std::wprintf(L"picture: %ls, %ux%u, sent as RGB32 frames at %ld per second for %.1f s\n",
                 options.input.c_str(), width, height, options.fps, seconds);
    fed = pixora::host::FeedPicture(renderer.Get(), options.input, options.fps, seconds);
    if (FAILED(fed.result)) return Fail(L"sending the picture failed", fed.result);
    PrintDelivered(fed);
  } else {
    std::vector<std::wstring> chain;
    const double limit = options.seconds > 0 ? options.seconds : 600.0;
    fed = pixora::host::FeedVideo(filter.Get(), options.input, limit, &chain);
    if (FAILED(fed.result)) {
      return Fail(L"the system's filters cannot play this file into the renderer", fed.result);
    }
    std::wprintf(L"video: %ls through", options.input.c_str());
    for (size_t i = 0; i < chain.size(); ++i) {
      std::wprintf(L"%ls \"%ls\"", i == 0 ? L"" : L" ->", chain[i].c_str());
    }
    std::wprintf(L"\n");
    PrintDelivered(fed);
    std::wprintf(L"median lateness at the device: %.1f ms\n", fed.medianLatenessMs);
  }
  if (!options.snapshot.empty()) {
    const bool written = GetFileAttributesW(options.snapshot.c_str()) != INVALID_FILE_ATTRIBUTES;
    std::wprintf(L"snapshot: %ls %ls\n", options.snapshot.c_str(),
                 written ? L"written" : L"not written");
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  std::wstring error;
  if (!pixora::host::ParseOptions(argc, argv, &options, &error)) {
    std::fwprintf(stderr, L"pixora-host: %ls\n%ls", error.c_str(), pixora::host::kUsage);
    return 1;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return Fail(L"COM", E_FAIL);
  const int result = Run(options);
  CoUninitialize();
  return result;
}
