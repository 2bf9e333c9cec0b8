// One entry of a module's class table: what the DLL entry points, the class factory and
// registration need to know about a COM class. Read-only data, shared by all threads.
#pragma once

#include <windows.h>
#include <strmif.h>

#include "unknown.h"

namespace pixora::dshow {

// Makes a new object aggregated by `outer` (or not, when null). Returns its inner unknown
// with no reference taken, or null; `result` receives the failure (or S_OK).
using CreateInstanceFunction = INonDelegatingUnknown* (*)(IUnknown* outer, HRESULT* result);

// What the filter mapper learns about a filter (its format-version-1 record).
struct FilterSetup {
  const CLSID* clsid;
  const wchar_t* name;
  DWORD merit;
  UINT pinCount;
  const REGFILTERPINS* pins;
};

struct ClassTemplate {
  const wchar_t* name;
  const CLSID* clsid;
  CreateInstanceFunction create;
  const FilterSetup* setup;  // null for classes that are not filters
};

}  // namespace pixora::dshow
