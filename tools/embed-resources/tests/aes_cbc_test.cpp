#include <gtest/gtest.h>

#include <stdexcept>

#include "aes_cbc.h"
#include "network_key.h"

namespace {

using vextra::embed::decipher;
using vextra::embed::encipher;
using Bytes = std::vector<uint8_t>;

Bytes fromHex(const std::string& hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// NIST SP 800-38A, F.2.5 (CBC-AES256.Encrypt), first block: catches a swapped key/vector or mode.
TEST(AesCbc, MatchesPublishedVector) {
    const Bytes key = fromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
    const Bytes iv = fromHex("000102030405060708090a0b0c0d0e0f");
    const Bytes plain = fromHex("6bc1bee22e409f96e93d7e117393172a");
    const Bytes cipher = encipher(plain, std::span<const uint8_t, 32>(key.data(), 32), std::span<const uint8_t, 16>(iv.data(), 16));
    ASSERT_EQ(cipher.size(), 32u);  // a whole block of padding follows a whole block
    EXPECT_EQ(Bytes(cipher.begin(), cipher.begin() + 16), fromHex("f58c4c04d6e5f1ba779eabfb5f7bfbd6"));
}

TEST(AesCbc, RoundTripsAndPadsToWholeBlocks) {
    using mivra::foreground_detection::openvino::kNetworkIv;
    using mivra::foreground_detection::openvino::kNetworkKey;
    for (const size_t size : {0u, 1u, 15u, 16u, 17u, 4099u}) {
        SCOPED_TRACE(size);
        Bytes plain(size);
        for (size_t i = 0; i < size; ++i)
            plain[i] = uint8_t(i * 37 + 11);
        const Bytes cipher = encipher(plain, kNetworkKey, kNetworkIv);
        EXPECT_EQ(cipher.size(), (size / 16 + 1) * 16);
        EXPECT_EQ(decipher(cipher, kNetworkKey, kNetworkIv), plain);
    }
}

TEST(AesCbc, WrongKeyOrDamagedCipherNeverGivesThePlainText) {
    using mivra::foreground_detection::openvino::kNetworkIv;
    using mivra::foreground_detection::openvino::kNetworkKey;
    const Bytes plain(100, 0x5a);
    const Bytes cipher = encipher(plain, kNetworkKey, kNetworkIv);
    auto otherKey = kNetworkKey;
    otherKey[0] ^= 1;
    const auto attempt = [&](const Bytes& c, std::span<const uint8_t, 32> k) {
        try {
            return decipher(c, k, kNetworkIv) != plain;
        } catch (const std::runtime_error&) {
            return true;
        }
    };
    EXPECT_TRUE(attempt(cipher, otherKey));
    EXPECT_THROW(decipher(Bytes(cipher.begin(), cipher.end() - 1), kNetworkKey, kNetworkIv), std::runtime_error);
}

}  // namespace
