#include "audio_adapter.h"

#include "pool.h"

NTSTATUS AudioAdapter::Create(PUNKNOWN* unknown, PUNKNOWN outer, POOL_TYPE pool) {
  AudioAdapter* adapter = NewPoolObject<AudioAdapter>(pool, kObjectPoolTag, outer);
  if (adapter == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  adapter->unknown_.AddRef();
  *unknown = CreatedUnknown(outer, &adapter->unknown_, static_cast<IAudioAdapter*>(adapter));
  return STATUS_SUCCESS;
}

AudioAdapter::AudioAdapter(PUNKNOWN outer) : UnknownObject(this, outer) {}

AudioAdapter::~AudioAdapter() {
  if (mixer_ != nullptr) ExFreePoolWithTag(mixer_, kDataPoolTag);
  if (wavePort_ != nullptr) wavePort_->Release();
  if (waveServiceGroup_ != nullptr) waveServiceGroup_->Release();
}

void AudioAdapter::Destroy(AudioAdapter* adapter) { DeletePoolObject(adapter, kObjectPoolTag); }

NTSTATUS AudioAdapter::NonDelegatingQueryInterface(REFIID iid, PVOID* object) {
  if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IAudioAdapter)) {
    *object = static_cast<IAudioAdapter*>(this);
  } else if (IsEqualGUID(iid, IID_IAdapterPowerManagement)) {
    *object = static_cast<IAdapterPowerManagement*>(this);
  } else {
    *object = nullptr;
    return STATUS_INVALID_PARAMETER;
  }
  static_cast<PUNKNOWN>(*object)->AddRef();
  return STATUS_SUCCESS;
}

// PASSIVE_LEVEL.
NTSTATUS AudioAdapter::Init(PDEVICE_OBJECT DeviceObject) {
  deviceObject_ = DeviceObject;
  powerState_ = PowerDeviceD0;
  if (mixer_ == nullptr) {
    mixer_ = static_cast<MixerState*>(ExAllocatePoolWithTag(NonPagedPoolNx, sizeof(MixerState), kDataPoolTag));
    if (mixer_ == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
  }
  ResetMixer();
  return STATUS_SUCCESS;
}

// PASSIVE_LEVEL. The new group is referenced before the old one is let go, in case they are one.
void AudioAdapter::AttachWaveServiceGroup(PSERVICEGROUP ServiceGroup) {
  if (ServiceGroup != nullptr) ServiceGroup->AddRef();
  if (waveServiceGroup_ != nullptr) waveServiceGroup_->Release();
  waveServiceGroup_ = ServiceGroup;
}

// Mixer access: any IRQL, no lock, one 32-bit access per value.

BOOL AudioAdapter::ReadSpecificFlag() { return mixer_ != nullptr ? ReadWord(mixer_->specificFlag) : 0; }
void AudioAdapter::WriteSpecificFlag(BOOL Flag) {
  if (mixer_ != nullptr) WriteWord(mixer_->specificFlag, Flag);
}

LONG AudioAdapter::ReadSpecificInt() { return mixer_ != nullptr ? ReadWord(mixer_->specificInt) : 0; }
void AudioAdapter::WriteSpecificInt(LONG Value) {
  if (mixer_ != nullptr) WriteWord(mixer_->specificInt, Value);
}

ULONG AudioAdapter::ReadSpecificUint() { return mixer_ != nullptr ? ReadWord(mixer_->specificUint) : 0; }
void AudioAdapter::WriteSpecificUint(ULONG Value) {
  if (mixer_ != nullptr) WriteWord(mixer_->specificUint, Value);
}

BOOL AudioAdapter::ReadMute(ULONG Node) {
  return mixer_ != nullptr && Node < kMixerNodes ? ReadWord(mixer_->mute[Node]) : 0;
}
void AudioAdapter::WriteMute(ULONG Node, BOOL Mute) {
  if (mixer_ != nullptr && Node < kMixerNodes) WriteWord(mixer_->mute[Node], Mute);
}

ULONG AudioAdapter::ReadMux() { return mixer_ != nullptr ? ReadWord(mixer_->mux) : 0; }
void AudioAdapter::WriteMux(ULONG Source) {
  if (mixer_ != nullptr) WriteWord(mixer_->mux, Source);
}

// One level per node: the channel is not looked at.
LONG AudioAdapter::ReadVolume(ULONG Node, LONG) {
  return mixer_ != nullptr && Node < kMixerNodes ? ReadWord(mixer_->volume[Node]) : 0;
}
void AudioAdapter::WriteVolume(ULONG Node, LONG, LONG Level) {
  if (mixer_ != nullptr && Node < kMixerNodes) WriteWord(mixer_->volume[Node], Level);
}

// Every mute byte 0x01 (each entry reads as set), every volume byte 0xFF (each entry -1).
void AudioAdapter::ResetMixer() {
  if (mixer_ == nullptr) return;
  RtlFillMemory(mixer_->mute, sizeof mixer_->mute, 0x01);
  RtlFillMemory(mixer_->volume, sizeof mixer_->volume, 0xFF);
  mixer_->mux = 2;
  mixer_->specificFlag = 0;
  mixer_->specificInt = 0;
  mixer_->specificUint = 0;
}

// PASSIVE_LEVEL. There is no hardware to power: D0 to D3 are recorded, nothing else.
void AudioAdapter::PowerChangeState(POWER_STATE NewState) {
  const DEVICE_POWER_STATE state = NewState.DeviceState;
  if (state != powerState_ && state >= PowerDeviceD0 && state <= PowerDeviceD3) powerState_ = state;
}

NTSTATUS AudioAdapter::QueryPowerChangeState(POWER_STATE) { return STATUS_SUCCESS; }

NTSTATUS AudioAdapter::QueryDeviceCapabilities(PDEVICE_CAPABILITIES) { return STATUS_SUCCESS; }
