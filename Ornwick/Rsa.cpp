#include "Rsa.h"

#include "OrnwickKeys.h"
#include "pf/base64.h"
#include "pf/rsa_seal.h"

#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

CRSA::~CRSA() = default;

int CRSA::GetEncryptData(const unsigned char* text, unsigned char** output, int, short keySelector, short prefix)
{
    if (!output)
        return ErrEncrypt;
    // Nothing stale may be taken for the encrypted text after a failure.
    *output = nullptr;
    std::string_view key;
    if (keySelector == 1)
        key = ornwick::keys::kRsaKey1;
    else if (keySelector == 2)
        key = ornwick::keys::kRsaKey2;
    else
        return ErrNoKey;
    if (!text)
        return ErrEncrypt;

    std::vector<uint8_t> cipher;
    const std::string_view plain(reinterpret_cast<const char*>(text), std::strlen(reinterpret_cast<const char*>(text)));
    if (const int rc = pf::RsaSeal::seal(key, plain, cipher); rc != pf::RsaSeal::Ok)
        return rc; // the seal's codes are this encoder's step numbers
    const std::string base64 = pf::base64Lines(cipher, 64, "\r\n");
    if (base64.empty())
        return ErrBase64;

    char head[24];
    const int headLength = std::snprintf(head, sizeof head, "%02ld", long(prefix));
    auto* buffer = new unsigned char[size_t(headLength) + base64.size() + 1];
    std::memcpy(buffer, head, size_t(headLength));
    std::memcpy(buffer + headLength, base64.data(), base64.size());
    buffer[size_t(headLength) + base64.size()] = '\0';
    *output = buffer;
    return int(base64.size());
}
