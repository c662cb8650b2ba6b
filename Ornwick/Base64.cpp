#include "Base64.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Every byte value has an entry, so no input byte reads outside the table;
// bytes outside the alphabet decode as 0. Built at compile time, so threads
// never race on it.
constexpr std::array<uint8_t, 256> makeDecodeTable()
{
    std::array<uint8_t, 256> table{};
    for (int i = 0; i < 64; ++i)
        table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<uint8_t>(i);
    return table;
}

constexpr auto kDecode = makeDecodeTable();

} // namespace

CBase64::~CBase64() = default;

unsigned int CBase64::encode_base64(const unsigned char* source, unsigned char* target, unsigned int length)
{
    if (length == 0 || !source || !target)
        return 0;
    unsigned int out = 0;
    unsigned int i = 0;
    for (; i + 3 <= length; i += 3) {
        const unsigned b0 = source[i], b1 = source[i + 1], b2 = source[i + 2];
        target[out++] = kAlphabet[b0 >> 2];
        target[out++] = kAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
        target[out++] = kAlphabet[((b1 & 15) << 2) | (b2 >> 6)];
        target[out++] = kAlphabet[b2 & 63];
    }
    if (i < length) {
        const unsigned b0 = source[i];
        const unsigned b1 = i + 1 < length ? source[i + 1] : 0;
        target[out++] = kAlphabet[b0 >> 2];
        target[out++] = kAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
        target[out++] = i + 1 < length ? kAlphabet[(b1 & 15) << 2] : '=';
        target[out++] = '=';
    }
    target[out] = '\0';
    return out;
}

unsigned int CBase64::decode_base64(const unsigned char* source, unsigned char* target, unsigned int length)
{
    if (length == 0 || !source || !target)
        return 0;
    const unsigned int quartets = length / 4;
    for (unsigned int q = 0; q < quartets; ++q) {
        const unsigned d0 = kDecode[source[4 * q]], d1 = kDecode[source[4 * q + 1]];
        const unsigned d2 = kDecode[source[4 * q + 2]], d3 = kDecode[source[4 * q + 3]];
        target[3 * q] = static_cast<unsigned char>((d0 << 2) + ((d1 >> 4) & 3));
        target[3 * q + 1] = static_cast<unsigned char>((d1 << 4) + ((d2 >> 2) & 15));
        target[3 * q + 2] = static_cast<unsigned char>((d2 << 6) + d3);
    }
    target[quartets * 3] = '\0';
    return quartets * 3;
}

unsigned int CBase64::decode_base64(const unsigned char* source, unsigned char* target, unsigned int length,
                                    std::size_t targetSize)
{
    if (std::size_t(DecodedSize(length)) + 1 > targetSize)
        return 0;
    return decode_base64(source, target, length);
}

int CBase64::GetEncryptData(const unsigned char* text, unsigned char** output, int length, short, short)
{
    if (!output)
        return -1;
    const unsigned int count = length > 0 ? static_cast<unsigned int>(length) : 0;
    std::size_t size = count == 0 ? 513 : std::size_t(2) * count + 1;
    if (size < std::size_t(EncodedSize(count)) + 1)
        size = std::size_t(EncodedSize(count)) + 1;
    auto* buffer = new unsigned char[size];
    buffer[0] = '\0';
    const unsigned int written = text ? encode_base64(text, buffer, count) : 0;
    *output = buffer;
    return int(written);
}
