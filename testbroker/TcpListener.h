#pragma once
// Accepts connections on a loopback port and runs a handler for each in its
// own thread; stop() ends every connection and joins every thread.
#include "Connection.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

typedef struct ssl_ctx_st SSL_CTX;

namespace tb {

class TcpListener {
public:
    using Handler = std::function<void(const std::shared_ptr<Connection>&)>;

    TcpListener() = default;
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // Binds host:port (port 0 = ephemeral) and starts accepting. With a TLS
    // context every connection does the server handshake first.
    bool listen(const std::string& host, uint16_t port, Handler handler, SSL_CTX* tls = nullptr);
    uint16_t port() const { return m_port; }
    void stop();

private:
    struct Worker {
        std::thread thread;
        std::shared_ptr<Connection> connection;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void acceptLoop();
    void reapLocked();

    int m_fd = -1;
    uint16_t m_port = 0;
    SSL_CTX* m_tls = nullptr;
    Handler m_handler;
    std::atomic<bool> m_stopping{false};
    std::thread m_acceptThread;
    std::mutex m_mutex;
    std::list<Worker> m_workers; // guarded by m_mutex
};

} // namespace tb
