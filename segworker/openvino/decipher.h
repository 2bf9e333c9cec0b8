#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mivra::foreground_detection::openvino {

// AES-256-CBC with PKCS#7 padding; key is 32 bytes, iv 16. Empty on any failure (a wrong key
// nearly always shows as bad padding).
std::vector<uint8_t> decipherResource(const uint8_t* bytes, std::size_t length, const uint8_t* key,
                                      const uint8_t* iv);

}  // namespace mivra::foreground_detection::openvino
