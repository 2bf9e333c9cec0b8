#include "start_device.h"

#include "audio_adapter.h"
#include "topology_descriptor.h"
#include "topology_miniport.h"
#include "wave_descriptor.h"
#include "wave_miniport.h"

NTSTATUS InstallPortAndMiniport(PDEVICE_OBJECT deviceObject, PIRP irp, PCWSTR name, REFCLSID portClass,
                                REFCLSID miniportClass, MiniportCreateRoutine createMiniport,
                                PUNKNOWN adapterUnknown, PRESOURCELIST, REFIID portInterface,
                                PVOID* portInterfaceOut, PUNKNOWN* portUnknownOut) {
  PPORT port = nullptr;
  NTSTATUS status = PcNewPort(&port, portClass);
  if (!NT_SUCCESS(status)) return status;

  PUNKNOWN miniport = nullptr;
  if (createMiniport != nullptr) {
    status = createMiniport(&miniport, miniportClass, nullptr, NonPagedPoolNx);
  } else {
    PMINIPORT created = nullptr;
    status = PcNewMiniport(&created, miniportClass);
    miniport = created;
  }
  if (NT_SUCCESS(status)) {
    status = port->Init(deviceObject, irp, miniport, adapterUnknown, nullptr);
    if (NT_SUCCESS(status)) status = PcRegisterSubdevice(deviceObject, name, port);
    miniport->Release();  // the port holds it now
  }

  if (NT_SUCCESS(status) && portUnknownOut != nullptr)
    status = port->QueryInterface(IID_IUnknown, reinterpret_cast<PVOID*>(portUnknownOut));
  if (NT_SUCCESS(status) && portInterfaceOut != nullptr) status = port->QueryInterface(portInterface, portInterfaceOut);
  port->Release();
  return status;
}

NTSTATUS StartDevice(PDEVICE_OBJECT deviceObject, PIRP irp, PRESOURCELIST resourceList) {
  PUNKNOWN adapterUnknown = nullptr;
  PAUDIOADAPTER adapter = nullptr;
  PUNKNOWN topologyPort = nullptr;
  PUNKNOWN wavePort = nullptr;

  NTSTATUS status = AudioAdapter::Create(&adapterUnknown, nullptr, NonPagedPoolNx);
  if (NT_SUCCESS(status)) status = adapterUnknown->QueryInterface(IID_IAudioAdapter, reinterpret_cast<PVOID*>(&adapter));
  if (NT_SUCCESS(status)) status = adapter->Init(deviceObject);
  if (NT_SUCCESS(status)) status = PcRegisterAdapterPowerManagement(adapter, deviceObject);
  if (NT_SUCCESS(status))
    status = InstallPortAndMiniport(deviceObject, irp, u"Topology", CLSID_PortTopology, CLSID_PortTopology,
                                    CreateTopologyMiniport, adapter, resourceList, IID_IPortTopology, nullptr,
                                    &topologyPort);
  if (NT_SUCCESS(status))
    status = InstallPortAndMiniport(deviceObject, irp, u"Wave", CLSID_PortWaveCyclic, CLSID_PortWaveCyclic,
                                    CreateWaveMiniport, adapter, resourceList, IID_IPortWaveCyclic,
                                    reinterpret_cast<PVOID*>(adapter->WavePortSlot()), &wavePort);
  if (topologyPort != nullptr && wavePort != nullptr) {
    status = PcRegisterPhysicalConnection(deviceObject, topologyPort, kWaveInDestinationPin, wavePort,
                                          kWaveCaptureBridgePin);
    if (NT_SUCCESS(status))
      status = PcRegisterPhysicalConnection(deviceObject, wavePort, kWaveRenderBridgePin, topologyPort,
                                            kWaveOutSourcePin);
  }

  // The ports keep the adapter alive through the miniports' references.
  if (adapter != nullptr) adapter->Release();
  if (adapterUnknown != nullptr) adapterUnknown->Release();
  if (topologyPort != nullptr) topologyPort->Release();
  if (wavePort != nullptr) wavePort->Release();
  return status;
}
