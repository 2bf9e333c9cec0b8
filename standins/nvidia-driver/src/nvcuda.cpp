// The CUDA driver library stand-in: a list of devices, contexts that can be made current on
// the calling thread, and nothing else.

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "cuda_driver_api.h"
#include "record_section.h"

using namespace nvstandin;

struct CUctx_st {
  CUdevice device;
};

namespace {

StandinConfig g_config;
bool g_initialized = false;
std::set<CUcontext> g_contexts;
thread_local std::vector<CUcontext> t_current;

// Every call but cuInit needs cuInit first, as the driver's do.
CUresult Enter(Call call) {
  if (const int32_t failure = EnterCall(call, g_config)) return failure;
  return g_initialized ? CUDA_SUCCESS : CUDA_ERROR_NOT_INITIALIZED;
}

bool ValidDevice(CUdevice device) {
  return device >= 0 && static_cast<size_t>(device) < g_config.devices.size();
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  if (reason == DLL_PROCESS_DETACH) UnmapRecord();
  return TRUE;
}

extern "C" {

CUresult CUDAAPI cuInit(unsigned int flags) {
  g_config = ReadConfigFromEnvironment();
  if (const int32_t failure = EnterCall(Call::cuInit, g_config)) return failure;
  if (flags != 0) return CUDA_ERROR_INVALID_VALUE;
  g_initialized = true;
  return CUDA_SUCCESS;
}

CUresult CUDAAPI cuDeviceGetCount(int* count) {
  if (CUresult result = Enter(Call::cuDeviceGetCount)) return result;
  if (count == nullptr) return CUDA_ERROR_INVALID_VALUE;
  *count = static_cast<int>(g_config.devices.size());
  return CUDA_SUCCESS;
}

CUresult CUDAAPI cuDeviceGet(CUdevice* device, int ordinal) {
  if (CUresult result = Enter(Call::cuDeviceGet)) return result;
  if (device == nullptr) return CUDA_ERROR_INVALID_VALUE;
  if (!ValidDevice(ordinal)) return CUDA_ERROR_INVALID_DEVICE;
  *device = ordinal;
  return CUDA_SUCCESS;
}

CUresult CUDAAPI cuDeviceComputeCapability(int* major, int* minor, CUdevice device) {
  if (CUresult result = Enter(Call::cuDeviceComputeCapability)) return result;
  if (major == nullptr || minor == nullptr) return CUDA_ERROR_INVALID_VALUE;
  if (!ValidDevice(device)) return CUDA_ERROR_INVALID_DEVICE;
  *major = g_config.devices[static_cast<size_t>(device)].major;
  *minor = g_config.devices[static_cast<size_t>(device)].minor;
  return CUDA_SUCCESS;
}

CUresult CUDAAPI cuDeviceGetName(char* name, int length, CUdevice device) {
  if (CUresult result = Enter(Call::cuDeviceGetName)) return result;
  if (name == nullptr || length <= 0) return CUDA_ERROR_INVALID_VALUE;
  if (!ValidDevice(device)) return CUDA_ERROR_INVALID_DEVICE;
  const std::string& text = g_config.devices[static_cast<size_t>(device)].name;
  const size_t chars = std::min(text.size(), static_cast<size_t>(length) - 1);
  std::memcpy(name, text.data(), chars);
  name[chars] = '\0';
  return CUDA_SUCCESS;
}

CUresult CUDAAPI cuCtxCreate_v2(CUcontext* context, unsigned int flags, CUdevice device) {
  if (CUresult result = Enter(Call::cuCtxCreate_v2)) return result;
  if (context == nullptr) return CUDA_ERROR_INVALID_VALUE;
  if (!ValidDevice(device)) return CUDA_ERROR_INVALID_DEVICE;
  CUcontext created = new CUctx_st{device};
  g_contexts.insert(created);
  t_current.push_back(created);  // a new context is current on the creating thread
  StandinRecord& record = Record();
  ++record.liveContexts;
  record.contextFlags = flags;
  record.contextOrdinal = device;
  *context = created;
  return CUDA_SUCCESS;
}

CUresult CUDAAPI cuCtxPopCurrent_v2(CUcontext* context) {
  if (CUresult result = Enter(Call::cuCtxPopCurrent_v2)) return result;
  if (t_current.empty()) return CUDA_ERROR_INVALID_CONTEXT;
  if (context != nullptr) *context = t_current.back();
  t_current.pop_back();
  return CUDA_SUCCESS;
}

CUresult CUDAAPI cuCtxPushCurrent_v2(CUcontext context) {
  if (CUresult result = Enter(Call::cuCtxPushCurrent_v2)) return result;
  if (g_contexts.count(context) == 0) return CUDA_ERROR_INVALID_CONTEXT;
  t_current.push_back(context);
  return CUDA_SUCCESS;
}

CUresult CUDAAPI cuCtxDestroy_v2(CUcontext context) {
  if (CUresult result = Enter(Call::cuCtxDestroy_v2)) return result;
  if (g_contexts.erase(context) == 0) return CUDA_ERROR_INVALID_CONTEXT;
  t_current.erase(std::remove(t_current.begin(), t_current.end(), context), t_current.end());
  delete context;
  --Record().liveContexts;
  return CUDA_SUCCESS;
}

}  // extern "C"
