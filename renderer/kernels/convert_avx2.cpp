#include "row_kernels.h"

// Placeholder until the vector code lands: forwards to the generic rows.
namespace pixora::kernels::rows {
void Yuy2ToBgr24Row_AVX2(const uint8_t* src, uint8_t* dst, int width) { Yuy2ToBgr24Row_Generic(src, dst, width); }
void Nv12ToBgr24Row_AVX2(const uint8_t* luma, const uint8_t* chroma, uint8_t* dst, int width) { Nv12ToBgr24Row_Generic(luma, chroma, dst, width); }
void Bgr32ToBgr24Row_AVX2(const uint8_t* src, uint8_t* dst, int width) { Bgr32ToBgr24Row_Generic(src, dst, width); }
}  // namespace pixora::kernels::rows
