// What the filter mapper learns about the Pixora renderer: the format-version-1 record
// of the module's class table and the version-2 record of its own registration step in
// the legacy filter category. Read-only data.
#pragma once

#include <windows.h>
#include <strmif.h>

#include "class_template.h"

namespace pixora {

inline constexpr wchar_t kPixoraRendererName[] = L"Pixora Renderer";

// Merit MERIT_DO_NOT_USE: hosts add the filter by CLSID, graph building never picks it.
extern const dshow::FilterSetup kPixoraRendererSetup;
extern const REGFILTER2 kPixoraRendererRecord;

}  // namespace pixora
