#include "pf/base64.h"

#include <gtest/gtest.h>

namespace {

std::span<const uint8_t> bytes(std::string_view s)
{
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

TEST(Base64, EncodesAndDecodesTheStandardVectors)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"}, {"\xff\xfe\xfd", "//79"},
    };
    for (const auto& [plain, encoded] : cases) {
        EXPECT_EQ(pf::base64Encode(bytes(plain)), encoded) << plain;
        const auto decoded = pf::base64Decode(encoded);
        ASSERT_TRUE(decoded) << encoded;
        EXPECT_EQ(std::string(decoded->begin(), decoded->end()), plain);
    }
}

TEST(Base64, DecodeSkipsLineBreaksAndRejectsJunk)
{
    const auto decoded = pf::base64Decode("Zm9v\r\nYmFy\n");
    ASSERT_TRUE(decoded);
    EXPECT_EQ(std::string(decoded->begin(), decoded->end()), "foobar");
    for (const char* bad : {"Zm9", "Zm9v!", "Zg==Zg==", "Z===", "Zm\x80v", "=Zm9"})
        EXPECT_FALSE(pf::base64Decode(bad)) << bad;
}

TEST(Base64, LinesEndEveryLineIncludingTheLast)
{
    const std::string data(100, 'x'); // 136 characters: lines of 64, 64 and 8
    const std::string text = pf::base64Lines(bytes(data), 64, "\r\n");
    ASSERT_EQ(text.size(), 136u + 3 * 2);
    EXPECT_EQ(text.substr(64, 2), "\r\n");
    EXPECT_EQ(text.substr(130, 2), "\r\n");
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    // Exactly one full line: a single line end.
    EXPECT_EQ(pf::base64Lines(bytes(std::string(48, 'y')), 64, "\r\n").size(), 66u);
}

} // namespace
