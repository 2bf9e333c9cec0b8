// The plug-in's fourteen exports: argument checks in the host's order, then the session.

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>

#include "driver_version.h"
#include "error_names.h"
#include "encoder_settings.h"
#include "gpucodec.h"
#include "plugin_state.h"
#include "settings_dialog.h"
#include "win_handles.h"

using namespace gpucodec;

namespace {

constexpr char kEncoderName[] = "NVIDIA GPUCODEC H.264";

static_assert(sizeof(void*) != 4 || (offsetof(EncoderCaps, outputFourcc) == 28 &&
                                     offsetof(EncoderCaps, name) == 32 &&
                                     offsetof(EncoderCaps, word292) == 292));
static_assert(offsetof(EncoderVideoFrame, timestamp) == 16 &&
              offsetof(EncoderVideoFrame, fourcc) == 24 &&
              offsetof(EncoderVideoFrame, width) == 28 &&
              offsetof(EncoderVideoFrame, height) == 32 &&
              offsetof(EncoderVideoFrame, frameRate) == 44);
static_assert(offsetof(EncodedFrameInfo, keyFrame) == 4 &&
              offsetof(EncodedFrameInfo, timestamp) == 8 &&
              offsetof(EncodedFrameInfo, timestampAgain) == 16 &&
              offsetof(EncodedFrameInfo, bytes) == 24);
static_assert(offsetof(EncoderStatRequest, selector) == 4 &&
              offsetof(EncoderStatRequest, buffer) == 8);
// 32-bit: the host's layout. 64-bit (test build): the same structures, naturally aligned.
static_assert(sizeof(void*) != 4 || (offsetof(EncoderVideoFrame, pixels) == 52 &&
                                     offsetof(EncodedFrameInfo, size) == 28 &&
                                     offsetof(EncodedFrameInfo, handle) == 32 &&
                                     offsetof(EncoderStatRequest, capacity) == 12));
static_assert(sizeof(void*) != 8 || (offsetof(EncoderVideoFrame, pixels) == 56 &&
                                     offsetof(EncodedFrameInfo, size) == 32 &&
                                     offsetof(EncodedFrameInfo, handle) == 40 &&
                                     offsetof(EncoderStatRequest, capacity) == 16));

bool Initialized() { return Plugin().encoder != nullptr; }

HRESULT FromInternalCode(int32_t code) {
  Plugin().lastError = code;
  return code == GPUCODEC_ERR_NONE ? S_OK : E_FAIL;
}

// Allocation inside the session is the only thing that throws; it never crosses an export,
// and the host reads it as any other failure, by its last error code.
template <class Body>
HRESULT Guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return FromInternalCode(GPUCODEC_ERR_UNKNOWN);
  }
}

// Bounded and always terminated, whatever the text's length.
void CopyText(const wchar_t* text, wchar_t* buffer, uint32_t capacity) {
  if (capacity == 0) return;
  const size_t chars = std::min<size_t>(std::wcslen(text), capacity - 1);
  std::wmemcpy(buffer, text, chars);
  buffer[chars] = L'\0';
}

}  // namespace

extern "C" {

uint32_t __stdcall CheckAccelerationSupport(void) {
  LibraryHandle library(LoadLibraryW(L"nvEncodeAPI.dll"));
  if (!library) return 1;
  uint32_t version = 0;
  if (ReadDriverVersion(library.get(), version) != GPUCODEC_ERR_NONE ||
      version < kAccelerationDriverVersion) {
    return 1;
  }
  return 3;
}

int32_t __stdcall GetEncodersNum(void) { return 1; }

HRESULT __stdcall GetEncoderCaps(int32_t index, EncoderCaps* caps) {
  if (caps == nullptr) return E_POINTER;
  if (index != 0) return E_INVALIDARG;
  caps->interfaceVersion = 0x00020000;
  caps->word4 = 12;
  caps->word8 = 1;
  caps->inputFourcc = GPUCODEC_FOURCC_NV12;
  caps->outputFourcc = GPUCODEC_FOURCC_AVC;
  std::memcpy(caps->name, kEncoderName, sizeof(kEncoderName));
  caps->word292 = 1;
  return S_OK;
}

int32_t __stdcall Init(const wchar_t* settingsPath) {
  PluginState& plugin = Plugin();
  if (settingsPath != nullptr) {
    CopySettingsPath(settingsPath, plugin.settingsPath);
  } else {
    wchar_t modulePath[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(plugin.module, modulePath, MAX_PATH);
    if (length != 0 && length < MAX_PATH) SettingsPathBesideModule(modulePath, plugin.settingsPath);
  }
  if (plugin.encoder) return 1;
  plugin.encoder = std::make_unique<CGPUCODECEncoder>();
  return 0;
}

HRESULT __stdcall Configure(int32_t index, HWND parent) {
  if (index != 0) return E_INVALIDARG;
  RunSettingsDialog(parent, Plugin().settingsPath);
  return S_OK;
}

HRESULT __stdcall StartEncoding(int32_t index, const EncoderVideoFrame* format) {
  if (!Initialized()) return E_UNEXPECTED;
  if (format == nullptr) return E_POINTER;
  if (index != 0) return E_INVALIDARG;
  return Guarded([&] {
    const EncoderSettings settings = ReadEncoderSettings(Plugin().settingsPath);
    SessionParams params = {};
    params.width = format->width;
    params.height = format->height;
    params.frameRate = format->frameRate;
    params.targetBitrateKbps = static_cast<uint32_t>(SessionTargetBitrate(settings.targetBitrate));
    params.deviceIndex = settings.device;
    params.preset = settings.preset;
    params.profile = settings.profile;
    params.async = settings.asyncMode != 0;
    params.lowLatency = settings.lowLatency != 0;
    return FromInternalCode(Plugin().encoder->Open(params));
  });
}

HRESULT __stdcall Encode(int32_t index, const EncoderVideoFrame* frame) {
  if (!Initialized()) return E_UNEXPECTED;
  if (frame == nullptr) return E_POINTER;
  if (index != 0 || frame->fourcc != GPUCODEC_FOURCC_NV12) return E_INVALIDARG;
  if (frame->pixels == nullptr) return E_POINTER;
  return Guarded([&] {
    return FromInternalCode(Plugin().encoder->EncodeFrame(frame->width, frame->height,
                                                          frame->pixels, frame->timestamp));
  });
}

HRESULT __stdcall GetFrame(int32_t index, EncodedFrameInfo* info) {
  if (!Initialized()) return E_UNEXPECTED;
  if (info == nullptr) return E_POINTER;
  if (index != 0) return E_INVALIDARG;
  GPUCODEC_ENCODED_FRAME* const frame = Plugin().encoder->TakeFrame();
  if (!frame) {
    info->keyFrame = 0;
    info->timestamp = 0;
    info->timestampAgain = 0;
    info->bytes = nullptr;
    info->size = 0;
    info->handle = nullptr;
    return S_FALSE;
  }
  info->keyFrame = frame->pictureType == kPictureTypeIdr ? 1 : 0;
  info->timestamp = frame->timestamp;
  info->timestampAgain = frame->timestamp;
  info->bytes = frame->buffer.get();
  info->size = frame->size;
  info->handle = frame;  // the host's until ReleaseFrame
  return S_OK;
}

HRESULT __stdcall ReleaseFrame(int32_t index, EncodedFrameInfo* info) {
  if (!Initialized()) return E_UNEXPECTED;
  if (info == nullptr || info->handle == nullptr) return E_POINTER;
  if (index != 0) return E_INVALIDARG;
  // A copied record released twice, or a stale one, names no frame of ours.
  if (!Plugin().encoder->FreeFrame(info->handle)) return E_INVALIDARG;
  info->bytes = nullptr;
  info->size = 0;
  info->handle = nullptr;
  return S_OK;
}

const uint8_t* __stdcall GetHeader(int32_t index) {
  if (!Initialized() || index != 0) return nullptr;
  return Plugin().encoder->Header();
}

uint32_t __stdcall GetHeaderSize(int32_t index) {
  if (!Initialized() || index != 0) return 0;
  return Plugin().encoder->HeaderSize();
}

HRESULT __stdcall GetEncoderStat(int32_t index, const EncoderStatRequest* request) {
  if (!Initialized()) return E_UNEXPECTED;
  if (request == nullptr || request->buffer == nullptr) return E_POINTER;
  if (index != 0) return E_INVALIDARG;
  switch (request->selector) {
    case GPUCODEC_STAT_DESCRIPTION:
      CopyText(Plugin().encoder->Description(), request->buffer, request->capacity);
      return S_OK;
    case GPUCODEC_STAT_LAST_ERROR_NAME:
      CopyText(ErrorName(Plugin().lastError), request->buffer, request->capacity);
      return S_OK;
    default:
      return E_INVALIDARG;
  }
}

HRESULT __stdcall StopEncoding(int32_t index) {
  if (!Initialized()) return E_UNEXPECTED;
  if (index != 0) return E_INVALIDARG;
  return FromInternalCode(Plugin().encoder->Close());
}

int32_t __stdcall Uninit(void) {
  PluginState& plugin = Plugin();
  if (!plugin.encoder) return 1;
  plugin.encoder.reset();  // closes the session and frees every queued frame
  return 0;
}

}  // extern "C"

namespace gpucodec {

PluginState& Plugin() {
  // Never destroyed: a host that unloads us without Uninit must not have the session torn
  // down under the loader lock.
  static PluginState* const state = new PluginState;
  return *state;
}

}  // namespace gpucodec
