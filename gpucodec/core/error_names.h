#pragma once

#include <cstdint>

namespace gpucodec {

// The wide-character name of an internal code; "UNKNOWN" outside -30..0.
const wchar_t* ErrorName(int32_t code);

}  // namespace gpucodec
