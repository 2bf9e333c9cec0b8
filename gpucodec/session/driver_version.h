#pragma once

#include <windows.h>

#include <cstdint>

#include "nv_encode_api.h"

namespace gpucodec {

// The encode interface version a loaded "nvEncodeAPI.dll" supports, as major x 16 + minor.
// Answers 0 and sets version, GPUCODEC_ERR_API_GPUCODECODEAPIGETMAXSUPPORTEDVERSION_NOT_FOUND
// when the library lacks the entry point, or
// GPUCODEC_ERR_API_CURRENT_DRIVER_VERSION_IS_NOT_SUPPORTED when the call fails.
int32_t ReadDriverVersion(HMODULE library, uint32_t& version);

// The lowest version CheckAccelerationSupport reports as accelerated, and the version a
// session needs.
inline constexpr uint32_t kAccelerationDriverVersion = 0x60;
inline constexpr uint32_t kSessionDriverVersion =
    (NVENCAPI_MAJOR_VERSION << 4) | NVENCAPI_MINOR_VERSION;

}  // namespace gpucodec
