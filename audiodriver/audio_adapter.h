#pragma once

#include "iaudio_adapter.h"
#include "kernel_surface.h"
#include "mixer_state.h"
#include "unknown.h"

// The adapter-wide object: the device object, the power state, the wave port and its service
// group, and the mixer. Created by StartDevice at PASSIVE_LEVEL; kept alive by the
// miniports' references. Mixer access at any IRQL, lock-free; power calls at PASSIVE_LEVEL.
class AudioAdapter final : public UnknownObject<AudioAdapter, IAudioAdapter, IAdapterPowerManagement> {
 public:
  // Allocates the zeroed object (non-paged, "PcCr") with one reference.
  static NTSTATUS Create(PUNKNOWN* unknown, PUNKNOWN outer, POOL_TYPE pool);

  NTSTATUS NonDelegatingQueryInterface(REFIID iid, PVOID* object);


  // IAudioAdapter
  NTSTATUS Init(PDEVICE_OBJECT DeviceObject) override;
  PDEVICE_OBJECT DeviceObject() override { return deviceObject_; }
  void AttachWaveServiceGroup(PSERVICEGROUP ServiceGroup) override;
  PPORTWAVECYCLIC* WavePortSlot() override { return &wavePort_; }
  BOOL ReadSpecificFlag() override;
  void WriteSpecificFlag(BOOL Flag) override;
  LONG ReadSpecificInt() override;
  void WriteSpecificInt(LONG Value) override;
  ULONG ReadSpecificUint() override;
  void WriteSpecificUint(ULONG Value) override;
  BOOL ReadMute(ULONG Node) override;
  void WriteMute(ULONG Node, BOOL Mute) override;
  ULONG ReadMux() override;
  void WriteMux(ULONG Source) override;
  LONG ReadVolume(ULONG Node, LONG Channel) override;
  void WriteVolume(ULONG Node, LONG Channel, LONG Level) override;
  void ResetMixer() override;

  // IAdapterPowerManagement
  void PowerChangeState(POWER_STATE NewState) override;
  NTSTATUS QueryPowerChangeState(POWER_STATE NewStateQuery) override;
  NTSTATUS QueryDeviceCapabilities(PDEVICE_CAPABILITIES PowerDeviceCaps) override;

  // Not on the interfaces: for whoever holds the object itself.
  DEVICE_POWER_STATE PowerState() const { return powerState_; }
  const MixerState* Mixer() const { return mixer_; }

 private:
  friend class NonDelegatingUnknown<AudioAdapter>;
  template <typename T, typename... Args>
  friend T* NewPoolObject(POOL_TYPE pool, ULONG tag, Args... args);
  template <typename T>
  friend void DeletePoolObject(T* object, ULONG tag);

  explicit AudioAdapter(PUNKNOWN outer);
  ~AudioAdapter();
  static void Destroy(AudioAdapter* adapter);

  PPORTWAVECYCLIC wavePort_ = nullptr;
  PSERVICEGROUP waveServiceGroup_ = nullptr;
  PDEVICE_OBJECT deviceObject_ = nullptr;
  DEVICE_POWER_STATE powerState_ = PowerDeviceUnspecified;
  MixerState* mixer_ = nullptr;
};
