#pragma once

#include <mutex>
#include <vector>

#include "kernel_standin/subdevice.h"
#include "kernel_surface.h"

// The WaveCyclic port: binds an IMiniportWaveCyclic, opens streams on its pins as the kernel-
// streaming pin factory would, and serves them when the miniport calls Notify. Streams are
// opened, changed and closed on test threads at PASSIVE_LEVEL; their service runs in the
// caller of Notify (the miniport's DPC, at DISPATCH_LEVEL).
namespace kstandin {

class PortStream;

// The application end of a stream, called during service at DISPATCH_LEVEL: a render stream
// asks it for the bytes that the position says were played and copies to the DMA channel
// what it supplies, silencing the rest of the channel's buffer as the port does when the
// application falls behind; a capture stream hands it the bytes recorded. Without a client a
// render stream plays silence and a capture stream drops.
class StreamClient {
 public:
  // Fills up to `count` bytes and returns how many it filled.
  virtual ULONG Render(void* data, ULONG count) = 0;
  virtual void Capture(const void* data, ULONG count) = 0;

 protected:
  ~StreamClient() = default;
};

// An open stream; closing it (Close or destruction) stops it, removes it from the service
// group and releases the miniport's stream.
class Stream {
 public:
  Stream() = default;
  Stream(Stream&& other) noexcept;
  Stream& operator=(Stream&& other) noexcept;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  ~Stream() { Close(); }

  explicit operator bool() const { return stream_ != nullptr; }

  // Walks through every state in between (STOP, ACQUIRE, PAUSE, RUN), as kernel streaming
  // does; stops at the first the miniport refuses.
  NTSTATUS SetState(KSSTATE state);
  KSSTATE State() const;
  NTSTATUS SetFormat(const KSDATAFORMAT* format);
  NTSTATUS Position(ULONG* position) const;
  ULONG BufferSize() const;
  ULONG FramingSize() const;
  IMiniportWaveCyclicStream* MiniportStream() const;
  IDmaChannel* DmaChannel() const;
  void Close();

 private:
  friend class WaveCyclicPort;
  explicit Stream(PortStream* stream) : stream_(stream) {}
  PortStream* stream_ = nullptr;
};

class WaveCyclicPort final : public IPortWaveCyclic, public Subdevice {
 public:
  static NTSTATUS Create(PPORT* port);

  // Opens a stream on `pin` with `format` (FormatSize bytes), as a client's pin creation:
  // the pin must be a streaming pin with an instance free and the format must match one of
  // its data ranges; then the miniport's NewStream, the service group membership and
  // SetNotificationFreq(notificationMs).
  NTSTATUS OpenStream(ULONG pin, const KSDATAFORMAT* format, StreamClient* client, Stream* stream,
                      ULONG notificationMs = 10);

  // IUnknown
  NTSTATUS QueryInterface(REFIID iid, PVOID* object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  // IPort
  NTSTATUS Init(PDEVICE_OBJECT DeviceObject, PIRP Irp, PUNKNOWN UnknownMiniport, PUNKNOWN UnknownAdapter,
                PRESOURCELIST ResourceList) override;
  NTSTATUS GetDeviceProperty(DEVICE_REGISTRY_PROPERTY DeviceProperty, ULONG BufferLength, PVOID PropertyBuffer,
                             PULONG ResultLength) override;
  NTSTATUS NewRegistryKey(PREGISTRYKEY* OutRegistryKey, PUNKNOWN OuterUnknown, ULONG RegistryKeyType,
                          ACCESS_MASK DesiredAccess, POBJECT_ATTRIBUTES ObjectAttributes, ULONG CreateOptions,
                          PULONG Disposition) override;
  // IPortWaveCyclic
  void Notify(PSERVICEGROUP ServiceGroup) override;
  NTSTATUS NewMasterDmaChannel(PDMACHANNEL* DmaChannel, PUNKNOWN OuterUnknown, PRESOURCELIST ResourceList,
                               ULONG MaximumLength, BOOLEAN Dma32BitAddresses, BOOLEAN Dma64BitAddresses,
                               DMA_WIDTH DmaWidth, DMA_SPEED DmaSpeed) override;
  NTSTATUS NewSlaveDmaChannel(PDMACHANNELSLAVE* DmaChannel, PUNKNOWN OuterUnknown, PRESOURCELIST ResourceList,
                              ULONG DmaIndex, ULONG MaximumLength, BOOLEAN DemandMode, DMA_SPEED DmaSpeed) override;

  // Subdevice
  PUNKNOWN Unknown() override { return static_cast<IPortWaveCyclic*>(this); }
  void ReleaseChildren() override;
  ULONG References() const override { return static_cast<ULONG>(references_); }

 private:
  friend class PortStream;
  template <typename T, typename... Args>
  friend T* NewInPool(ULONG tag, Args&&... args);
  template <typename T>
  friend void DeleteInPool(T* object, ULONG tag);
  WaveCyclicPort() = default;
  ~WaveCyclicPort();
  ULONG OpenInstances(ULONG pin) const override;
  void Forget(PortStream* stream);

  LONG volatile references_ = 1;
  IMiniportWaveCyclic* miniport_ = nullptr;  // the reference the Subdevice holds
  mutable std::mutex streamsLock_;
  std::vector<PortStream*> streams_;  // open streams, each holding a reference to this port
};

}  // namespace kstandin
