#include "pf/rsa_seal.h"

#include "pf/base64.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <memory>

namespace {

// A fresh key pair for the run; the public half as the one-line PEM text the
// encoder is given.
struct KeyPair {
    explicit KeyPair(unsigned bits) : key(EVP_RSA_gen(bits), EVP_PKEY_free)
    {
        unsigned char* der = nullptr;
        const int length = i2d_PUBKEY(key.get(), &der);
        publicPem = "-----BEGIN PUBLIC KEY-----"
                    + pf::base64Encode(std::span<const uint8_t>(der, size_t(length)))
                    + "-----END PUBLIC KEY-----";
        OPENSSL_free(der);
    }
    std::string decrypt(const std::vector<uint8_t>& cipher) const
    {
        std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(key.get(), nullptr),
                                                                        EVP_PKEY_CTX_free);
        EVP_PKEY_decrypt_init(ctx.get());
        EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING);
        size_t size = cipher.size();
        std::string out(size, '\0');
        if (EVP_PKEY_decrypt(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &size, cipher.data(),
                             cipher.size())
            <= 0)
            return "<decrypt failed>";
        out.resize(size);
        return out;
    }
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key;
    std::string publicPem;
};

const KeyPair& key1024()
{
    static const KeyPair pair(1024);
    return pair;
}

TEST(RsaSeal, SealedTextDecryptsWithThePrivateKeyUpToTheLimit)
{
    const KeyPair& pair = key1024();
    EXPECT_EQ(pf::RsaSeal::modulusBytes(pair.publicPem), 128);
    for (const size_t length : {size_t(0), size_t(1), size_t(116), size_t(117)}) {
        const std::string text(length, 'a' + char(length % 26));
        std::vector<uint8_t> cipher;
        ASSERT_EQ(pf::RsaSeal::seal(pair.publicPem, text, cipher), pf::RsaSeal::Ok) << length;
        ASSERT_EQ(cipher.size(), 128u);
        EXPECT_EQ(pair.decrypt(cipher), text) << length;
    }
    std::vector<uint8_t> cipher{1, 2, 3};
    EXPECT_EQ(pf::RsaSeal::seal(pair.publicPem, std::string(118, 'x'), cipher), pf::RsaSeal::EncryptFailed);
    EXPECT_TRUE(cipher.empty());
}

TEST(RsaSeal, BrokenKeysGiveTheirStepsCode)
{
    const std::string& good = key1024().publicPem;
    const std::string body = good.substr(26, good.size() - 26 - 24);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> ec(EVP_EC_gen("P-256"), EVP_PKEY_free);
    unsigned char* der = nullptr;
    const int length = i2d_PUBKEY(ec.get(), &der);
    const std::string ecPem = "-----BEGIN PUBLIC KEY-----"
                              + pf::base64Encode(std::span<const uint8_t>(der, size_t(length)))
                              + "-----END PUBLIC KEY-----";
    OPENSSL_free(der);

    const struct {
        const char* name;
        std::string pem;
        int expected;
    } cases[] = {
        {"empty", "", pf::RsaSeal::NoKey},
        {"no armour", body, pf::RsaSeal::NoKey},
        {"not base64", "-----BEGIN PUBLIC KEY-----@@@@-----END PUBLIC KEY-----", pf::RsaSeal::BadKeyText},
        {"not a key", "-----BEGIN PUBLIC KEY-----" + pf::base64Encode(std::span<const uint8_t>(
                          reinterpret_cast<const uint8_t*>("hello world!"), 12)) + "-----END PUBLIC KEY-----",
         pf::RsaSeal::BadKeyInfo},
        {"not rsa", ecPem, pf::RsaSeal::BadKey},
        {"wrapped in lines", "-----BEGIN PUBLIC KEY-----\n" + body.substr(0, 64) + "\n" + body.substr(64)
                                 + "\n-----END PUBLIC KEY-----\n",
         pf::RsaSeal::Ok},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> cipher;
        EXPECT_EQ(pf::RsaSeal::seal(c.pem, "text", cipher), c.expected) << c.name;
    }
}

} // namespace
