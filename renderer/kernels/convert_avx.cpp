#include "row_kernels.h"
#include "simd_rows.h"

// The 128-bit kernels again, VEX encoded.
namespace pixora::kernels::rows {

void Yuy2ToBgr24Row_AVX(const uint8_t* src, uint8_t* dst, int width) {
  ConvertYuy2Row<__m128i>(src, dst, width);
}

void Bgr24ToYuy2Row_AVX(const uint8_t* src, uint8_t* dst, int width) {
  ConvertBgr24Row(src, dst, width);
}

void Nv12ToBgr24Row_AVX(const uint8_t* luma, const uint8_t* chroma, uint8_t* dst, int width) {
  ConvertNv12Row<__m128i>(luma, chroma, dst, width);
}

}  // namespace pixora::kernels::rows
