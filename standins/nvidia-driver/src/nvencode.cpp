// The video encode library stand-in: the two named entry points and the version-7.0
// function list over EncodeSession.

#include <windows.h>

#include <map>
#include <memory>

#include "cuda_driver_api.h"
#include "encode_session.h"
#include "nv_encode_api.h"
#include "record_section.h"

using namespace nvstandin;

namespace {

StandinConfig g_config;
std::map<void*, std::unique_ptr<EncodeSession>> g_sessions;

EncodeSession* FindSession(void* encoder) {
  auto found = g_sessions.find(encoder);
  return found == g_sessions.end() ? nullptr : found->second.get();
}

// Counts the call, applies a configured failure, then runs body on the session.
template <class Body>
NVENCSTATUS OnSession(Call call, void* encoder, Body&& body) {
  if (const int32_t failure = EnterCall(call, g_config)) return static_cast<NVENCSTATUS>(failure);
  EncodeSession* session = FindSession(encoder);
  if (session == nullptr) return NV_ENC_ERR_INVALID_ENCODERDEVICE;
  return body(*session);
}

// The context must be one the driver library knows: it can be made current.
bool KnownContext(void* device) {
  if (cuCtxPushCurrent_v2(static_cast<CUcontext>(device)) != CUDA_SUCCESS) return false;
  CUcontext popped = nullptr;
  cuCtxPopCurrent_v2(&popped);
  return true;
}

NVENCSTATUS NVENCAPI OpenEncodeSessionEx(NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS* params,
                                         void** encoder) {
  if (const int32_t failure = EnterCall(Call::nvEncOpenEncodeSessionEx, g_config)) {
    return static_cast<NVENCSTATUS>(failure);
  }
  if (params == nullptr || encoder == nullptr) return NV_ENC_ERR_INVALID_PTR;
  if (params->version != NV_ENC_OPEN_ENCODE_SESSION_EX_PARAMS_VER) return NV_ENC_ERR_INVALID_VERSION;
  StandinRecord& record = Record();
  record.openDeviceType = params->deviceType;
  record.openApiVersion = params->apiVersion;
  if (params->apiVersion != NVENCAPI_VERSION) return NV_ENC_ERR_INVALID_VERSION;
  if (params->deviceType != NV_ENC_DEVICE_TYPE_CUDA) return NV_ENC_ERR_UNSUPPORTED_DEVICE;
  if (!KnownContext(params->device)) return NV_ENC_ERR_INVALID_DEVICE;
  record.openWithKnownContext = 1;
  auto session = std::make_unique<EncodeSession>(g_config);
  *encoder = session.get();
  g_sessions.emplace(session.get(), std::move(session));
  ++record.liveSessions;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI GetEncodePresetConfig(void* encoder, GUID encodeGuid, GUID presetGuid,
                                           NV_ENC_PRESET_CONFIG* config) {
  return OnSession(Call::nvEncGetEncodePresetConfig, encoder,
                   [&](EncodeSession& s) { return s.GetPresetConfig(encodeGuid, presetGuid, config); });
}

NVENCSTATUS NVENCAPI InitializeEncoder(void* encoder, NV_ENC_INITIALIZE_PARAMS* params) {
  return OnSession(Call::nvEncInitializeEncoder, encoder,
                   [&](EncodeSession& s) { return s.Initialize(params); });
}

NVENCSTATUS NVENCAPI CreateInputBuffer(void* encoder, NV_ENC_CREATE_INPUT_BUFFER* params) {
  return OnSession(Call::nvEncCreateInputBuffer, encoder,
                   [&](EncodeSession& s) { return s.CreateInputBuffer(params); });
}

NVENCSTATUS NVENCAPI DestroyInputBuffer(void* encoder, NV_ENC_INPUT_PTR buffer) {
  return OnSession(Call::nvEncDestroyInputBuffer, encoder,
                   [&](EncodeSession& s) { return s.DestroyInputBuffer(buffer); });
}

NVENCSTATUS NVENCAPI CreateBitstreamBuffer(void* encoder, NV_ENC_CREATE_BITSTREAM_BUFFER* params) {
  return OnSession(Call::nvEncCreateBitstreamBuffer, encoder,
                   [&](EncodeSession& s) { return s.CreateBitstreamBuffer(params); });
}

NVENCSTATUS NVENCAPI DestroyBitstreamBuffer(void* encoder, NV_ENC_OUTPUT_PTR buffer) {
  return OnSession(Call::nvEncDestroyBitstreamBuffer, encoder,
                   [&](EncodeSession& s) { return s.DestroyBitstreamBuffer(buffer); });
}

NVENCSTATUS NVENCAPI RegisterAsyncEvent(void* encoder, NV_ENC_EVENT_PARAMS* params) {
  return OnSession(Call::nvEncRegisterAsyncEvent, encoder,
                   [&](EncodeSession& s) { return s.RegisterEvent(params); });
}

NVENCSTATUS NVENCAPI UnregisterAsyncEvent(void* encoder, NV_ENC_EVENT_PARAMS* params) {
  return OnSession(Call::nvEncUnregisterAsyncEvent, encoder,
                   [&](EncodeSession& s) { return s.UnregisterEvent(params); });
}

NVENCSTATUS NVENCAPI GetSequenceParams(void* encoder, NV_ENC_SEQUENCE_PARAM_PAYLOAD* payload) {
  return OnSession(Call::nvEncGetSequenceParams, encoder,
                   [&](EncodeSession& s) { return s.GetSequenceParams(payload); });
}

NVENCSTATUS NVENCAPI LockInputBuffer(void* encoder, NV_ENC_LOCK_INPUT_BUFFER* params) {
  return OnSession(Call::nvEncLockInputBuffer, encoder,
                   [&](EncodeSession& s) { return s.LockInput(params); });
}

NVENCSTATUS NVENCAPI UnlockInputBuffer(void* encoder, NV_ENC_INPUT_PTR buffer) {
  return OnSession(Call::nvEncUnlockInputBuffer, encoder,
                   [&](EncodeSession& s) { return s.UnlockInput(buffer); });
}

NVENCSTATUS NVENCAPI EncodePicture(void* encoder, NV_ENC_PIC_PARAMS* params) {
  return OnSession(Call::nvEncEncodePicture, encoder,
                   [&](EncodeSession& s) { return s.EncodePicture(params); });
}

NVENCSTATUS NVENCAPI LockBitstream(void* encoder, NV_ENC_LOCK_BITSTREAM* params) {
  return OnSession(Call::nvEncLockBitstream, encoder,
                   [&](EncodeSession& s) { return s.LockBitstream(params); });
}

NVENCSTATUS NVENCAPI UnlockBitstream(void* encoder, NV_ENC_OUTPUT_PTR buffer) {
  return OnSession(Call::nvEncUnlockBitstream, encoder,
                   [&](EncodeSession& s) { return s.UnlockBitstream(buffer); });
}

NVENCSTATUS NVENCAPI DestroyEncoder(void* encoder) {
  if (const int32_t failure = EnterCall(Call::nvEncDestroyEncoder, g_config)) {
    return static_cast<NVENCSTATUS>(failure);
  }
  if (g_sessions.erase(encoder) == 0) return NV_ENC_ERR_INVALID_ENCODERDEVICE;
  --Record().liveSessions;
  return NV_ENC_SUCCESS;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  if (reason == DLL_PROCESS_DETACH) UnmapRecord();
  return TRUE;
}

extern "C" {

NVENCSTATUS NVENCAPI NvEncodeAPIGetMaxSupportedVersion(uint32_t* version) {
  g_config = ReadConfigFromEnvironment();
  if (const int32_t failure = EnterCall(Call::NvEncodeAPIGetMaxSupportedVersion, g_config)) {
    return static_cast<NVENCSTATUS>(failure);
  }
  if (version == nullptr) return NV_ENC_ERR_INVALID_PTR;
  *version = g_config.maxVersion;
  return NV_ENC_SUCCESS;
}

NVENCSTATUS NVENCAPI NvEncodeAPICreateInstance(NV_ENCODE_API_FUNCTION_LIST* list) {
  g_config = ReadConfigFromEnvironment();
  if (const int32_t failure = EnterCall(Call::NvEncodeAPICreateInstance, g_config)) {
    return static_cast<NVENCSTATUS>(failure);
  }
  if (list == nullptr) return NV_ENC_ERR_INVALID_PTR;
  // A driver older than 7.0 does not know this list's version.
  if (list->version != NV_ENCODE_API_FUNCTION_LIST_VER || g_config.maxVersion < 0x70) {
    return NV_ENC_ERR_INVALID_VERSION;
  }
  list->nvEncOpenEncodeSessionEx = OpenEncodeSessionEx;
  list->nvEncGetEncodePresetConfig = GetEncodePresetConfig;
  list->nvEncInitializeEncoder = InitializeEncoder;
  list->nvEncCreateInputBuffer = CreateInputBuffer;
  list->nvEncDestroyInputBuffer = DestroyInputBuffer;
  list->nvEncCreateBitstreamBuffer = CreateBitstreamBuffer;
  list->nvEncDestroyBitstreamBuffer = DestroyBitstreamBuffer;
  list->nvEncRegisterAsyncEvent = RegisterAsyncEvent;
  list->nvEncUnregisterAsyncEvent = UnregisterAsyncEvent;
  list->nvEncGetSequenceParams = GetSequenceParams;
  list->nvEncLockInputBuffer = LockInputBuffer;
  list->nvEncUnlockInputBuffer = UnlockInputBuffer;
  list->nvEncEncodePicture = EncodePicture;
  list->nvEncLockBitstream = LockBitstream;
  list->nvEncUnlockBitstream = UnlockBitstream;
  list->nvEncDestroyEncoder = DestroyEncoder;
  return NV_ENC_SUCCESS;
}

}  // extern "C"
