#include "TlsContext.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <filesystem>

namespace tb {

namespace tls_context_detail {

bool addExtension(X509* cert, X509* issuer, int nid, const char* value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext)
        return false;
    const bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

X509* makeCert(EVP_PKEY* key, const char* cn, X509* issuer, EVP_PKEY* issuerKey, long serial, bool ca)
{
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 7L * 24 * 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Vortanex test broker"),
                               -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn), -1, -1, 0);
    X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : name);
    X509* iss = issuer ? issuer : cert;
    bool ok = true;
    if (ca) {
        ok = addExtension(cert, iss, NID_basic_constraints, "critical,CA:TRUE")
            && addExtension(cert, iss, NID_key_usage, "critical,keyCertSign,cRLSign")
            && addExtension(cert, iss, NID_subject_key_identifier, "hash");
    } else {
        ok = addExtension(cert, iss, NID_basic_constraints, "CA:FALSE")
            && addExtension(cert, iss, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost")
            && addExtension(cert, iss, NID_ext_key_usage, "serverAuth");
    }
    if (!ok || X509_sign(cert, issuerKey ? issuerKey : key, EVP_sha256()) == 0) {
        X509_free(cert);
        return nullptr;
    }
    return cert;
}

bool writePem(const std::string& path, X509* cert, EVP_PKEY* key)
{
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    const bool ok = cert ? PEM_write_X509(f, cert) == 1
                         : PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    std::fclose(f);
    return ok;
}

} // namespace tls_context_detail

std::unique_ptr<TlsContext> TlsContext::create(const std::string& dir, std::string* error)
{
    auto fail = [error](const char* what) {
        if (error)
            *error = what;
        return std::unique_ptr<TlsContext>();
    };
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    EVP_PKEY* caKey = EVP_RSA_gen(2048);
    EVP_PKEY* serverKey = EVP_RSA_gen(2048);
    X509* ca = caKey ? tls_context_detail::makeCert(caKey, "Vortanex Test CA", nullptr, nullptr, 1, true) : nullptr;
    X509* server = ca && serverKey ? tls_context_detail::makeCert(serverKey, "127.0.0.1", ca, caKey, 2, false) : nullptr;
    std::unique_ptr<TlsContext> t(new TlsContext);
    t->m_caPath = dir + "/ca.pem";
    bool ok = server && tls_context_detail::writePem(t->m_caPath, ca, nullptr)
        && tls_context_detail::writePem(dir + "/server.pem", server, nullptr) && tls_context_detail::writePem(dir + "/server.key", nullptr, serverKey);
    if (ok) {
        t->m_ctx = SSL_CTX_new(TLS_server_method());
        ok = t->m_ctx && SSL_CTX_use_certificate(t->m_ctx, server) == 1 && SSL_CTX_add1_chain_cert(t->m_ctx, ca) == 1
            && SSL_CTX_use_PrivateKey(t->m_ctx, serverKey) == 1;
    }
    X509_free(server);
    X509_free(ca);
    EVP_PKEY_free(serverKey);
    EVP_PKEY_free(caKey);
    if (!ok)
        return fail("could not generate the test certificates");
    return t;
}

TlsContext::~TlsContext()
{
    if (m_ctx)
        SSL_CTX_free(m_ctx);
}

} // namespace tb
