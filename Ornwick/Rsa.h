#pragma once
// The RSA request encoder: the text encrypted with one of the library's two
// public keys (PKCS#1 v1.5), as a two-digit prefix followed by the Base64 of
// the cipher text in lines of 64 characters, each ended by CR LF. Reached only
// through CEncryptDecrypt::GetInstance, so not exported.
#include "EncryptDecrypt.h"

class CRSA : public CEncryptDecrypt {
public:
    // Failure codes, one per step.
    enum Result {
        ErrNoKey = -1,      // key selector other than 1 or 2
        ErrKeyText = -2,    // key text is not Base64
        ErrKeyInfo = -3,    // key is not a public-key structure
        ErrContext = -4,
        ErrImport = -5,     // not an RSA key
        ErrSize = -6,
        ErrEncrypt = -7,    // text longer than the modulus minus 11 bytes
        ErrBase64 = -8,
    };

    ~CRSA() override;

    // Encrypts the whole NUL-terminated text (length is not used) with key 1
    // or 2 and stores the cipher text with the prefix printed "%02ld".
    // Returns the length of the Base64 part with its line ends (884 for key
    // 1), or a Result.
    int GetEncryptData(const unsigned char* text, unsigned char** output, int length, short keySelector,
                       short prefix) override;
};
