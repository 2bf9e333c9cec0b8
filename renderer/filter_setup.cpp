#include "filter_setup.h"

#include <uuids.h>

#include "pixora_renderer.h"

namespace pixora {
namespace {

// The four subtypes in the order every record lists them.
const REGPINTYPES kPinTypes[] = {
    {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_YUY2},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_NV12},
};

wchar_t kEmptyPinName[] = L"";

const REGFILTERPINS kPins[] = {{
    kEmptyPinName,  // strName
    FALSE,          // bRendered
    FALSE,          // bOutput
    FALSE,          // bZero
    FALSE,          // bMany
    &GUID_NULL,     // clsConnectsToFilter
    nullptr,        // strConnectsToPin
    4,              // nMediaTypes
    kPinTypes,
}};

const REGFILTERPINS2 kPins2[] = {{
    REG_PINFLAG_B_RENDERER,  // dwFlags
    1,                       // cInstances
    4,                       // nMediaTypes
    kPinTypes,
    0,        // nMediums
    nullptr,  // lpMedium
    nullptr,  // clsPinCategory
}};

REGFILTER2 MakeRecord() {
  REGFILTER2 record = {};
  record.dwVersion = 2;
  record.dwMerit = MERIT_DO_NOT_USE;
  record.cPins2 = 1;
  record.rgPins2 = kPins2;
  return record;
}

}  // namespace

const dshow::FilterSetup kPixoraRendererSetup = {&CLSID_PixoraRenderer, kPixoraRendererName,
                                                 MERIT_DO_NOT_USE, 1, kPins};

const REGFILTER2 kPixoraRendererRecord = MakeRecord();

}  // namespace pixora
