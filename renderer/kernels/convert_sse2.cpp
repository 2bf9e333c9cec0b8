#include "row_kernels.h"

// Placeholder until the vector code lands: forwards to the generic rows.
namespace pixora::kernels::rows {
void Yuy2ToBgr24Row_SSE2(const uint8_t* src, uint8_t* dst, int width) { Yuy2ToBgr24Row_Generic(src, dst, width); }
void Bgr24ToYuy2Row_SSE2(const uint8_t* src, uint8_t* dst, int width) { Bgr24ToYuy2Row_Generic(src, dst, width); }
}  // namespace pixora::kernels::rows
