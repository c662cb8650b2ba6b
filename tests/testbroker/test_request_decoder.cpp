// Request bodies of every encryption type back to their texts.
#include "RequestDecoder.h"
#include "RawClient.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace tbtest {

// What the terminal sends for type 2: "%02d" prefix, then the Base64 of the
// PKCS#1 v1.5 ciphertext in 64-character lines, each ended by CR LF.
std::string rsaBody(const std::string& text, const std::string& publicPemPath, int prefix)
{
    FILE* f = std::fopen(publicPemPath.c_str(), "r");
    if (!f)
        return {};
    EVP_PKEY* key = PEM_read_PUBKEY(f, nullptr, nullptr, nullptr);
    std::fclose(f);
    if (!key)
        return {};
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
    std::string cipher(static_cast<size_t>(EVP_PKEY_get_size(key)), '\0');
    size_t len = cipher.size();
    const bool ok = EVP_PKEY_encrypt_init(ctx) > 0 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) > 0
        && EVP_PKEY_encrypt(ctx, reinterpret_cast<unsigned char*>(cipher.data()), &len,
                            reinterpret_cast<const unsigned char*>(text.data()), text.size())
            > 0;
    EVP_PKEY_CTX_free(ctx);
    EVP_PKEY_free(key);
    if (!ok)
        return {};
    cipher.resize(len);
    const std::string b64 = tb::base64Encode(cipher);
    char head[16];
    std::snprintf(head, sizeof head, "%02d", prefix);
    std::string out = head;
    for (size_t i = 0; i < b64.size(); i += 64)
        out += b64.substr(i, 64) + "\r\n";
    return out;
}

} // namespace tbtest

namespace test_request_decoder {

namespace {

TEST(Base64, KnownVectorsBothWays)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}, {"\xfb\xff", "+/8="}};
    for (const auto& [plain, encoded] : cases) {
        EXPECT_EQ(tb::base64Encode(plain), encoded);
        bool ok = false;
        EXPECT_EQ(tb::base64Decode(encoded, &ok), plain);
        EXPECT_TRUE(ok) << encoded;
    }
    bool ok = true;
    tb::base64Decode("Zm9", &ok);
    EXPECT_FALSE(ok);
    tb::base64Decode("Z=9v", &ok);
    EXPECT_FALSE(ok);
}

TEST(RequestDecoder, DetectsPlainAndBase64AndStripsTheTrailingNul)
{
    tb::RequestDecoder d;
    const std::string text = "LoginData=3000|U1|+SWRbidU5eA/dd1YpXMyUQ==|4|127.0.0.1|242||MRT382QJ|1|VX_1_x&SecDate=0";
    const tb::DecodedBody plain = d.decode(text + std::string(1, '\0'));
    EXPECT_EQ(plain.encryption, 0);
    EXPECT_EQ(plain.text, text);

    const tb::DecodedBody b64 = d.decode(tb::base64Encode(text) + std::string(1, '\0'));
    EXPECT_EQ(b64.encryption, 1);
    EXPECT_EQ(b64.text, text);

    const tb::DecodedBody junk = d.decode("@@@@");
    EXPECT_EQ(junk.encryption, -1);
}

TEST(RequestDecoder, DecryptsRsaWithEitherTestKey)
{
    tb::RequestDecoder d;
    ASSERT_TRUE(d.addPrivateKeyFile(TB_KEYS_DIR "/rsa1_private.pem"));
    ASSERT_TRUE(d.addPrivateKeyFile(TB_KEYS_DIR "/rsa2_private.pem"));
    const std::string text = "LoginData=1001|U1|SESS0001|4";

    const std::string body1 = tbtest::rsaBody(text, TB_KEYS_DIR "/rsa1_public.pem");
    // Key 1 is 5120 bits: 640 bytes, 856 Base64 characters in 14 lines, 886 in all.
    ASSERT_EQ(body1.size(), 886u);
    const tb::DecodedBody r1 = d.decode(body1 + std::string(1, '\0'));
    EXPECT_EQ(r1.encryption, 2);
    EXPECT_EQ(r1.text, text);

    const tb::DecodedBody r2 = d.decode(tbtest::rsaBody(text, TB_KEYS_DIR "/rsa2_public.pem"));
    EXPECT_EQ(r2.encryption, 2);
    EXPECT_EQ(r2.text, text);

    std::string broken = body1;
    broken[10] = broken[10] == 'A' ? 'B' : 'A';
    const tb::DecodedBody bad = d.decode(broken);
    EXPECT_NE(bad.text, text);
}

TEST(RequestText, SplitsKeywordFieldsAndItems)
{
    const tb::RequestText login = tb::splitRequest("LoginData=3000|U1|ab+/==|4&SecDate=08122026");
    EXPECT_EQ(login.key(), "LoginData=3000");
    ASSERT_EQ(login.fields.size(), 4u);
    EXPECT_EQ(login.fields[2], "ab+/==");
    EXPECT_EQ(login.items.at("SecDate"), "08122026");

    const tb::RequestText feed = tb::splitRequest("201|127.0.0.1|h|17002|U1|0|2|2819,3047,");
    EXPECT_EQ(feed.key(), "201");
    EXPECT_EQ(feed.fields.size(), 8u);

    const tb::RequestText snap = tb::splitRequest("action=L&token=2819");
    EXPECT_EQ(snap.key(), "action=L");
    EXPECT_EQ(snap.items.at("token"), "2819");
}

} // namespace

} // namespace test_request_decoder
