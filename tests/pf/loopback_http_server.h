#pragma once
// A small HTTP/1.1 server on 127.0.0.1 and an ephemeral port for tests of the
// HTTP client: each connection is served on its own thread by a handler the
// test gives; every request is recorded with its raw body. Optionally TLS with
// a certificate from a test authority made in memory for this run.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testhttp {

// A loopback port that was bound a moment ago and is closed now: a connect
// to it is refused.
int closedPort();

struct Request {
    std::string method;
    std::string target;
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
};

// A certificate authority and a server certificate for 127.0.0.1/localhost,
// generated at run time; nothing is kept after the test.
class TestPki {
public:
    explicit TestPki(const char* authorityName = "Vortanex Test CA");
    ~TestPki();
    // PEM of the authority's certificate (what a client trusts).
    const std::string& caPem() const { return m_caPem; }
    // Writes the authority's certificate to a file and returns its path.
    std::filesystem::path writeCaFile(const std::filesystem::path& folder) const;
    void* serverCert() const { return m_serverCert; } // X509*
    void* serverKey() const { return m_serverKey; }   // EVP_PKEY*

private:
    std::string m_caPem;
    void* m_caKey = nullptr;
    void* m_caCert = nullptr;
    void* m_serverKey = nullptr;
    void* m_serverCert = nullptr;
};

class Connection {
public:
    virtual ~Connection() = default;
    virtual bool send(const std::string& bytes) = 0;
    // Bytes the client sent after its request; blocks. 0 or less at the end.
    virtual long receive(char* buffer, size_t size) = 0;
    // Blocks until the server stops (a response that never finishes).
    virtual void waitForStop() = 0;
};

using Handler = std::function<void(const Request&, Connection&)>;

class LoopbackHttpServer {
public:
    // With a PKI the server speaks TLS with its server certificate.
    explicit LoopbackHttpServer(Handler handler, const TestPki* tls = nullptr);
    ~LoopbackHttpServer();

    int port() const { return m_port; }
    std::vector<Request> requests() const;
    void stop();

    // A complete response with Content-Length.
    static std::string response(int status, const std::string& body, const std::string& reason = "OK");

private:
    void acceptLoop();
    void serve(int fd);

    Handler m_handler;
    void* m_sslCtx = nullptr; // SSL_CTX*
    int m_listenFd = -1;
    int m_port = 0;
    std::thread m_acceptThread;

    mutable std::mutex m_mutex;
    std::vector<Request> m_requests; // guarded by m_mutex
    std::vector<int> m_openFds;      // guarded by m_mutex
    std::vector<std::thread> m_threads; // guarded by m_mutex
    bool m_stopping = false;         // guarded by m_mutex
    std::condition_variable m_stopped;
};

} // namespace testhttp
