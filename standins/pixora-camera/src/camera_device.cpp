#include "camera_device.h"

#include "fnv1a.h"
#include "frame_packet.h"

#include <vfwmsgs.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace pixora {
namespace {

template <class T>
bool ReadPayload(const void* data, ULONG size, T* value) {
  // Longer payloads are accepted, as a kernel-streaming driver checks only the minimum.
  if (!data || size < sizeof(T)) return false;
  std::memcpy(value, data, sizeof(T));
  return true;
}

DWORD SupportOf(ULONG id) {
  switch (id) {
    case PIXORA_PROP_FRAME:
    case PIXORA_PROP_MIRROR:
    case PIXORA_PROP_FLIP:
      return PIXORA_KSPROPERTY_SUPPORT_SET;
    case PIXORA_PROP_OUTPUT_FORMAT:
    case PIXORA_PROP_FILL_MODE:
      return PIXORA_KSPROPERTY_SUPPORT_SET | PIXORA_KSPROPERTY_SUPPORT_GET;
    default:
      return 0;
  }
}

void Count(CameraSettings& settings, ULONG id, bool get, HRESULT hr) {
  if (id >= kProbePropertySlots) return;
  PropertyCallCounts& counts = settings.calls[id];
  if (get) {
    ++(SUCCEEDED(hr) ? counts.getAccepted : counts.getRefused);
  } else {
    ++(SUCCEEDED(hr) ? counts.setAccepted : counts.setRefused);
  }
}

}  // namespace

HRESULT CCameraDevice::Set(REFGUID set, ULONG id, const void* data, ULONG size) {
  std::lock_guard guard(section_);
  HRESULT hr = S_OK;
  if (TakeInjectedFailure(&hr)) return hr;
  if (set != PROPSETID_PixoraCamera) return E_PROP_SET_UNSUPPORTED;
  hr = ApplySet(id, data, size);
  Count(section_.State().settings, id, false, hr);
  return hr;
}

HRESULT CCameraDevice::Get(REFGUID set, ULONG id, void* data, ULONG size, ULONG* returned) {
  std::lock_guard guard(section_);
  HRESULT hr = S_OK;
  if (TakeInjectedFailure(&hr)) return hr;
  if (set != PROPSETID_PixoraCamera) return E_PROP_SET_UNSUPPORTED;
  hr = ReadProperty(id, data, size, returned);
  Count(section_.State().settings, id, true, hr);
  return hr;
}

HRESULT CCameraDevice::QuerySupported(REFGUID set, ULONG id, ULONG* support) {
  std::lock_guard guard(section_);
  HRESULT hr = S_OK;
  if (TakeInjectedFailure(&hr)) return hr;
  if (!support) return E_POINTER;
  *support = 0;
  if (set != PROPSETID_PixoraCamera) return E_PROP_SET_UNSUPPORTED;
  const DWORD mask = SupportOf(id);
  if (mask == 0) return E_PROP_ID_UNSUPPORTED;
  *support = mask;
  return S_OK;
}

bool CCameraDevice::TakeInjectedFailure(HRESULT* hr) {
  ProbeState& state = section_.State();
  if (!state.failPending) return false;
  state.failPending = 0;
  *hr = state.failResult;
  return true;
}

HRESULT CCameraDevice::ApplySet(ULONG id, const void* data, ULONG size) {
  CameraSettings& settings = section_.State().settings;
  switch (id) {
    case PIXORA_PROP_FRAME:
      return AcceptFrame(data, size);
    case PIXORA_PROP_OUTPUT_FORMAT: {
      OutputFormat format;
      if (!ReadPayload(data, size, &format)) return E_INVALIDARG;
      if (format.width <= 0 || format.height <= 0 || format.fps <= 0) return E_INVALIDARG;
      settings.outputFormat = format;
      return S_OK;
    }
    case PIXORA_PROP_FILL_MODE: {
      int32_t mode;
      if (!ReadPayload(data, size, &mode)) return E_INVALIDARG;
      if (mode < PIXORA_FILL_ASPECT_FIT || mode > PIXORA_FILL_STRETCH) return E_INVALIDARG;
      settings.fillMode = mode;
      return S_OK;
    }
    case PIXORA_PROP_MIRROR:
    case PIXORA_PROP_FLIP: {
      int32_t on;
      if (!ReadPayload(data, size, &on)) return E_INVALIDARG;
      (id == PIXORA_PROP_MIRROR ? settings.mirror : settings.flip) = on;
      return S_OK;
    }
    default:
      return E_PROP_ID_UNSUPPORTED;
  }
}

HRESULT CCameraDevice::AcceptFrame(const void* data, ULONG size) {
  FrameHeader header;
  if (!ReadPayload(data, size, &header)) return E_INVALIDARG;
  const auto pixelBytes = AnnouncedPixelBytes(header);
  if (!pixelBytes || size - sizeof(FrameHeader) < *pixelBytes) return E_INVALIDARG;

  const auto* packet = static_cast<const uint8_t*>(data);
  ProbeState& state = section_.State();
  const uint64_t sequence = ++state.frameCount;
  FrameRecord& record = state.ring[(sequence - 1) % kProbeRingSize];
  record = {};
  record.header = header;
  record.packetBytes = size;
  record.sequence = sequence;
  if (state.headersOnly) return S_OK;
  record.pixelHash = Fnv1a64(packet + sizeof(FrameHeader), static_cast<size_t>(*pixelBytes));
  const uint64_t kept = std::min<uint64_t>(sizeof(FrameHeader) + *pixelBytes, kProbePacketCapacity);
  std::memcpy(section_.Packet(), packet, static_cast<size_t>(kept));
  state.lastPacketBytes = kept;
  return S_OK;
}

HRESULT CCameraDevice::ReadProperty(ULONG id, void* data, ULONG size, ULONG* returned) {
  const CameraSettings& settings = section_.State().settings;
  const void* value = nullptr;
  ULONG needed = 0;
  switch (id) {
    case PIXORA_PROP_OUTPUT_FORMAT:
      value = &settings.outputFormat;
      needed = sizeof(settings.outputFormat);
      break;
    case PIXORA_PROP_FILL_MODE:
      value = &settings.fillMode;
      needed = sizeof(settings.fillMode);
      break;
    default:
      // Set-only and unknown properties alike: no get handler for this id.
      return E_PROP_ID_UNSUPPORTED;
  }
  if (returned) *returned = 0;
  // As a kernel-streaming driver answers: an empty buffer asks for the size.
  if (!data || size == 0) {
    if (returned) *returned = needed;
    return HRESULT_FROM_WIN32(ERROR_MORE_DATA);
  }
  if (size < needed) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(data, value, needed);
  if (returned) *returned = needed;
  return S_OK;
}

}  // namespace pixora
