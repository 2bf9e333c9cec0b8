// The module-level halves of DllGetClassObject and DllCanUnloadNow, driven by a class
// table. Any thread.
#pragma once

#include <windows.h>

#include <span>

#include "class_template.h"

namespace pixora::dshow {

// A new class factory for the entry of `clsid`: riid must be IUnknown or IClassFactory
// (E_NOINTERFACE), the class must be in the table (CLASS_E_CLASSNOTAVAILABLE).
HRESULT GetClassObject(std::span<const ClassTemplate> table, REFCLSID clsid, REFIID riid,
                       void** object);
// S_FALSE while an object of the module lives or a server lock is held, else S_OK.
HRESULT CanUnloadNow();

}  // namespace pixora::dshow
