#pragma once

#include "kernel_surface.h"
#include "unknown.h"

class WaveMiniport;

// One stream of the wave filter and the DMA channel it emulates: a buffer that only Silence
// writes, a position that the interrupt-time clock advances while the stream runs, and a
// periodic timer whose DPC asks the port for service. The audio itself moves only through the
// loopback ring: CopyTo appends what is rendered, CopyFrom takes what is captured.
//
// Port Class calls SetFormat, SetNotificationFreq, SetState and the buffer management at
// PASSIVE_LEVEL, and GetPosition, CopyTo, CopyFrom and Silence during service at
// DISPATCH_LEVEL; it serializes service with state changes, so the position fields take no
// lock. SetFormat and set-up take the miniport's format lock; the ring takes its own.
class WaveStream final : public UnknownObject<WaveStream, IMiniportWaveCyclicStream, IDmaChannel> {
 public:
  // Allocates a stream (non-paged, "MSVD") holding one creation reference and sets it up as
  // `format` says, with its buffer, the ring if there is none, its DPC and its timer. A stream
  // that fails part-way is released again and frees what it allocated: the ring only if it
  // made it, and no stream slot, which only NewStream's success takes.
  static NTSTATUS Create(WaveMiniport* miniport, PUNKNOWN outer, bool capture, const KSDATAFORMAT* format,
                         WaveStream** stream);
  // Once the stream is handed out: its slot is the miniport's to free at destruction, and
  // its FreeBuffer destroys the ring whoever made it.
  void MarkOpen() { open_ = true; }
  void ReleaseCreationReference() { unknown_.Release(); }

  NTSTATUS NonDelegatingQueryInterface(REFIID iid, PVOID* object);


  // IMiniportWaveCyclicStream
  NTSTATUS SetFormat(PKSDATAFORMAT DataFormat) override;
  ULONG SetNotificationFreq(ULONG Interval, PULONG FramingSize) override;
  NTSTATUS SetState(KSSTATE State) override;
  NTSTATUS GetPosition(PULONG Position) override;
  NTSTATUS NormalizePhysicalPosition(PLONGLONG PhysicalPosition) override;
  void Silence(PVOID Buffer, ULONG ByteCount) override;

  // IDmaChannel
  NTSTATUS AllocateBuffer(ULONG BufferSize, PPHYSICAL_ADDRESS PhysicalAddressConstraint) override;
  void FreeBuffer() override;
  ULONG TransferCount() override { return bufferSize_; }
  ULONG MaximumBufferSize() override;
  ULONG AllocatedBufferSize() override { return bufferSize_; }
  ULONG BufferSize() override { return bufferSize_; }
  void SetBufferSize(ULONG BufferSize) override;
  PVOID SystemAddress() override { return buffer_; }
  PPHYSICAL_ADDRESS PhysicalAddress(PPHYSICAL_ADDRESS Result) override;
  PADAPTER_OBJECT GetAdapterObject() override { return nullptr; }
  void CopyTo(PVOID Destination, PVOID Source, ULONG ByteCount) override;
  void CopyFrom(PVOID Destination, PVOID Source, ULONG ByteCount) override;

 private:
  friend class NonDelegatingUnknown<WaveStream>;
  template <typename T, typename... Args>
  friend T* NewPoolObject(POOL_TYPE pool, ULONG tag, Args... args);
  template <typename T>
  friend void DeletePoolObject(T* object, ULONG tag);

  WaveStream(WaveMiniport* miniport, PUNKNOWN outer, bool capture);
  ~WaveStream();
  static void Destroy(WaveStream* stream);
  NTSTATUS Init(const KSDATAFORMAT* format);
  void FreeBufferMemory();
  ULONG FrameSize() const { return blockAlign_; }

  WaveMiniport* const miniport_;  // referenced
  const bool capture_;
  UCHAR silence_ = 0x80;  // the byte of a silent sample
  USHORT blockAlign_ = 0;
  KSSTATE state_ = KSSTATE_STOP;
  PKDPC dpc_ = nullptr;
  PKTIMER timer_ = nullptr;
  bool running_ = false;
  ULONG position_ = 0;  // byte offset within the buffer
  UCHAR* buffer_ = nullptr;
  ULONG bufferSize_ = 0;
  ULONG bytesPerSecond_ = 0;
  ULONGLONG lastTime_ = 0;       // interrupt time of the last position update, 100 ns
  ULONGLONG timeRemainder_ = 0;  // 100 ns below one millisecond, carried
  ULONG byteRemainder_ = 0;      // thousandths of a byte, carried
  // The port's copies come in any size, and the ring moves whole frames only. Render keeps
  // the first bytes of a frame here until the rest comes; capture keeps the rest of a frame
  // it took whole (or of a frame of silence) until it is asked for them.
  static constexpr ULONG kMaxFrameSize = 2 * 2;  // two channels of 16 bits, the miniport's limits
  UCHAR partial_[kMaxFrameSize] = {};
  ULONG partialBytes_ = 0;
  bool open_ = false;
  bool madeRing_ = false;
};
