// A filter graph of the system's (CLSID_FilterGraph) with the calls tests make on it, and
// video media types built from a few numbers. One test thread at a time.
#pragma once

#include <windows.h>
#include <control.h>
#include <strmif.h>
#include <wrl/client.h>

#include <cstdint>
#include <vector>

#include "media_type.h"

namespace pixora::test {

// MEDIATYPE_Video of `subtype` with a VideoInfo or VideoInfo2 block (any other format
// type gets a VideoInfo-sized block), `formatBytes` long when not 0.
void MakeVideoType(REFGUID subtype, REFGUID formatType, int32_t width, int32_t height,
                   dshow::MediaType* type, uint32_t formatBytes = 0);

struct FilterGraph {
  FilterGraph();  // builder and its control, event and filter interfaces

  HRESULT Add(IBaseFilter* filter, const wchar_t* name);
  // Connects the first output pin of `from` to the first input pin of `to` with `type`
  // (any type the pins agree on when null), without inserting other filters.
  HRESULT ConnectDirect(IBaseFilter* from, IBaseFilter* to, const AM_MEDIA_TYPE* type);
  // S_OK also when the graph answers S_FALSE: it runs, and a connected renderer completes
  // its pause with the first sample, which the tests push only once this has returned.
  HRESULT Run();
  // S_OK also for Wine's S_FALSE: it pauses a running graph on the way to stopping and
  // passes on the answer of a renderer whose pause would be incomplete.
  HRESULT Stop();
  // Without a reference clock the renderer renders every sample at once.
  HRESULT RunWithoutClock();
  // The next event code, or 0 when none comes within the timeout.
  long NextEvent(DWORD timeoutMs);

  Microsoft::WRL::ComPtr<IGraphBuilder> builder;
  Microsoft::WRL::ComPtr<IMediaControl> control;
  Microsoft::WRL::ComPtr<IMediaEvent> events;
  Microsoft::WRL::ComPtr<IMediaFilter> mediaFilter;
  Microsoft::WRL::ComPtr<IMediaSeeking> seeking;
};

Microsoft::WRL::ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction);

}  // namespace pixora::test
