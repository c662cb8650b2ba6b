#pragma once
// The request-text encoders: GetInstance(1) gives Base64, GetInstance(2) RSA.
#include "OrnwickExport.h"

class ORNWICK_API CEncryptDecrypt {
public:
    // Encryption types of the session record.
    enum Type { TypeBase64 = 1, TypeRsa = 2 };

    CEncryptDecrypt() = default;
    CEncryptDecrypt(const CEncryptDecrypt&) = default;
    CEncryptDecrypt& operator=(const CEncryptDecrypt&) = default;
    // Virtual: encoders are deleted through this base.
    virtual ~CEncryptDecrypt();

    // A new encoder for the type (the caller deletes it), null for any type
    // but 1 and 2.
    CEncryptDecrypt* GetInstance(int type);

    // Encodes text and stores a new[]-allocated, NUL-terminated result
    // through output (the caller delete[]s it). Returns the length of the
    // encoded text, or a negative step number on failure, in which case
    // *output is set to null and nothing is allocated. The base encodes
    // nothing and returns 0.
    virtual int GetEncryptData(const unsigned char* text, unsigned char** output, int length, short keySelector,
                               short prefix);
};
