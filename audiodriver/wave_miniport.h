#pragma once

// PLACEHOLDER: the least wave miniport that lets the device start: it binds to the adapter and
// describes the wave filter's four pins, and opens no streams. The wave miniport with its
// streams and loopback ring replaces this file and wave_miniport.cpp.

#include "iaudio_adapter.h"
#include "kernel_surface.h"
#include "unknown.h"

// Init and GetDescription at PASSIVE_LEVEL.
class WaveMiniport final : public IMiniportWaveCyclic {
 public:
  NTSTATUS NonDelegatingQueryInterface(REFIID iid, PVOID* object);

  // IUnknown
  NTSTATUS QueryInterface(REFIID iid, PVOID* object) override { return outer_->QueryInterface(iid, object); }
  ULONG AddRef() override { return outer_->AddRef(); }
  ULONG Release() override { return outer_->Release(); }

  // IMiniport
  NTSTATUS GetDescription(const PCFILTER_DESCRIPTOR** Description) override;
  NTSTATUS DataRangeIntersection(ULONG PinId, PKSDATARANGE DataRange, PKSDATARANGE MatchingDataRange,
                                 ULONG OutputBufferLength, PVOID ResultantFormat,
                                 PULONG ResultantFormatLength) override;
  // IMiniportWaveCyclic
  NTSTATUS Init(PUNKNOWN UnknownAdapter, PRESOURCELIST ResourceList, PPORTWAVECYCLIC Port) override;
  NTSTATUS NewStream(PMINIPORTWAVECYCLICSTREAM* Stream, PUNKNOWN OuterUnknown, POOL_TYPE PoolType, ULONG Pin,
                     BOOLEAN Capture, PKSDATAFORMAT DataFormat, PDMACHANNEL* DmaChannel,
                     PSERVICEGROUP* ServiceGroup) override;

 private:
  friend NTSTATUS CreateWaveMiniport(PUNKNOWN* unknown, REFCLSID classId, PUNKNOWN outer, POOL_TYPE pool);
  friend class NonDelegatingUnknown<WaveMiniport>;
  template <typename T, typename... Args>
  friend T* NewPoolObject(POOL_TYPE pool, ULONG tag, Args... args);
  template <typename T>
  friend void DeletePoolObject(T* object, ULONG tag);

  explicit WaveMiniport(PUNKNOWN outer);
  ~WaveMiniport();
  static void Destroy(WaveMiniport* miniport);

  NonDelegatingUnknown<WaveMiniport> unknown_{this};
  PUNKNOWN const outer_;
  PAUDIOADAPTER adapter_ = nullptr;
  const PCFILTER_DESCRIPTOR* descriptor_ = nullptr;
};

// Allocates the zeroed miniport (from `pool`, "PcCr") with one reference.
NTSTATUS CreateWaveMiniport(PUNKNOWN* unknown, REFCLSID classId, PUNKNOWN outer, POOL_TYPE pool);
