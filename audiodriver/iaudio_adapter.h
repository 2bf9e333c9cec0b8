#pragma once

#include "kernel_surface.h"

// The adapter-wide object's own interface, shared by the miniports. Mixer reads and writes
// run at any IRQL without a lock; Init at PASSIVE_LEVEL.
inline constexpr IID IID_IAudioAdapter = {0x7EDA2950, 0xBF9F, 0x11D0, {0x87, 0x1F, 0x00, 0xA0, 0xC9, 0x11, 0xB5, 0x44}};

class IAudioAdapter : public IUnknown {
 public:
  virtual NTSTATUS Init(PDEVICE_OBJECT DeviceObject) = 0;
  virtual PDEVICE_OBJECT DeviceObject() = 0;
  virtual void AttachWaveServiceGroup(PSERVICEGROUP ServiceGroup) = 0;
  virtual PPORTWAVECYCLIC* WavePortSlot() = 0;
  virtual BOOL ReadSpecificFlag() = 0;
  virtual void WriteSpecificFlag(BOOL Flag) = 0;
  virtual LONG ReadSpecificInt() = 0;
  virtual void WriteSpecificInt(LONG Value) = 0;
  virtual ULONG ReadSpecificUint() = 0;
  virtual void WriteSpecificUint(ULONG Value) = 0;
  virtual BOOL ReadMute(ULONG Node) = 0;
  virtual void WriteMute(ULONG Node, BOOL Mute) = 0;
  virtual ULONG ReadMux() = 0;
  virtual void WriteMux(ULONG Source) = 0;
  virtual LONG ReadVolume(ULONG Node, LONG Channel) = 0;
  virtual void WriteVolume(ULONG Node, LONG Channel, LONG Level) = 0;
  virtual void ResetMixer() = 0;
};
using PAUDIOADAPTER = IAudioAdapter*;
