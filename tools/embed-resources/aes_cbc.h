#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vextra::embed {

// AES-256-CBC with PKCS#7 padding through OpenSSL's EVP interface. Both raise
// std::runtime_error on any failure (a wrong key shows as a padding failure when deciphering).
std::vector<uint8_t> encipher(std::span<const uint8_t> plain, std::span<const uint8_t, 32> key,
                              std::span<const uint8_t, 16> iv);
std::vector<uint8_t> decipher(std::span<const uint8_t> cipher, std::span<const uint8_t, 32> key,
                              std::span<const uint8_t, 16> iv);

}  // namespace vextra::embed
