#include "decipher.h"

#include <openssl/evp.h>

#include <climits>
#include <memory>

namespace mivra::foreground_detection::openvino {

namespace {

struct CipherContextFree {
  void operator()(EVP_CIPHER_CTX* context) const noexcept { EVP_CIPHER_CTX_free(context); }
};

}  // namespace

std::vector<uint8_t> decipherResource(const uint8_t* bytes, std::size_t length, const uint8_t* key,
                                      const uint8_t* iv) {
  // The update call counts in int.
  if (length > std::size_t(INT_MAX) - 32) return {};
  const std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> context(EVP_CIPHER_CTX_new());
  if (!context) return {};
  if (EVP_DecryptInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, key, iv) != 1) return {};
  try {
    std::vector<uint8_t> plain(length + std::size_t(EVP_CIPHER_CTX_block_size(context.get())), 0);
    int first = 0;
    if (EVP_DecryptUpdate(context.get(), plain.data(), &first, bytes, int(length)) != 1) return {};
    int second = 0;
    if (EVP_DecryptFinal_ex(context.get(), plain.data() + first, &second) != 1) return {};
    plain.resize(std::size_t(first) + std::size_t(second));
    return plain;
  } catch (const std::bad_alloc&) {
    return {};
  }
}

}  // namespace mivra::foreground_detection::openvino
