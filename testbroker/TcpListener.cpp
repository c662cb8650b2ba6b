#include "TcpListener.h"

#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tb {

TcpListener::~TcpListener()
{
    stop();
}

bool TcpListener::listen(const std::string& host, uint16_t port, Handler handler, SSL_CTX* tls)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return false;
    const int one = 1;
    ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (::inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1
        || ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(m_fd, 64) != 0) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    socklen_t len = sizeof addr;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_handler = std::move(handler);
    m_tls = tls;
    m_stopping = false;
    m_acceptThread = std::thread([this] { acceptLoop(); });
    return true;
}

void TcpListener::acceptLoop()
{
    while (!m_stopping.load()) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        const int fd = ::accept4(m_fd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        char name[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, name, sizeof name);
        SSL* ssl = nullptr;
        if (m_tls) {
            ssl = SSL_new(m_tls);
            SSL_set_fd(ssl, fd);
        }
        auto connection = std::make_shared<Connection>(fd, ssl, name);
        auto done = std::make_shared<std::atomic<bool>>(false);
        std::lock_guard lock(m_mutex);
        reapLocked();
        if (m_stopping.load())
            break;
        Worker w;
        w.connection = connection;
        w.done = done;
        w.thread = std::thread([this, connection, done, ssl] {
            // A failed handshake just ends the connection.
            if (!ssl || SSL_accept(ssl) == 1)
                m_handler(connection);
            connection->shutdown();
            done->store(true);
        });
        m_workers.push_back(std::move(w));
    }
}

void TcpListener::reapLocked()
{
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}

void TcpListener::stop()
{
    if (m_fd < 0)
        return;
    m_stopping = true;
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    std::list<Worker> workers;
    {
        std::lock_guard lock(m_mutex);
        workers.swap(m_workers);
    }
    for (Worker& w : workers)
        w.connection->shutdown();
    for (Worker& w : workers)
        w.thread.join();
    ::close(m_fd);
    m_fd = -1;
}

} // namespace tb
