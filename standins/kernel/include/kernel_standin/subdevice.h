#pragma once

#include "kernel_surface.h"

// The filter side of a stand-in port: the miniport bound by IPort::Init, its descriptor, and
// kernel-streaming property requests dispatched the way Port Class does. Property requests
// come from one test thread at a time, at PASSIVE_LEVEL.
namespace kstandin {

struct PropertyResult {
  NTSTATUS status;
  ULONG valueSize;  // what the request reports back: bytes written, or bytes needed
};

class Subdevice {
 public:
  // The descriptor GetDescription gave at Init; null before Init and after removal.
  const PCFILTER_DESCRIPTOR* Descriptor() const { return descriptor_; }
  // The UnknownMiniport given to Init, as handlers see it in MajorTarget.
  PUNKNOWN MiniportUnknown() const { return miniportUnknown_; }

  // One IOCTL_KS_PROPERTY on the filter. `input` is a KSPROPERTY (a KSNODEPROPERTY when
  // KSPROPERTY_TYPE_TOPOLOGY is set) followed by the instance data; `value` carries what a
  // SET sends and receives what a GET answers. The miniport's automation tables come first;
  // the standard pin and topology properties are answered from the descriptor.
  PropertyResult Property(const void* input, ULONG inputSize, void* value, ULONG valueSize);

  // The port's COM identity, for the device that registered it.
  virtual PUNKNOWN Unknown() = 0;
  // What Port Class does to every subdevice at removal: the port lets go of its miniport
  // (and of its streams first), which breaks the miniport's references back to the port.
  virtual void ReleaseChildren();
  // The port object's reference count; only for removal reports.
  virtual ULONG References() const = 0;

 protected:
  Subdevice() = default;
  ~Subdevice();

  // The second half of every port's Init, once the miniport's own Init has succeeded.
  NTSTATUS Bind(IMiniport* miniport, PUNKNOWN miniportUnknown);
  IMiniport* BoundMiniport() const { return miniport_; }
  virtual ULONG OpenInstances(ULONG /*pin*/) const { return 0; }

 private:
  PropertyResult Dispatch(const KSPROPERTY& property, ULONG node, const PCAUTOMATION_TABLE* table,
                          unsigned char* instance, ULONG instanceSize, unsigned char* value, ULONG valueSize);
  // The pin and topology sets, from the descriptor; nothing for other sets.
  bool AnswerStandard(const KSPROPERTY& property, ULONG verb, const unsigned char* instance, ULONG instanceSize,
                      unsigned char* value, ULONG valueSize, PropertyResult* result) const;

  IMiniport* miniport_ = nullptr;  // referenced
  PUNKNOWN miniportUnknown_ = nullptr;
  const PCFILTER_DESCRIPTOR* descriptor_ = nullptr;
};

// Identity that PcRegisterSubdevice asks a port for; the answer is the Subdevice, referenced.
inline constexpr IID IID_IStandinSubdevice = {0x5E1A0C11, 0x6B3D, 0x4C2A, {0x9F, 0x51, 0x0A, 0x7D, 0x22, 0xC4, 0x31, 0x8E}};

}  // namespace kstandin
