#pragma once

#include "iaudio_adapter.h"
#include "kernel_surface.h"
#include "unknown.h"

// The "Topology" subdevice's miniport: describes the mixer to Windows and keeps its values in
// the adapter's MixerState. Init and GetDescription at PASSIVE_LEVEL; the property handlers
// (topology_properties.h) at PASSIVE_LEVEL without a lock.
class TopologyMiniport final : public UnknownObject<TopologyMiniport, IMiniportTopology> {
 public:
  NTSTATUS NonDelegatingQueryInterface(REFIID iid, PVOID* object);


  // IMiniport
  NTSTATUS GetDescription(const PCFILTER_DESCRIPTOR** Description) override;
  NTSTATUS DataRangeIntersection(ULONG PinId, PKSDATARANGE DataRange, PKSDATARANGE MatchingDataRange,
                                 ULONG OutputBufferLength, PVOID ResultantFormat,
                                 PULONG ResultantFormatLength) override;
  // IMiniportTopology
  NTSTATUS Init(PUNKNOWN UnknownAdapter, PRESOURCELIST ResourceList, PPORTTOPOLOGY Port) override;

  IAudioAdapter* Adapter() const { return adapter_; }

 private:
  friend NTSTATUS CreateTopologyMiniport(PUNKNOWN* unknown, REFCLSID classId, PUNKNOWN outer, POOL_TYPE pool);
  friend class NonDelegatingUnknown<TopologyMiniport>;
  template <typename T, typename... Args>
  friend T* NewPoolObject(POOL_TYPE pool, ULONG tag, Args... args);
  template <typename T>
  friend void DeletePoolObject(T* object, ULONG tag);

  explicit TopologyMiniport(PUNKNOWN outer);
  ~TopologyMiniport();
  static void Destroy(TopologyMiniport* miniport);

  PAUDIOADAPTER adapter_ = nullptr;
  const PCFILTER_DESCRIPTOR* descriptor_ = nullptr;
};

// Allocates the zeroed miniport (from `pool`, "PcCr") with one reference.
NTSTATUS CreateTopologyMiniport(PUNKNOWN* unknown, REFCLSID classId, PUNKNOWN outer, POOL_TYPE pool);
