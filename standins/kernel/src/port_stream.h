#pragma once

#include <mutex>
#include <vector>

#include "kernel_standin/wave_cyclic_port.h"
#include "kernel_surface.h"

// One open stream of the WaveCyclic port: the miniport's stream and DMA channel, and the
// service that moves the bytes the position has passed between the client and the channel.
// Opened, changed and closed at PASSIVE_LEVEL; RequestService at DISPATCH_LEVEL. `lock_`
// guards the port's own fields and is never held across a call into the miniport made at
// PASSIVE_LEVEL.
namespace kstandin {

class PortStream final : public IServiceSink {
 public:
  static NTSTATUS Open(WaveCyclicPort* port, IMiniportWaveCyclic* miniport, ULONG pin, bool capture,
                       const KSDATAFORMAT* format, StreamClient* client, ULONG notificationMs, PortStream** stream);

  NTSTATUS QueryInterface(REFIID iid, PVOID* object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  void RequestService() override;

  NTSTATUS SetState(KSSTATE state);
  KSSTATE State() const;
  NTSTATUS SetFormat(const KSDATAFORMAT* format);
  NTSTATUS Position(ULONG* position) const;
  ULONG BufferSize() const { return bufferSize_; }
  ULONG FramingSize() const { return framingSize_; }
  ULONG Pin() const { return pin_; }
  IMiniportWaveCyclicStream* MiniportStream() const { return miniportStream_; }
  IDmaChannel* DmaChannel() const { return dma_; }
  // Stops the stream, leaves the service group and releases the miniport's objects; once.
  void Close();

 private:
  template <typename T, typename... Args>
  friend T* NewInPool(ULONG tag, Args&&... args);
  template <typename T>
  friend void DeleteInPool(T* object, ULONG tag);
  PortStream(WaveCyclicPort* port, ULONG pin, bool capture, StreamClient* client);
  ~PortStream();
  void Move(ULONG offset, ULONG count);

  LONG volatile references_ = 1;
  WaveCyclicPort* port_;  // referenced until Close
  const ULONG pin_;
  const bool capture_;
  StreamClient* const client_;
  std::vector<unsigned char> format_;
  IMiniportWaveCyclicStream* miniportStream_ = nullptr;
  IDmaChannel* dma_ = nullptr;
  IServiceGroup* group_ = nullptr;
  unsigned char* buffer_ = nullptr;
  ULONG bufferSize_ = 0;
  ULONG framingSize_ = 0;
  std::vector<unsigned char> staging_;

  mutable std::mutex lock_;
  bool closed_ = false;
  KSSTATE state_ = KSSTATE_STOP;
  ULONG last_ = 0;  // position up to which bytes have been moved
};

}  // namespace kstandin
