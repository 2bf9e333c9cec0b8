#include "aes_cbc.h"

#include <climits>
#include <memory>
#include <stdexcept>
#include <string>

#include <openssl/evp.h>

namespace vextra::embed {

namespace {

void check(int rc, const char* call) {
    if (rc != 1)
        throw std::runtime_error(std::string("OpenSSL ") + call + " failed");
}

using Context = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

std::vector<uint8_t> run(bool encrypt, std::span<const uint8_t> in, std::span<const uint8_t, 32> key,
                         std::span<const uint8_t, 16> iv) {
    if (in.size() > size_t(INT_MAX) - 32)
        throw std::runtime_error("input too large to encipher in one call");
    Context ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (!ctx)
        throw std::runtime_error("OpenSSL EVP_CIPHER_CTX_new failed");
    check(EVP_CipherInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv.data(), encrypt ? 1 : 0),
          "EVP_CipherInit_ex");
    std::vector<uint8_t> out(in.size() + size_t(EVP_CIPHER_CTX_block_size(ctx.get())));
    int first = 0, second = 0;
    check(EVP_CipherUpdate(ctx.get(), out.data(), &first, in.data(), int(in.size())), "EVP_CipherUpdate");
    check(EVP_CipherFinal_ex(ctx.get(), out.data() + first, &second), "EVP_CipherFinal_ex");
    out.resize(size_t(first) + size_t(second));
    return out;
}

}  // namespace

std::vector<uint8_t> encipher(std::span<const uint8_t> plain, std::span<const uint8_t, 32> key,
                              std::span<const uint8_t, 16> iv) {
    return run(true, plain, key, iv);
}

std::vector<uint8_t> decipher(std::span<const uint8_t> cipher, std::span<const uint8_t, 32> key,
                              std::span<const uint8_t, 16> iv) {
    return run(false, cipher, key, iv);
}

}  // namespace vextra::embed
