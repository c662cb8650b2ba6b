#include "app/base/Md5.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string hex(const Md5::Digest& d)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : d) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

const char* const kAlnum = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
const char* const kDigits80 =
    "12345678901234567890123456789012345678901234567890123456789012345678901234567890";

} // namespace

TEST(Md5, Rfc1321Suite)
{
    struct Case {
        const char* text;
        const char* digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {kAlnum, "d174ab98d277d9f5a5611c2c9f419d9f"},
        {kDigits80, "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hex(Md5::of(c.text)), c.digest) << c.text;
}

TEST(Md5, PiecewiseUpdatesGiveTheSameDigest)
{
    // Splits around the 64-byte block and the 56-byte padding boundary.
    const std::string text = std::string(kDigits80) + kAlnum + kDigits80;
    const Md5::Digest whole = Md5::of(text);
    for (size_t first : {1u, 55u, 56u, 63u, 64u, 65u, 120u, 128u}) {
        Md5 md5;
        md5.update(text.data(), first);
        md5.update(text.data() + first, text.size() - first);
        EXPECT_EQ(md5.final(), whole) << first;
    }
}

TEST(Md5, HashPasswordGivesTheBase64DigestText)
{
    struct Case {
        const char* text;
        const char* digestText;
    } cases[] = {
        {"", "1B2M2Y8AsgTpgAmY7PhCfg=="},
        {"a", "DMF1ucDxtqgxw5niaXcmYQ=="},
        {"abc", "kAFQmDzST7DWlj99KOF/cg=="},
        {"message digest", "+WtpfXy3k41SWi8xqvFh0A=="},
        {"abcdefghijklmnopqrstuvwxyz", "w/zT12GS5AB9+0lsymfhOw=="},
        {kAlnum, "0XSrmNJ32fWlYRwsn0Gdnw=="},
    };
    for (const auto& c : cases) {
        std::string out = "stale";
        EXPECT_TRUE(HashPassword(c.text, out)) << c.text;
        EXPECT_EQ(out, c.digestText) << c.text;
    }
}

TEST(Md5, HashPasswordRefusesTextsPastTheLimit)
{
    std::string out;
    for (size_t length : {62u, 63u}) {
        EXPECT_TRUE(HashPassword(std::string(length, 'x'), out)) << length;
        EXPECT_EQ(out, DigestBase64(Md5::of(std::string(length, 'x')))) << length;
        EXPECT_EQ(out.size(), 24u);
        EXPECT_EQ(out.substr(22), "==");
    }

    out = "stale";
    EXPECT_FALSE(HashPassword(std::string(64, 'x'), out));
    EXPECT_EQ(out, "");
}
