// What a module's registration writes: the COM server keys of each class and the filter
// mapper's record of each filter. Called on the registering thread only.
#pragma once

#include <windows.h>

#include <span>
#include <string>

#include "class_template.h"

namespace pixora::dshow {

// HKCR\CLSID\{clsid} = name, with InprocServer32 = modulePath and ThreadingModel "Both",
// for each entry in table order. Stops at the first failing registry call.
HRESULT RegisterServerKeys(std::span<const ClassTemplate> table, const std::wstring& modulePath);
// Removes each entry's key tree; keys that are not there are no failure.
void UnregisterServerKeys(std::span<const ClassTemplate> table);

// Removes the filter from the mapper's default category and, when `add`, registers it
// there again from its setup record. A filter that was not registered is no failure.
// The calling thread must be in a COM apartment.
HRESULT RegisterFilterSetup(const FilterSetup& setup, bool add);
// The same for every entry with setup data, in table order, inside a COM apartment of its
// own; stops at the first failure.
HRESULT RegisterFilterSetups(std::span<const ClassTemplate> table, bool add);

// The module's file path, however long.
HRESULT ModuleFilePath(HMODULE module, std::wstring* path);

}  // namespace pixora::dshow
