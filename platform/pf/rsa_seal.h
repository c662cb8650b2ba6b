#pragma once
// RSA public-key encryption of short texts (PKCS#1 v1.5, block type 2) with a
// key given as a PEM "PUBLIC KEY" text, which may be written on one line.
#include <cstdint>
#include <string_view>
#include <vector>

namespace pf {

class RsaSeal {
public:
    // Result codes of seal(); each names the step that failed.
    enum Result : int {
        Ok = 0,
        NoKey = -1,         // no key text, or no armour around it
        BadKeyText = -2,    // the armoured body is not Base64
        BadKeyInfo = -3,    // not a SubjectPublicKeyInfo
        NoContext = -4,     // no encryption context
        BadKey = -5,        // not an RSA key, or it refuses to encrypt
        NoSize = -6,        // cipher size unknown
        EncryptFailed = -7, // text longer than the modulus minus 11, or the encryption failed
    };

    // Encrypts the bytes of text with the key; the cipher text is the key's
    // modulus length, most significant byte first. On failure out is cleared.
    static int seal(std::string_view pemKey, std::string_view text, std::vector<uint8_t>& out);

    // Modulus length in bytes of the key, or a negative result code.
    static int modulusBytes(std::string_view pemKey);
};

} // namespace pf
