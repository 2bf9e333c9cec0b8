#pragma once

#include "iaudio_adapter.h"
#include "kernel_surface.h"
#include "unknown.h"
#include "wave_format.h"

class WaveStream;

// The "Wave" subdevice's miniport: one render and one capture stream at most, each emulating
// its own DMA channel, joined by the driver-wide loopback ring. Init, GetDescription and
// NewStream at PASSIVE_LEVEL. The format lock (a kernel mutex) guards the sampling rate and
// the stream slots with their formats, and serializes format changes, stream set-up and
// teardown; the rate and the notification interval are single words that
// SetNotificationFreq and SetState read without it. The ring is a plain FIFO of frames, so
// while both directions are open they carry the same format.
class WaveMiniport final : public UnknownObject<WaveMiniport, IMiniportWaveCyclic> {
 public:
  NTSTATUS NonDelegatingQueryInterface(REFIID iid, PVOID* object);


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
  // Whether a stream of the direction could be opened with `format` now: STATUS_SUCCESS, or
  // STATUS_NO_MATCH. PASSIVE_LEVEL.
  NTSTATUS ProposeFormat(bool capture, const KSDATAFORMAT* format);

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
  // Format lock held: one a stream can carry (STATUS_INVALID_PARAMETER otherwise) and, while
  // the other direction is open, the same as the other's (STATUS_NO_MATCH otherwise).
  NTSTATUS CheckFormatLocked(bool capture, const KSDATAFORMAT* format, WAVEFORMATEX* wave) const;
  // Format lock held.
  void TakeSlot(bool capture, const WAVEFORMATEX& format);
  void SetSlotFormat(bool capture, const WAVEFORMATEX& format);
  void FreeSlot(bool capture);

  struct StreamSlot {
    BOOL open;
    WAVEFORMATEX format;  // while open
  };
  StreamSlot& Slot(bool capture) { return capture ? captureSlot_ : renderSlot_; }
  const StreamSlot& Slot(bool capture) const { return capture ? captureSlot_ : renderSlot_; }

  PAUDIOADAPTER adapter_ = nullptr;
  PPORTWAVECYCLIC port_ = nullptr;  // the owner, not referenced
  const PCFILTER_DESCRIPTOR* descriptor_ = nullptr;
  ULONG notificationInterval_ = 0;  // ms, the last either stream was given
  ULONG samplingRate_ = 0;          // Hz, the last format set on either stream
  PSERVICEGROUP serviceGroup_ = nullptr;
  KMUTEX formatLock_;
  ULONG dmaBufferSize_ = 0;
  WaveFormatLimits limits_{};
  StreamSlot captureSlot_{};
  StreamSlot renderSlot_{};
};

// Allocates the zeroed miniport (from `pool`, "PcCr") with one reference and a DMA buffer
// size of 8820 bytes (50 ms of 44.1 kHz 16-bit stereo).
NTSTATUS CreateWaveMiniport(PUNKNOWN* unknown, REFCLSID classId, PUNKNOWN outer, POOL_TYPE pool);

inline constexpr ULONG kWaveDmaBufferSize = 8820;
