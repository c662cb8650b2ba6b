#include "EncryptDecrypt.h"

#include "Base64.h"
#include "Rsa.h"

CEncryptDecrypt::~CEncryptDecrypt() = default;

CEncryptDecrypt* CEncryptDecrypt::GetInstance(int type)
{
    switch (type) {
    case TypeBase64:
        return new CBase64;
    case TypeRsa:
        return new CRSA;
    default:
        return nullptr;
    }
}

int CEncryptDecrypt::GetEncryptData(const unsigned char*, unsigned char**, int, short, short)
{
    return 0;
}
