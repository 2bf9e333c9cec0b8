#include "wave_properties.h"

#include "property_requests.h"
#include "wave_descriptor.h"
#include "wave_miniport.h"

constinit const KSCOMPONENTID kWaveComponentId = {
    {0xD5A47FA8, 0x6D98, 0x11D1, {0xA2, 0x1A, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}},  // manufacturer
    {0x5B722BF8, 0xF0AB, 0x47EE, {0xB9, 0xC8, 0x8D, 0x61, 0xD3, 0x13, 0x75, 0xA1}},  // product
    GUID_NULL,                                                                        // component
    {0x946A7B1A, 0xEBBC, 0x422A, {0xA8, 0x1F, 0xF0, 0x7C, 0x8D, 0x40, 0xD3, 0xB4}},  // name
    1,                                                                                // version
    0,                                                                                // revision
};

namespace {

// The smallest proposal: a KSDATAFORMAT with its WAVEFORMATEX.
constexpr ULONG kProposalSize = sizeof(KSDATAFORMAT) + sizeof(WAVEFORMATEX);
static_assert(kProposalSize == 82);

// A proposal copied out of the request, with room for its wave format behind either
// specifier (the DirectSound one puts it 8 bytes further on).
struct ProposedFormat {
  KSDATAFORMAT format;
  UCHAR wave[2 * sizeof(ULONG) + sizeof(WAVEFORMATEX)];
};

bool Is(const PCPROPERTY_REQUEST& request, const GUID& set, ULONG id) {
  const PCPROPERTY_ITEM& item = *request.PropertyItem;
  return item.Set != nullptr && IsEqualGUID(*item.Set, set) && item.Id == id;
}

NTSTATUS ComponentIdProperty(PCPROPERTY_REQUEST& request) {
  if (Has(request, KSPROPERTY_TYPE_BASICSUPPORT)) return DescribeBasicSupport(&request, kGetSupport, VT_EMPTY);
  if (!NT_SUCCESS(ValidatePropertyValue(&request, sizeof(KSCOMPONENTID), 0))) return STATUS_INVALID_PARAMETER;
  if (!Has(request, KSPROPERTY_TYPE_GET)) {
    request.ValueSize = 0;
    return STATUS_INVALID_DEVICE_REQUEST;
  }
  WriteValue(request, kWaveComponentId);
  return STATUS_SUCCESS;
}

// The streaming pin a request's KSP_PIN instance names: only those carry a format.
bool StreamPinOf(const PCPROPERTY_REQUEST& request, bool* capture) {
  if (request.Instance == nullptr || request.InstanceSize < sizeof(ULONG)) return false;
  const ULONG pin = ReadInstance<ULONG>(request);
  *capture = pin == kWaveCaptureStreamPin;
  return pin == kWaveCaptureStreamPin || pin == kWaveRenderStreamPin;
}

WaveMiniport* MiniportOf(const PCPROPERTY_REQUEST& request) {
  if (request.MajorTarget == nullptr) return nullptr;
  IMiniportWaveCyclic* miniport = nullptr;
  if (!NT_SUCCESS(request.MajorTarget->QueryInterface(IID_IMiniportWaveCyclic, reinterpret_cast<PVOID*>(&miniport))))
    return nullptr;
  miniport->Release();  // the port keeps it alive meanwhile
  return static_cast<WaveMiniport*>(miniport);
}

// Exactly what a stream of the pin would be opened with now: what NewStream accepts.
NTSTATUS AnswerProposal(const PCPROPERTY_REQUEST& request, WaveMiniport& miniport, bool capture) {
  ProposedFormat proposal{};
  const ULONG room = ValueRoom(request);
  RtlCopyMemory(&proposal, request.Value, room < sizeof proposal ? room : sizeof proposal);
  if (proposal.format.FormatSize > room) return STATUS_NO_MATCH;  // it claims more than it brings
  if (proposal.format.FormatSize > sizeof proposal) proposal.format.FormatSize = sizeof proposal;
  return miniport.ProposeFormat(capture, &proposal.format);
}

NTSTATUS ProposeDataFormatProperty(PCPROPERTY_REQUEST& request) {
  if (Has(request, KSPROPERTY_TYPE_BASICSUPPORT)) return DescribeBasicSupport(&request, kSetSupport, VT_EMPTY);
  if (request.ValueSize == 0) {
    request.ValueSize = kProposalSize;
    return STATUS_BUFFER_OVERFLOW;
  }
  if (ValueRoom(request) < kProposalSize) {
    request.ValueSize = 0;
    return STATUS_BUFFER_TOO_SMALL;
  }
  if (!Has(request, KSPROPERTY_TYPE_SET)) {
    request.ValueSize = 0;
    return STATUS_INVALID_PARAMETER;
  }
  bool capture = false;
  WaveMiniport* miniport = MiniportOf(request);
  if (miniport == nullptr || !StreamPinOf(request, &capture)) {
    request.ValueSize = 0;
    return STATUS_INVALID_DEVICE_REQUEST;
  }
  return AnswerProposal(request, *miniport, capture);
}

}  // namespace

NTSTATUS PropertyHandlerWaveFilter(PPCPROPERTY_REQUEST request) {
  if (request == nullptr || request->PropertyItem == nullptr) return STATUS_INVALID_PARAMETER;
  if (Is(*request, KSPROPSETID_General, KSPROPERTY_GENERAL_COMPONENTID)) return ComponentIdProperty(*request);
  if (Is(*request, KSPROPSETID_Pin, KSPROPERTY_PIN_PROPOSEDATAFORMAT)) return ProposeDataFormatProperty(*request);
  request->ValueSize = 0;
  return STATUS_INVALID_DEVICE_REQUEST;
}
