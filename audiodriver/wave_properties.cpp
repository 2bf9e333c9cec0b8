#include "wave_properties.h"

#include "property_requests.h"

constinit const KSCOMPONENTID kWaveComponentId = {
    {0xD5A47FA8, 0x6D98, 0x11D1, {0xA2, 0x1A, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}},  // manufacturer
    {0x5B722BF8, 0xF0AB, 0x47EE, {0xB9, 0xC8, 0x8D, 0x61, 0xD3, 0x13, 0x75, 0xA1}},  // product
    GUID_NULL,                                                                        // component
    {0x946A7B1A, 0xEBBC, 0x422A, {0xA8, 0x1F, 0xF0, 0x7C, 0x8D, 0x40, 0xD3, 0xB4}},  // name
    1,                                                                                // version
    0,                                                                                // revision
};

namespace {

constexpr ULONG kGetSupport = KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_BASICSUPPORT;
constexpr ULONG kSetSupport = KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_BASICSUPPORT;

// The smallest proposal: a KSDATAFORMAT with its WAVEFORMATEX.
constexpr ULONG kProposalSize = sizeof(KSDATAFORMAT) + sizeof(WAVEFORMATEX);
static_assert(kProposalSize == 82);
// An extensible proposal also carries the rest of its WAVEFORMATEXTENSIBLE.
constexpr ULONG kExtensibleProposalSize = sizeof(KSDATAFORMAT) + sizeof(WAVEFORMATEXTENSIBLE);
static_assert(kExtensibleProposalSize == 104);
constexpr WORD kExtensibleExtraSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);

bool Has(const PCPROPERTY_REQUEST& request, ULONG verb) { return (request.Verb & verb) != 0; }

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

// The speaker layouts the engine may propose in an extensible format.
bool IsKnownLayout(WORD channels, DWORD mask) {
  return (channels == 2 && mask == 0x3) || (channels == 6 && mask == 0x60F) || (channels == 8 && mask == 0x63F);
}

// 16-bit PCM at 44.1 or 48 kHz with consistent block alignment and byte rate: stereo as
// WAVE_FORMAT_PCM, or stereo, 5.1 or 7.1 as WAVE_FORMAT_EXTENSIBLE.
bool IsAcceptedProposal(const PCPROPERTY_REQUEST& request) {
  const auto* bytes = static_cast<const UCHAR*>(request.Value);
  KSDATAFORMAT format;
  WAVEFORMATEX wave;
  RtlCopyMemory(&format, bytes, sizeof format);
  RtlCopyMemory(&wave, bytes + sizeof format, sizeof wave);
  if (!IsEqualGUID(format.MajorFormat, KSDATAFORMAT_TYPE_AUDIO) ||
      !IsEqualGUID(format.SubFormat, KSDATAFORMAT_SUBTYPE_PCM) ||
      !IsEqualGUID(format.Specifier, KSDATAFORMAT_SPECIFIER_WAVEFORMATEX))
    return false;
  if (wave.wBitsPerSample != 16 || (wave.nSamplesPerSec != 44100 && wave.nSamplesPerSec != 48000)) return false;
  if (wave.nBlockAlign != 2u * wave.nChannels || wave.nAvgBytesPerSec != ULONG{wave.nBlockAlign} * wave.nSamplesPerSec)
    return false;
  if (wave.wFormatTag == WAVE_FORMAT_PCM) return wave.cbSize == 0 && wave.nChannels == 2;
  if (wave.wFormatTag != WAVE_FORMAT_EXTENSIBLE || wave.cbSize != kExtensibleExtraSize) return false;
  // The channel mask lies beyond the 82 bytes checked so far: a shorter value does not hold it.
  if (request.ValueSize < kExtensibleProposalSize) return false;
  WAVEFORMATEXTENSIBLE extensible;
  RtlCopyMemory(&extensible, bytes + sizeof format, sizeof extensible);
  return IsKnownLayout(wave.nChannels, extensible.dwChannelMask);
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
  return IsAcceptedProposal(request) ? STATUS_SUCCESS : STATUS_NO_MATCH;
}

}  // namespace

NTSTATUS PropertyHandlerWaveFilter(PPCPROPERTY_REQUEST request) {
  if (request == nullptr || request->PropertyItem == nullptr) return STATUS_INVALID_PARAMETER;
  if (Is(*request, KSPROPSETID_General, KSPROPERTY_GENERAL_COMPONENTID)) return ComponentIdProperty(*request);
  if (Is(*request, KSPROPSETID_Pin, KSPROPERTY_PIN_PROPOSEDATAFORMAT)) return ProposeDataFormatProperty(*request);
  request->ValueSize = 0;
  return STATUS_INVALID_DEVICE_REQUEST;
}
