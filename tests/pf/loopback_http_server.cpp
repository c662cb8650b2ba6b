#include "loopback_http_server.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>

namespace testhttp {

namespace {

EVP_PKEY* makeKey()
{
    return EVP_EC_gen("P-256");
}

X509* makeCert(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey, bool isCa)
{
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    static std::atomic<long> serial{1};
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial++);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName), -1,
                               -1, 0);
    X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : name);
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer ? issuer : cert, cert, nullptr, nullptr, 0);
    auto add = [&](int nid, const char* value) {
        if (X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value)) {
            X509_add_ext(cert, ext, -1);
            X509_EXTENSION_free(ext);
        }
    };
    if (isCa) {
        add(NID_basic_constraints, "critical,CA:TRUE");
        add(NID_key_usage, "critical,keyCertSign,cRLSign");
        add(NID_subject_key_identifier, "hash");
    } else {
        add(NID_basic_constraints, "CA:FALSE");
        add(NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
        add(NID_ext_key_usage, "serverAuth");
    }
    X509_sign(cert, issuerKey ? issuerKey : key, EVP_sha256());
    return cert;
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

class SocketConnection final : public Connection {
public:
    SocketConnection(int fd, SSL* ssl, std::mutex& mutex, std::condition_variable& stopped, const bool& stopping)
        : m_fd(fd), m_ssl(ssl), m_mutex(mutex), m_stopped(stopped), m_stopping(stopping)
    {
    }
    bool send(const std::string& bytes) override
    {
        size_t done = 0;
        while (done < bytes.size()) {
            long n = m_ssl ? SSL_write(m_ssl, bytes.data() + done, int(bytes.size() - done))
                           : ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += size_t(n);
        }
        return true;
    }
    void waitForStop() override
    {
        std::unique_lock lock(m_mutex);
        m_stopped.wait(lock, [this] { return m_stopping; });
    }
    long receive(char* buffer, size_t size) override
    {
        return m_ssl ? SSL_read(m_ssl, buffer, int(size)) : ::recv(m_fd, buffer, size, 0);
    }

private:
    int m_fd;
    SSL* m_ssl;
    std::mutex& m_mutex;
    std::condition_variable& m_stopped;
    const bool& m_stopping;
};

} // namespace

int closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

TestPki::TestPki(const char* authorityName)
{
    EVP_PKEY* caKey = makeKey();
    X509* caCert = makeCert(caKey, authorityName, nullptr, nullptr, true);
    EVP_PKEY* serverKey = makeKey();
    X509* serverCert = makeCert(serverKey, "127.0.0.1", caCert, caKey, false);
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, caCert);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    m_caPem.assign(data, size_t(length));
    BIO_free(bio);
    m_caKey = caKey;
    m_caCert = caCert;
    m_serverKey = serverKey;
    m_serverCert = serverCert;
}

TestPki::~TestPki()
{
    X509_free(static_cast<X509*>(m_serverCert));
    EVP_PKEY_free(static_cast<EVP_PKEY*>(m_serverKey));
    X509_free(static_cast<X509*>(m_caCert));
    EVP_PKEY_free(static_cast<EVP_PKEY*>(m_caKey));
}

std::filesystem::path TestPki::writeCaFile(const std::filesystem::path& folder) const
{
    const auto path = folder / "test_ca.pem";
    std::ofstream(path, std::ios::binary) << m_caPem;
    return path;
}

LoopbackHttpServer::LoopbackHttpServer(Handler handler, const TestPki* tls) : m_handler(std::move(handler))
{
    // A client that hangs up must not kill the test process on the next write.
    ::signal(SIGPIPE, SIG_IGN);
    if (tls) {
        SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate(ctx, static_cast<X509*>(tls->serverCert()));
        SSL_CTX_use_PrivateKey(ctx, static_cast<EVP_PKEY*>(tls->serverKey()));
        m_sslCtx = ctx;
    }
    m_listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(m_listenFd, 64);
    socklen_t len = sizeof addr;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    stop();
    if (m_sslCtx)
        SSL_CTX_free(static_cast<SSL_CTX*>(m_sslCtx));
}

void LoopbackHttpServer::stop()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping && m_listenFd < 0)
            return;
        m_stopping = true;
        for (int fd : m_openFds)
            ::shutdown(fd, SHUT_RDWR);
    }
    m_stopped.notify_all();
    if (m_listenFd >= 0) {
        ::shutdown(m_listenFd, SHUT_RDWR);
        if (m_acceptThread.joinable())
            m_acceptThread.join();
        ::close(m_listenFd);
        m_listenFd = -1;
    }
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        threads.swap(m_threads);
    }
    for (auto& t : threads)
        t.join();
}

std::vector<Request> LoopbackHttpServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::string LoopbackHttpServer::response(int status, const std::string& body, const std::string& reason)
{
    return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Length: " + std::to_string(body.size())
           + "\r\nConnection: close\r\n\r\n" + body;
}

void LoopbackHttpServer::acceptLoop()
{
    for (;;) {
        const int fd = ::accept(m_listenFd, nullptr, nullptr);
        if (fd < 0)
            return;
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            ::close(fd);
            return;
        }
        m_openFds.push_back(fd);
        m_threads.emplace_back([this, fd] { serve(fd); });
    }
}

void LoopbackHttpServer::serve(int fd)
{
    SSL* ssl = nullptr;
    bool ok = true;
    if (m_sslCtx) {
        ssl = SSL_new(static_cast<SSL_CTX*>(m_sslCtx));
        SSL_set_fd(ssl, fd);
        ok = SSL_accept(ssl) == 1;
    }
    SocketConnection conn(fd, ssl, m_mutex, m_stopped, m_stopping);
    std::string data;
    char chunk[4096];
    // One request per connection: the client's requests are one-shot.
    while (ok && data.find("\r\n\r\n") == std::string::npos && data.size() < 65536) {
        const long n = conn.receive(chunk, sizeof chunk);
        if (n <= 0) {
            ok = false;
            break;
        }
        data.append(chunk, size_t(n));
    }
    if (ok) {
        Request request;
        const size_t headEnd = data.find("\r\n\r\n");
        const std::string head = data.substr(0, headEnd);
        std::string body = data.substr(headEnd + 4);
        size_t lineEnd = head.find("\r\n");
        const std::string first = head.substr(0, lineEnd);
        const size_t sp1 = first.find(' ');
        const size_t sp2 = first.find(' ', sp1 + 1);
        request.method = first.substr(0, sp1);
        request.target = first.substr(sp1 + 1, sp2 - sp1 - 1);
        while (lineEnd != std::string::npos) {
            const size_t next = head.find("\r\n", lineEnd + 2);
            const std::string line = head.substr(lineEnd + 2, next == std::string::npos ? next : next - lineEnd - 2);
            const size_t colon = line.find(':');
            if (colon != std::string::npos) {
                size_t valueStart = line.find_first_not_of(' ', colon + 1);
                request.headers[lower(line.substr(0, colon))]
                    = valueStart == std::string::npos ? std::string() : line.substr(valueStart);
            }
            lineEnd = next;
        }
        size_t wanted = 0;
        if (auto it = request.headers.find("content-length"); it != request.headers.end())
            wanted = std::stoul(it->second);
        while (body.size() < wanted) {
            const long n = conn.receive(chunk, sizeof chunk);
            if (n <= 0)
                break;
            body.append(chunk, size_t(n));
        }
        request.body = body;
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
        }
        m_handler(request, conn);
    }
    if (ssl) {
        SSL_shutdown(ssl);
        SSL_free(ssl);
    }
    std::lock_guard lock(m_mutex);
    m_openFds.erase(std::remove(m_openFds.begin(), m_openFds.end(), fd), m_openFds.end());
    ::close(fd);
}

} // namespace testhttp
