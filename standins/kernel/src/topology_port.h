#pragma once

#include "kernel_standin/subdevice.h"
#include "kernel_surface.h"

// The topology port: binds an IMiniportTopology and serves its filter's properties. It has
// no streams. Init and property requests at PASSIVE_LEVEL.
namespace kstandin {

class TopologyPort final : public IPortTopology, public Subdevice {
 public:
  static NTSTATUS Create(PPORT* port);

  NTSTATUS QueryInterface(REFIID iid, PVOID* object) override;
  ULONG AddRef() override;
  ULONG Release() override;
  NTSTATUS Init(PDEVICE_OBJECT DeviceObject, PIRP Irp, PUNKNOWN UnknownMiniport, PUNKNOWN UnknownAdapter,
                PRESOURCELIST ResourceList) override;
  NTSTATUS GetDeviceProperty(DEVICE_REGISTRY_PROPERTY DeviceProperty, ULONG BufferLength, PVOID PropertyBuffer,
                             PULONG ResultLength) override;
  NTSTATUS NewRegistryKey(PREGISTRYKEY* OutRegistryKey, PUNKNOWN OuterUnknown, ULONG RegistryKeyType,
                          ACCESS_MASK DesiredAccess, POBJECT_ATTRIBUTES ObjectAttributes, ULONG CreateOptions,
                          PULONG Disposition) override;

  PUNKNOWN Unknown() override { return static_cast<IPortTopology*>(this); }
  ULONG References() const override { return static_cast<ULONG>(references_); }

 private:
  template <typename T, typename... Args>
  friend T* NewInPool(ULONG tag, Args&&... args);
  template <typename T>
  friend void DeleteInPool(T* object, ULONG tag);
  TopologyPort() = default;
  ~TopologyPort() = default;

  LONG volatile references_ = 1;
};

}  // namespace kstandin
