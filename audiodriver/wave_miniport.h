#pragma once

#include "iaudio_adapter.h"
#include "kernel_surface.h"
#include "unknown.h"
#include "wave_format.h"

class WaveStream;

// The "Wave" subdevice's miniport: one render and one capture stream at most, each emulating
// its own DMA channel, joined by the driver-wide loopback ring. Init, GetDescription and
// NewStream at PASSIVE_LEVEL. The format lock (a kernel mutex) guards the sampling rate and
// serializes format changes and stream set-up; the rate and the notification interval are
// single words that SetNotificationFreq and SetState read without it. The stream slots are
// taken and freed at PASSIVE_LEVEL, as the port opens and closes pins one at a time.
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

  // Not on the interfaces: for the streams and whoever holds the object itself.
  ULONG SamplingRate() const;
  ULONG NotificationInterval() const;
  bool StreamOpen(bool capture) const;

 private:
  friend class WaveStream;
  friend NTSTATUS CreateWaveMiniport(PUNKNOWN* unknown, REFCLSID classId, PUNKNOWN outer, POOL_TYPE pool);
  friend class NonDelegatingUnknown<WaveMiniport>;
  template <typename T, typename... Args>
  friend T* NewPoolObject(POOL_TYPE pool, ULONG tag, Args... args);
  template <typename T>
  friend void DeletePoolObject(T* object, ULONG tag);

  explicit WaveMiniport(PUNKNOWN outer);
  ~WaveMiniport();
  static void Destroy(WaveMiniport* miniport);

  // The streams' timer DPC (context: the miniport): asks the port to serve the group.
  static KDEFERRED_ROUTINE NotifyTimerDpc;

  // For the streams.
  NTSTATUS LockFormat();
  void UnlockFormat();
  void SetSamplingRate(ULONG rate);  // format lock held
  void SetNotificationInterval(ULONG milliseconds);
  void TakeSlot(bool capture);
  void FreeSlot(bool capture);

  NonDelegatingUnknown<WaveMiniport> unknown_{this};
  PUNKNOWN const outer_;
  PAUDIOADAPTER adapter_ = nullptr;
  PPORTWAVECYCLIC port_ = nullptr;  // the owner, not referenced
  const PCFILTER_DESCRIPTOR* descriptor_ = nullptr;
  ULONG notificationInterval_ = 0;  // ms, the last either stream was given
  ULONG samplingRate_ = 0;          // Hz, the last format set on either stream
  PSERVICEGROUP serviceGroup_ = nullptr;
  KMUTEX formatLock_;
  ULONG dmaBufferSize_ = 0;
  WaveFormatLimits limits_{};
  BOOL captureOpen_ = 0;
  BOOL renderOpen_ = 0;
};

// Allocates the zeroed miniport (from `pool`, "PcCr") with one reference and a DMA buffer
// size of 8820 bytes (50 ms of 44.1 kHz 16-bit stereo).
NTSTATUS CreateWaveMiniport(PUNKNOWN* unknown, REFCLSID classId, PUNKNOWN outer, POOL_TYPE pool);

inline constexpr ULONG kWaveDmaBufferSize = 8820;
