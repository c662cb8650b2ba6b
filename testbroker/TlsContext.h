#pragma once
// A server TLS context with a throw-away test CA and a server certificate for
// 127.0.0.1 and localhost, generated at start: no key of anyone else is used.
#include <memory>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;

namespace tb {

class TlsContext {
public:
    // Writes ca.pem, server.pem and server.key into dir (created when missing).
    static std::unique_ptr<TlsContext> create(const std::string& dir, std::string* error);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    SSL_CTX* context() const { return m_ctx; }
    const std::string& caPath() const { return m_caPath; }

private:
    TlsContext() = default;
    SSL_CTX* m_ctx = nullptr;
    std::string m_caPath;
};

} // namespace tb
