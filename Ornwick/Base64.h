#pragma once
// Base64 of request texts and of the stored proxy password (standard alphabet,
// '=' fill, no line breaks).
#include "EncryptDecrypt.h"

#include <cstddef>

class ORNWICK_API CBase64 : public CEncryptDecrypt {
public:
    CBase64() = default;
    CBase64(const CBase64&) = default;
    CBase64& operator=(const CBase64&) = default;
    ~CBase64() override;

    // Base64 of the first length bytes; key selector and prefix are unused.
    // The output buffer holds at least 2 * length + 1 bytes (513 for an empty
    // text), never less than the encoding and its NUL.
    int GetEncryptData(const unsigned char* text, unsigned char** output, int length, short keySelector,
                       short prefix) override;

    // Writes the encoding of length bytes and a NUL to target (which holds
    // EncodedSize(length) + 1 bytes); returns the character count, 0 for
    // no input (nothing written).
    static unsigned int encode_base64(const unsigned char* source, unsigned char* target, unsigned int length);
    // Decodes the whole quartets of length characters: bytes outside the
    // alphabet and '=' count as 0, so a quartet always gives three bytes.
    // Writes DecodedSize(length) bytes and a NUL; returns the byte count.
    static unsigned int decode_base64(const unsigned char* source, unsigned char* target, unsigned int length);
    // The same, refusing (0, nothing written) when targetSize cannot hold
    // the bytes and their NUL.
    static unsigned int decode_base64(const unsigned char* source, unsigned char* target, unsigned int length,
                                      std::size_t targetSize);

    static unsigned int EncodedSize(unsigned int length) { return (length + 2) / 3 * 4; }
    static unsigned int DecodedSize(unsigned int length) { return length / 4 * 3; }
};
