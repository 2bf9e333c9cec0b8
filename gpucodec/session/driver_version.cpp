#include "driver_version.h"

#include "gpucodec.h"
#include "nv_encode_api.h"
#include "win_handles.h"

namespace gpucodec {

int32_t ReadDriverVersion(HMODULE library, uint32_t& version) {
  auto maxVersion = LibraryExport<PNVENCODEAPIGETMAXSUPPORTEDVERSION>(
      library, "NvEncodeAPIGetMaxSupportedVersion");
  if (!maxVersion) return GPUCODEC_ERR_API_GPUCODECODEAPIGETMAXSUPPORTEDVERSION_NOT_FOUND;
  version = 0;
  if (maxVersion(&version) != NV_ENC_SUCCESS) {
    return GPUCODEC_ERR_API_CURRENT_DRIVER_VERSION_IS_NOT_SUPPORTED;
  }
  return GPUCODEC_ERR_NONE;
}

}  // namespace gpucodec
