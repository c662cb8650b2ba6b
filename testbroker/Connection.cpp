#include "Connection.h"

#include <openssl/ssl.h>

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tb {

Connection::Connection(int fd, SSL* ssl, std::string peer) : m_fd(fd), m_ssl(ssl), m_peer(std::move(peer)) {}

Connection::~Connection()
{
    if (m_ssl)
        SSL_free(m_ssl);
    ::close(m_fd);
}

long Connection::readSome(char* buf, size_t size, int timeoutMs)
{
    if (m_closed.load())
        return -1;
    if (m_ssl) {
        std::lock_guard lock(m_ioMutex);
        if (SSL_pending(m_ssl) > 0) {
            const int n = SSL_read(m_ssl, buf, static_cast<int>(size));
            return n > 0 ? n : -1;
        }
    }
    pollfd p{m_fd, POLLIN, 0};
    const int rc = ::poll(&p, 1, timeoutMs);
    if (m_closed.load())
        return -1;
    if (rc == 0)
        return 0;
    if (rc < 0)
        return errno == EINTR ? 0 : -1;
    if (m_ssl) {
        std::lock_guard lock(m_ioMutex);
        const int n = SSL_read(m_ssl, buf, static_cast<int>(size));
        if (n > 0)
            return n;
        const int err = SSL_get_error(m_ssl, n);
        return err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE ? 0 : -1;
    }
    const ssize_t n = ::recv(m_fd, buf, size, 0);
    if (n > 0)
        return n;
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return 0;
    return -1;
}

bool Connection::writeAll(std::string_view data)
{
    std::lock_guard lock(m_ioMutex);
    if (m_closed.load())
        return false;
    size_t done = 0;
    while (done < data.size()) {
        if (m_ssl) {
            const int n = SSL_write(m_ssl, data.data() + done, static_cast<int>(data.size() - done));
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        } else {
            const ssize_t n = ::send(m_fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
    }
    return true;
}

void Connection::limitReceiveBuffer(int bytes)
{
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

void Connection::shutdown()
{
    if (!m_closed.exchange(true))
        ::shutdown(m_fd, SHUT_RDWR);
}

} // namespace tb
