#pragma once

#include "kernel_surface.h"

// An automation table of property items alone: no methods, no events.
template <ULONG Count>
constexpr PCAUTOMATION_TABLE PropertyTable(const PCPROPERTY_ITEM (&items)[Count]) {
  return {sizeof(PCPROPERTY_ITEM), Count, items, 0, 0, nullptr, 0, 0, nullptr, 0};
}
