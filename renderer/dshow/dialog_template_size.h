// The size in pixels of a dialog resource, converted from dialog units with the dialog's
// own font as the dialog manager does, without creating the dialog. Any thread.
#pragma once

#include <windows.h>

namespace pixora::dshow {

// Reads template `id` (DIALOG or DIALOGEX) of `module`. Fails with
// HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND) when there is none, E_FAIL when it is
// cut short.
HRESULT DialogTemplateSize(HINSTANCE module, int id, SIZE* pixels);

}  // namespace pixora::dshow
