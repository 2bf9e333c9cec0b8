#pragma once

#include "kernel_surface.h"

// Descriptor tables are walked with the element sizes the miniport declares, as Port Class
// does, so that a driver with larger records still reads right.
namespace kstandin {

inline const PCPIN_DESCRIPTOR& PinAt(const PCFILTER_DESCRIPTOR& filter, ULONG pin) {
  return *reinterpret_cast<const PCPIN_DESCRIPTOR*>(reinterpret_cast<const unsigned char*>(filter.Pins) +
                                                    static_cast<size_t>(pin) * filter.PinSize);
}

inline const PCNODE_DESCRIPTOR& NodeAt(const PCFILTER_DESCRIPTOR& filter, ULONG node) {
  return *reinterpret_cast<const PCNODE_DESCRIPTOR*>(reinterpret_cast<const unsigned char*>(filter.Nodes) +
                                                     static_cast<size_t>(node) * filter.NodeSize);
}

inline const PCPROPERTY_ITEM& PropertyAt(const PCAUTOMATION_TABLE& table, ULONG index) {
  return *reinterpret_cast<const PCPROPERTY_ITEM*>(reinterpret_cast<const unsigned char*>(table.Properties) +
                                                   static_cast<size_t>(index) * table.PropertyItemSize);
}

// Whether the tables can be walked at all: element sizes no smaller than the records, arrays
// present where counts say so.
bool DescriptorIsWalkable(const PCFILTER_DESCRIPTOR& filter);

}  // namespace kstandin
