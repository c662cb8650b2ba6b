#include "app/base/Md5.h"

#include "app/base/LogWriter.h"

#include "pf/base64.h"

#include <openssl/evp.h>

#include <new>
#include <stdexcept>

void Md5::ContextFree::operator()(evp_md_ctx_st* context) const
{
    EVP_MD_CTX_free(context);
}

Md5::Md5()
    : m_context(EVP_MD_CTX_new())
{
    if (!m_context)
        throw std::bad_alloc();
    init();
}

Md5::~Md5() = default;

void Md5::init()
{
    // MD5 is in the default provider; only a FIPS-only configuration lacks
    // it, and then no password could be sent at all.
    if (EVP_DigestInit_ex(m_context.get(), EVP_md5(), nullptr) != 1)
        throw std::runtime_error("MD5 is not available from the crypto library");
}

void Md5::update(const void* data, size_t length)
{
    if (length > 0)
        EVP_DigestUpdate(m_context.get(), data, length);
}

Md5::Digest Md5::final()
{
    Digest out{};
    unsigned int size = 0;
    EVP_DigestFinal_ex(m_context.get(), out.data(), &size);
    return out;
}

Md5::Digest Md5::of(std::string_view text)
{
    Md5 md5;
    md5.update(text.data(), text.size());
    return md5.final();
}

std::string DigestBase64(const Md5::Digest& digest)
{
    // 16 bytes give 22 characters and the "==" fill.
    return pf::base64Encode(digest);
}

bool HashPassword(std::string_view text, std::string& out)
{
    if (text.size() > kMaxPasswordLength) {
        out.clear();
        WriteLog(0, "HashPassword : password text too long, refused");
        return false;
    }
    out = DigestBase64(Md5::of(text));
    // The digest is accepted by the server as the password itself, so the log
    // only records that one was made.
    WriteLog(0, MaskSecret(out));
    return true;
}
