#include "Base64.h"
#include "EncryptDecrypt.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

const unsigned char* u(const char* s)
{
    return reinterpret_cast<const unsigned char*>(s);
}

TEST(CBase64, EncodesWholeAndPartialGroups)
{
    unsigned char out[16];
    EXPECT_EQ(CBase64::encode_base64(u("abc"), out, 3), 4u);
    EXPECT_STREQ(reinterpret_cast<char*>(out), "YWJj");
    EXPECT_EQ(CBase64::encode_base64(u("a"), out, 1), 4u);
    EXPECT_STREQ(reinterpret_cast<char*>(out), "YQ==");
    EXPECT_EQ(CBase64::encode_base64(u("ab"), out, 2), 4u);
    EXPECT_STREQ(reinterpret_cast<char*>(out), "YWI=");
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(CBase64::encode_base64(u(""), out, 0), 0u);
    EXPECT_EQ(out[0], 'x'); // nothing written
}

TEST(CBase64, DecodesWholeQuartetsOnly)
{
    unsigned char out[16];
    EXPECT_EQ(CBase64::decode_base64(u("YWJjYW"), out, 6), 3u); // the trailing "YW" is ignored
    EXPECT_STREQ(reinterpret_cast<char*>(out), "abc");
    // '=' counts as 0 and still yields three bytes.
    EXPECT_EQ(CBase64::decode_base64(u("YQ=="), out, 4), 3u);
    EXPECT_EQ(out[0], 'a');
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 0);
    // Bytes above 0x7f are outside the alphabet: 0, never a read past the table.
    EXPECT_EQ(CBase64::decode_base64(u("\xff\xfe\x80\x81"), out, 4), 3u);
    EXPECT_EQ(out[0] | out[1] | out[2], 0);
    // The sized form refuses a target without room for the bytes and the NUL.
    unsigned char small[3] = {'s', 's', 's'};
    EXPECT_EQ(CBase64::decode_base64(u("YWJj"), small, 4, sizeof small), 0u);
    EXPECT_EQ(small[0], 's');
    EXPECT_EQ(CBase64::decode_base64(u("YWJj"), out, 4, 4), 3u);
}

TEST(CEncryptDecrypt, FactoryGivesBase64AndRsaOnly)
{
    CEncryptDecrypt factory;
    for (const int type : {0, 3, -1})
        EXPECT_EQ(factory.GetInstance(type), nullptr) << type;
    std::unique_ptr<CEncryptDecrypt> base64(factory.GetInstance(1));
    EXPECT_NE(dynamic_cast<CBase64*>(base64.get()), nullptr);
    std::unique_ptr<CEncryptDecrypt> rsa(factory.GetInstance(2));
    ASSERT_NE(rsa, nullptr);
    EXPECT_EQ(dynamic_cast<CBase64*>(rsa.get()), nullptr);

    unsigned char* out = nullptr;
    EXPECT_EQ(base64->GetEncryptData(u("user|4"), &out, 6, 1, 4), 8);
    EXPECT_STREQ(reinterpret_cast<char*>(out), "dXNlcnw0");
    delete[] out;
    EXPECT_EQ(base64->GetEncryptData(u(""), &out, 0, 1, 4), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(out), "");
    delete[] out;
}

// The test broker's private half of key 1, when the build uses its keys.
std::string decryptWithKey1(const std::string& cipher)
{
    std::FILE* file = std::fopen(VX_RSA_KEY1_PRIVATE, "r");
    if (!file)
        return "<no private key>";
    EVP_PKEY* key = PEM_read_PrivateKey(file, nullptr, nullptr, nullptr);
    std::fclose(file);
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> keyGuard(key, EVP_PKEY_free);
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(key, nullptr), EVP_PKEY_CTX_free);
    if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) <= 0
        || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0)
        return "<bad private key>";
    size_t size = cipher.size();
    std::string plain(size, '\0');
    if (EVP_PKEY_decrypt(ctx.get(), reinterpret_cast<unsigned char*>(plain.data()), &size,
                         reinterpret_cast<const unsigned char*>(cipher.data()), cipher.size())
        <= 0)
        return "<decrypt failed>";
    plain.resize(size);
    return plain;
}

class RsaEncoder : public ::testing::Test {
protected:
    // Returns the encoder's result; the text in text.
    int encrypt(const std::string& plain, short key, short prefix, std::string& text)
    {
        unsigned char* out = reinterpret_cast<unsigned char*>(&m_sentinel);
        const int rc = m_rsa->GetEncryptData(u(plain.c_str()), &out, 0, key, prefix);
        if (rc < 0) {
            EXPECT_EQ(out, nullptr) << "a failure leaves no text to send";
            return rc;
        }
        text = reinterpret_cast<char*>(out);
        delete[] out;
        return rc;
    }
    std::unique_ptr<CEncryptDecrypt> m_rsa{CEncryptDecrypt().GetInstance(2)};
    char m_sentinel = 0;
};

TEST_F(RsaEncoder, KeyOneGivesPrefixedBase64LinesThatDecryptToTheText)
{
    const std::string plain = "1001|AB123|4|session|NSE|BUY|100|2500.50";
    std::string text;
    ASSERT_EQ(encrypt(plain, 1, 4, text), 884);
    ASSERT_EQ(text.size(), 886u);
    EXPECT_EQ(text.substr(0, 2), "04");
    // Lines of 64 characters, every one of them (the last one of 24 too)
    // ended by CR LF.
    std::string base64;
    size_t pos = 2, lines = 0;
    while (pos < text.size()) {
        const size_t end = text.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(end - pos, lines < 13 ? 64u : 24u) << "line " << lines;
        base64 += text.substr(pos, end - pos);
        pos = end + 2;
        ++lines;
    }
    EXPECT_EQ(lines, 14u);

    std::string cipher(base64.size() / 4 * 3 + 1, '\0');
    const unsigned n = CBase64::decode_base64(u(base64.c_str()), reinterpret_cast<unsigned char*>(cipher.data()),
                                              unsigned(base64.size()), cipher.size());
    cipher.resize(640); // 856 characters decode to 642 bytes; the last two are the fill
    ASSERT_EQ(n, 642u);
    if (std::FILE* f = std::fopen(VX_RSA_KEY1_PRIVATE, "r"))
        std::fclose(f);
    else
        GTEST_SKIP() << "no private key for the configured key 1";
    EXPECT_EQ(decryptWithKey1(cipher), plain);
}

TEST_F(RsaEncoder, LimitsAndBadSelectors)
{
    std::string text;
    EXPECT_EQ(encrypt(std::string(629, 'a'), 1, 12, text), 884);
    EXPECT_EQ(text.substr(0, 2), "12");
    EXPECT_EQ(encrypt(std::string(630, 'a'), 1, 4, text), -7);
    EXPECT_EQ(encrypt("x", 3, 4, text), -1);
    EXPECT_EQ(encrypt("x", 0, 4, text), -1);
    // Key 2: 1024 bits, 128-byte cipher text, 172 characters in 3 lines.
    EXPECT_EQ(encrypt(std::string(117, 'b'), 2, 4, text), 178);
    EXPECT_EQ(text.size(), 180u);
    EXPECT_EQ(encrypt(std::string(118, 'b'), 2, 4, text), -7);
}

} // namespace
