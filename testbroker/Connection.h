#pragma once
// One accepted TCP (or TLS) connection. Writes may come from any thread (feed
// pushes, the demo market); reads come from the connection's own thread.
#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

typedef struct ssl_st SSL;

namespace tb {

class Connection {
public:
    Connection(int fd, SSL* ssl, std::string peer);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Waits up to timeoutMs for bytes; returns the count read, 0 on a time-out,
    // -1 when the peer closed or the connection was shut down.
    long readSome(char* buf, size_t size, int timeoutMs);
    // Writes everything or fails (closed peer); serialised between threads.
    bool writeAll(std::string_view data);
    // Ends the connection from any thread; the reading thread sees -1.
    void shutdown();
    bool isOpen() const { return !m_closed.load(); }
    // Shrinks the socket's receive buffer (a peer whose reader has stalled).
    void limitReceiveBuffer(int bytes);
    const std::string& peer() const { return m_peer; }

private:
    int m_fd;
    SSL* m_ssl;
    std::string m_peer;
    std::atomic<bool> m_closed{false};
    std::mutex m_ioMutex; // guards m_ssl use (an SSL object is not thread-safe) and write ordering
};

} // namespace tb
