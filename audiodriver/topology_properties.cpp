#include "topology_properties.h"

#include "iaudio_adapter.h"
#include "property_requests.h"
#include "topology_descriptor.h"
#include "topology_miniport.h"

namespace {

// The mixer behind the request's miniport; the port keeps the miniport alive meanwhile.
IAudioAdapter* AdapterOf(const PCPROPERTY_REQUEST& request) {
  if (request.MajorTarget == nullptr) return nullptr;
  IMiniportTopology* miniport = nullptr;
  if (!NT_SUCCESS(request.MajorTarget->QueryInterface(IID_IMiniportTopology, reinterpret_cast<PVOID*>(&miniport))))
    return nullptr;
  IAudioAdapter* adapter = static_cast<TopologyMiniport*>(miniport)->Adapter();
  miniport->Release();
  return adapter;
}

// Basic support of a volume node: a stepped range of -96 dB to 0 dB in 0.5 dB steps, for
// every channel alike.
struct VolumeBasicSupport {
  KSPROPERTY_DESCRIPTION description;
  KSPROPERTY_MEMBERSHEADER members;
  KSPROPERTY_STEPPING_LONG range;
};
static_assert(sizeof(VolumeBasicSupport) == 72);

NTSTATUS VolumeProperty(PCPROPERTY_REQUEST& request, IAudioAdapter& adapter) {
  if (Has(request, KSPROPERTY_TYPE_BASICSUPPORT)) {
    VolumeBasicSupport support{};
    support.description = {kGetSetSupport, sizeof support, PropertyType(VT_I4), 1, 0};
    support.members = {KSPROPERTY_MEMBER_STEPPEDRANGES, sizeof(KSPROPERTY_STEPPING_LONG), 1,
                       KSPROPERTY_MEMBER_FLAG_BASICSUPPORT_MULTICHANNEL};
    support.range.SteppingDelta = 0x8000;
    support.range.Bounds.SignedMinimum = static_cast<LONG>(0xFFA00000);
    support.range.Bounds.SignedMaximum = 0;
    return WriteBasicSupport(request, &support, sizeof support, support.description);
  }
  if (!Has(request, KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_SET)) {
    request.ValueSize = 0;
    return STATUS_INVALID_DEVICE_REQUEST;
  }
  const NTSTATUS status = ValidatePropertyValue(&request, sizeof(LONG), sizeof(LONG));
  if (!NT_SUCCESS(status)) return status;
  const LONG channel = ReadInstance<LONG>(request);
  if (Has(request, KSPROPERTY_TYPE_GET))
    WriteValue(request, adapter.ReadVolume(request.Node, channel));
  else
    adapter.WriteVolume(request.Node, channel, ReadValue<LONG>(request));
  return STATUS_SUCCESS;
}

NTSTATUS MuxSourceProperty(PCPROPERTY_REQUEST& request, IAudioAdapter& adapter) {
  if (ValueRoom(request) < sizeof(ULONG)) {
    request.ValueSize = 0;
    return STATUS_INVALID_PARAMETER;
  }
  if (Has(request, KSPROPERTY_TYPE_GET)) {
    WriteValue(request, adapter.ReadMux());
    return STATUS_SUCCESS;
  }
  if (Has(request, KSPROPERTY_TYPE_SET)) {
    adapter.WriteMux(ReadValue<ULONG>(request));
    return STATUS_SUCCESS;
  }
  if (Has(request, KSPROPERTY_TYPE_BASICSUPPORT)) return DescribeBasicSupport(&request, kGetSetSupport, VT_I4);
  request.ValueSize = 0;
  return STATUS_INVALID_DEVICE_REQUEST;
}

NTSTATUS MuteProperty(PCPROPERTY_REQUEST& request, IAudioAdapter& adapter) {
  if (Has(request, KSPROPERTY_TYPE_BASICSUPPORT)) return DescribeBasicSupport(&request, kGetSetSupport, VT_BOOL);
  if (!Has(request, KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_SET)) {
    request.ValueSize = 0;
    return STATUS_INVALID_DEVICE_REQUEST;
  }
  const NTSTATUS status = ValidatePropertyValue(&request, sizeof(BOOL), sizeof(LONG));
  if (!NT_SUCCESS(status)) return status;
  if (Has(request, KSPROPERTY_TYPE_GET))
    WriteValue(request, adapter.ReadMute(request.Node));
  else
    adapter.WriteMute(request.Node, ReadValue<BOOL>(request));
  return STATUS_SUCCESS;
}

// Basic support of the int and uint device-specific nodes: their value range.
struct SpecificBasicSupport {
  KSPROPERTY_DESCRIPTION description;
  KSPROPERTY_MEMBERSHEADER members;
  KSPROPERTY_BOUNDS_LONG range;
};
static_assert(sizeof(SpecificBasicSupport) == 64);

NTSTATUS DescribeSpecificRange(PCPROPERTY_REQUEST& request, ULONG valueType, KSPROPERTY_BOUNDS_LONG range) {
  if (request.ValueSize == 0) {
    request.ValueSize = sizeof(SpecificBasicSupport);
    return STATUS_BUFFER_OVERFLOW;
  }
  // The description alone announces no members; with them it announces their list.
  const KSPROPERTY_DESCRIPTION description{kGetSetSupport, sizeof(SpecificBasicSupport), PropertyType(valueType), 0, 0};
  SpecificBasicSupport support{description, {KSPROPERTY_MEMBER_RANGES, sizeof(KSPROPERTY_BOUNDS_LONG), 1, 0}, range};
  support.description.MembersListCount = 1;
  return WriteBasicSupport(request, &support, sizeof support, description);
}

NTSTATUS DeviceSpecificProperty(PCPROPERTY_REQUEST& request, IAudioAdapter& adapter) {
  const ULONG node = request.Node;
  if (node != kSpecificFlagNode && node != kSpecificIntNode && node != kSpecificUintNode) {
    request.ValueSize = 0;
    return STATUS_INVALID_PARAMETER;
  }
  if (Has(request, KSPROPERTY_TYPE_BASICSUPPORT)) {
    if (node == kSpecificFlagNode) return DescribeBasicSupport(&request, kGetSetSupport, VT_BOOL);
    KSPROPERTY_BOUNDS_LONG range{};
    if (node == kSpecificIntNode) {
      range.SignedMinimum = 0;
      range.SignedMaximum = 0x7FFFFFFF;
      return DescribeSpecificRange(request, VT_I4, range);
    }
    range.UnsignedMinimum = 0;
    range.UnsignedMaximum = 0xFFFFFFFF;
    return DescribeSpecificRange(request, VT_UI4, range);
  }
  if (!Has(request, KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_SET)) {
    request.ValueSize = 0;
    return STATUS_INVALID_PARAMETER;
  }
  const NTSTATUS status = ValidatePropertyValue(&request, sizeof(ULONG), 0);
  if (!NT_SUCCESS(status)) return status;
  const bool get = Has(request, KSPROPERTY_TYPE_GET);
  switch (node) {
    case kSpecificFlagNode:
      get ? WriteValue(request, adapter.ReadSpecificFlag()) : adapter.WriteSpecificFlag(ReadValue<BOOL>(request));
      break;
    case kSpecificIntNode:
      get ? WriteValue(request, adapter.ReadSpecificInt()) : adapter.WriteSpecificInt(ReadValue<LONG>(request));
      break;
    default:
      get ? WriteValue(request, adapter.ReadSpecificUint()) : adapter.WriteSpecificUint(ReadValue<ULONG>(request));
      break;
  }
  return STATUS_SUCCESS;
}

NTSTATUS CpuResourcesProperty(PCPROPERTY_REQUEST& request) {
  if (Has(request, KSPROPERTY_TYPE_GET)) {
    const NTSTATUS status = ValidatePropertyValue(&request, sizeof(LONG), 0);
    if (!NT_SUCCESS(status)) return status;
    WriteValue(request, KSAUDIO_CPU_RESOURCES_NOT_HOST_CPU);
    return STATUS_SUCCESS;
  }
  if (Has(request, KSPROPERTY_TYPE_BASICSUPPORT)) return DescribeBasicSupport(&request, kGetSupport, VT_EMPTY);
  request.ValueSize = 0;
  return STATUS_INVALID_DEVICE_REQUEST;
}

// Jack descriptions by pin; the pins without a jack have none.
struct JackDescriptionValue {
  KSMULTIPLE_ITEM header;
  KSJACK_DESCRIPTION jack;
};
static_assert(sizeof(JackDescriptionValue) == 36);

constexpr DWORD kStereo = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
constexpr KSJACK_DESCRIPTION kMicrophoneJack = {kStereo, 0x00E88C99, eConnType3Point5mm, eGeoLocRear,
                                                eGenLocPrimaryBox, ePortConnJack, 1};
constexpr KSJACK_DESCRIPTION kLineOutJack = {kStereo, 0x00B3C98C, eConnType3Point5mm, eGeoLocRear,
                                             eGenLocPrimaryBox, ePortConnJack, 1};

const KSJACK_DESCRIPTION* JackOf(ULONG pin) {
  switch (pin) {
    case kMicrophonePin:
      return &kMicrophoneJack;
    case kLineOutPin:
      return &kLineOutJack;
    default:
      return nullptr;
  }
}

}  // namespace

NTSTATUS PropertyHandlerTopologyNode(PPCPROPERTY_REQUEST request) {
  if (request == nullptr || request->PropertyItem == nullptr) return STATUS_INVALID_PARAMETER;
  IAudioAdapter* adapter = AdapterOf(*request);
  if (adapter == nullptr) {
    request->ValueSize = 0;
    return STATUS_INVALID_DEVICE_REQUEST;
  }
  switch (request->PropertyItem->Id) {
    case KSPROPERTY_AUDIO_VOLUMELEVEL:
      return VolumeProperty(*request, *adapter);
    case KSPROPERTY_AUDIO_MUX_SOURCE:
      return MuxSourceProperty(*request, *adapter);
    case KSPROPERTY_AUDIO_MUTE:
      return MuteProperty(*request, *adapter);
    case KSPROPERTY_AUDIO_DEV_SPECIFIC:
      return DeviceSpecificProperty(*request, *adapter);
    case KSPROPERTY_AUDIO_CPU_RESOURCES:
      return CpuResourcesProperty(*request);
    default:
      request->ValueSize = 0;
      return STATUS_INVALID_DEVICE_REQUEST;
  }
}

NTSTATUS PropertyHandlerJackDescription(PPCPROPERTY_REQUEST request) {
  if (request == nullptr || request->PropertyItem == nullptr) return STATUS_INVALID_PARAMETER;
  const PCPROPERTY_ITEM& item = *request->PropertyItem;
  const KSJACK_DESCRIPTION* jack = nullptr;
  if (item.Set != nullptr && IsEqualGUID(*item.Set, KSPROPSETID_Jack) && item.Id == KSPROPERTY_JACK_DESCRIPTION &&
      request->Instance != nullptr && request->InstanceSize >= sizeof(ULONG)) {
    const ULONG pin = ReadInstance<ULONG>(*request);
    if (pin < kTopologyPinCount) jack = JackOf(pin);
  }
  if (jack == nullptr) {
    request->ValueSize = 0;
    return STATUS_INVALID_DEVICE_REQUEST;
  }
  if (Has(*request, KSPROPERTY_TYPE_BASICSUPPORT)) return DescribeBasicSupport(request, kGetSupport, VT_EMPTY);
  if (request->ValueSize == 0) {
    request->ValueSize = sizeof(JackDescriptionValue);
    return STATUS_BUFFER_OVERFLOW;
  }
  if (ValueRoom(*request) < sizeof(JackDescriptionValue)) {
    request->ValueSize = 0;
    return STATUS_BUFFER_TOO_SMALL;
  }
  if (!Has(*request, KSPROPERTY_TYPE_GET)) {
    request->ValueSize = 0;
    return STATUS_INVALID_DEVICE_REQUEST;
  }
  WriteValue(*request, JackDescriptionValue{{sizeof(JackDescriptionValue), 1}, *jack});
  return STATUS_SUCCESS;
}
