#pragma once

// Our declarations of the CUDA driver calls the plug-in makes. The plug-in links the driver
// library at load time; the exported names are the `_v2` forms where the driver has them.

#include <cstdint>

#define CUDAAPI __stdcall

using CUresult = int32_t;
using CUdevice = int32_t;
using CUcontext = struct CUctx_st*;

constexpr CUresult CUDA_SUCCESS = 0;
constexpr CUresult CUDA_ERROR_INVALID_VALUE = 1;
constexpr CUresult CUDA_ERROR_OUT_OF_MEMORY = 2;
constexpr CUresult CUDA_ERROR_NOT_INITIALIZED = 3;
constexpr CUresult CUDA_ERROR_NO_DEVICE = 100;
constexpr CUresult CUDA_ERROR_INVALID_DEVICE = 101;
constexpr CUresult CUDA_ERROR_INVALID_CONTEXT = 201;

extern "C" {
CUresult CUDAAPI cuInit(unsigned int flags);
CUresult CUDAAPI cuDeviceGetCount(int* count);
CUresult CUDAAPI cuDeviceGet(CUdevice* device, int ordinal);
CUresult CUDAAPI cuDeviceComputeCapability(int* major, int* minor, CUdevice device);
CUresult CUDAAPI cuDeviceGetName(char* name, int length, CUdevice device);
CUresult CUDAAPI cuCtxCreate_v2(CUcontext* context, unsigned int flags, CUdevice device);
CUresult CUDAAPI cuCtxPopCurrent_v2(CUcontext* context);
CUresult CUDAAPI cuCtxPushCurrent_v2(CUcontext context);
CUresult CUDAAPI cuCtxDestroy_v2(CUcontext context);
}
