#include "Base64.h"

#include "pf/base64.h"

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

CBase64::~CBase64() = default;

unsigned int CBase64::encode_base64(const unsigned char* source, unsigned char* target, unsigned int length)
{
    if (length == 0 || !source || !target)
        return 0;
    const std::string text = pf::base64Encode(std::span<const uint8_t>(source, length));
    std::memcpy(target, text.data(), text.size());
    target[text.size()] = '\0';
    return static_cast<unsigned int>(text.size());
}

unsigned int CBase64::decode_base64(const unsigned char* source, unsigned char* target, unsigned int length)
{
    if (length == 0 || !source || !target)
        return 0;
    const std::vector<uint8_t> bytes =
        pf::base64DecodeQuartets(std::string_view(reinterpret_cast<const char*>(source), length));
    if (!bytes.empty())
        std::memcpy(target, bytes.data(), bytes.size());
    target[bytes.size()] = '\0';
    return static_cast<unsigned int>(bytes.size());
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
