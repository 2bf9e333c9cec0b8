#include "row_kernels.h"
#include "simd_rows.h"

namespace pixora::kernels::rows {

void Yuy2ToBgr24Row_AVX2(const uint8_t* src, uint8_t* dst, int width) {
  ConvertYuy2Row<__m256i>(src, dst, width);
}

void Nv12ToBgr24Row_AVX2(const uint8_t* luma, const uint8_t* chroma, uint8_t* dst, int width) {
  ConvertNv12Row<__m256i>(luma, chroma, dst, width);
}

void Bgr32ToBgr24Row_AVX2(const uint8_t* src, uint8_t* dst, int width) {
  ConvertBgr32Row<__m256i>(src, dst, width);
}

}  // namespace pixora::kernels::rows
