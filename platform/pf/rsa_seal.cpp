#include "pf/rsa_seal.h"

#include "pf/base64.h"

#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <memory>

namespace pf {

namespace rsa_seal_detail {

constexpr std::string_view kBegin = "-----BEGIN PUBLIC KEY-----";
constexpr std::string_view kEnd = "-----END PUBLIC KEY-----";

struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CtxFree {
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;
using CtxPtr = std::unique_ptr<EVP_PKEY_CTX, CtxFree>;

// The key's DER bytes from its armoured text. OpenSSL's PEM reader wants the
// body in lines of 64, so the one-line form is unwrapped here instead.
int loadKey(std::string_view pem, PkeyPtr& key)
{
    const size_t begin = pem.find(kBegin);
    const size_t end = pem.find(kEnd);
    if (begin == std::string_view::npos || end == std::string_view::npos || end < begin + kBegin.size())
        return RsaSeal::NoKey;
    const auto der = base64Decode(pem.substr(begin + kBegin.size(), end - begin - kBegin.size()));
    if (!der || der->empty())
        return RsaSeal::BadKeyText;
    const unsigned char* p = der->data();
    key.reset(d2i_PUBKEY(nullptr, &p, long(der->size())));
    if (!key || p != der->data() + der->size())
        return RsaSeal::BadKeyInfo;
    return RsaSeal::Ok;
}

} // namespace rsa_seal_detail

int RsaSeal::modulusBytes(std::string_view pemKey)
{
    rsa_seal_detail::PkeyPtr key;
    if (const int rc = rsa_seal_detail::loadKey(pemKey, key); rc != Ok)
        return rc;
    if (EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA)
        return BadKey;
    return EVP_PKEY_get_size(key.get());
}

int RsaSeal::seal(std::string_view pemKey, std::string_view text, std::vector<uint8_t>& out)
{
    out.clear();
    rsa_seal_detail::PkeyPtr key;
    if (const int rc = rsa_seal_detail::loadKey(pemKey, key); rc != Ok)
        return rc;
    rsa_seal_detail::CtxPtr ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key.get(), nullptr));
    if (!ctx)
        return NoContext;
    if (EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA || EVP_PKEY_encrypt_init(ctx.get()) <= 0
        || EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0)
        return BadKey;
    size_t size = 0;
    if (EVP_PKEY_encrypt(ctx.get(), nullptr, &size, reinterpret_cast<const unsigned char*>(text.data()), text.size())
            <= 0
        || size == 0)
        return NoSize;
    // PKCS#1 v1.5 needs 11 bytes of padding; refuse a longer text up front
    // rather than relying on the library's error.
    const int modulus = EVP_PKEY_get_size(key.get());
    if (modulus < 11 || text.size() > size_t(modulus - 11))
        return EncryptFailed;
    std::vector<uint8_t> cipher(size);
    if (EVP_PKEY_encrypt(ctx.get(), cipher.data(), &size, reinterpret_cast<const unsigned char*>(text.data()),
                         text.size())
        <= 0)
        return EncryptFailed;
    cipher.resize(size);
    out = std::move(cipher);
    return Ok;
}

} // namespace pf
