// Plays a video file into the renderer through a graph of the system's filters (file
// source, splitter, decoder as the system provides them) at its own pace. One thread.
#pragma once

#include <windows.h>
#include <strmif.h>

#include <string>
#include <vector>

#include "picture_feed.h"

namespace pixora::host {

// `renderer` is the filter that IPixoraRenderer belongs to; *chain receives the names of
// the filters the graph used, source first.
FeedResult FeedVideo(IBaseFilter* renderer, const std::wstring& path, double timeoutSeconds,
                     std::vector<std::wstring>* chain);

}  // namespace pixora::host
