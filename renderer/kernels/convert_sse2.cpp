#include "row_kernels.h"
#include "simd_rows.h"

namespace pixora::kernels::rows {

void Yuy2ToBgr24Row_SSE2(const uint8_t* src, uint8_t* dst, int width) {
  ConvertYuy2Row<__m128i>(src, dst, width);
}

void Bgr24ToYuy2Row_SSE2(const uint8_t* src, uint8_t* dst, int width) {
  ConvertBgr24Row(src, dst, width);
}

}  // namespace pixora::kernels::rows
