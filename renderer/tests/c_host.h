// A host written in C: proves the public header's interface and ids from C.
#pragma once

#include <windows.h>
#include <unknwn.h>

#ifdef __cplusplus
extern "C" {
#endif

// Through IPixoraRenderer's C vtable: sets the output format 320x240 at 15, turns rotation
// on, sends `frame` as RGB24 with the packed stride, turns rotation off, and reads the
// fill mode into *fillMode. Returns the first failure, else S_OK.
HRESULT CHostDrive(IUnknown* filter, const BYTE* frame, LONG width, LONG height, LONG* fillMode);

#ifdef __cplusplus
}
#endif
