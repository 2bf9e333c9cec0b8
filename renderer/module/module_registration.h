// DllRegisterServer and DllUnregisterServer: the class table's server keys and filter
// records, then the module's own record in the legacy filter category. On the calling
// thread, which they join to a COM apartment for their duration.
#pragma once

#include <windows.h>

namespace pixora {

HRESULT RegisterModule();
HRESULT UnregisterModule();

}  // namespace pixora
