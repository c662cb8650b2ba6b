#include "pf/net.h"

#include <arpa/inet.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pf {
namespace detail {

std::string errnoText(const char* what, int err)
{
    return std::string(what) + ": " + std::strerror(err);
}

bool setBlocking(int fd, bool blocking)
{
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return false;
    return ::fcntl(fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK)) == 0;
}

// Waits for a non-blocking connect; 0 when connected, else an errno value.
int finishConnect(int fd, int timeoutMs)
{
    pollfd p{fd, POLLOUT, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, timeoutMs);
    } while (rc < 0 && errno == EINTR);
    if (rc == 0)
        return ETIMEDOUT;
    if (rc < 0)
        return errno;
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        return errno;
    return err;
}

} // namespace detail

// --- SocketBase ---

void detail::SocketBase::interrupt()
{
    std::lock_guard lock(m_mutex);
    m_interrupted = true;
    // On Linux a shutdown wakes a receiver even on an unconnected datagram
    // socket (the call itself reports ENOTCONN).
    if (m_fd >= 0)
        ::shutdown(m_fd, SHUT_RDWR);
}

void detail::SocketBase::closeDescriptor()
{
    std::lock_guard lock(m_mutex);
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool detail::SocketBase::isOpen() const
{
    std::lock_guard lock(m_mutex);
    return m_fd >= 0;
}

int detail::SocketBase::fd() const
{
    std::lock_guard lock(m_mutex);
    return m_fd;
}

std::string detail::SocketBase::error() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

// --- TcpLink ---

TcpLink::~TcpLink()
{
    close();
}

bool TcpLink::connectTo(const std::string& host, int port, int timeoutMs)
{
    close();
    {
        std::lock_guard lock(m_mutex);
        if (m_interrupted) {
            m_error = "connect: interrupted";
            return false;
        }
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    // A dotted address is taken as it is, without asking a resolver.
    hints.ai_flags = 0;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    const int gai = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    if (gai != 0 || !list) {
        std::lock_guard lock(m_mutex);
        m_error = std::string("resolve ") + host + ": " + ::gai_strerror(gai);
        return false;
    }
    int lastErr = ECONNREFUSED;
    for (addrinfo* a = list; a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            lastErr = errno;
            continue;
        }
        {
            // Published before connecting, so that interrupt() can end the wait.
            std::lock_guard lock(m_mutex);
            if (m_interrupted) {
                ::close(fd);
                lastErr = ECANCELED;
                break;
            }
            m_fd = fd;
        }
        int err = 0;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0)
            err = errno == EINPROGRESS ? detail::finishConnect(fd, timeoutMs) : errno;
        std::lock_guard lock(m_mutex);
        if (err == 0 && m_interrupted)
            err = ECANCELED;
        if (err == 0) {
            const int on = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
            detail::setBlocking(fd, true);
            ::freeaddrinfo(list);
            m_error.clear();
            return true;
        }
        lastErr = err;
        m_fd = -1;
        ::close(fd);
    }
    ::freeaddrinfo(list);
    std::lock_guard lock(m_mutex);
    m_error = detail::errnoText("connect", lastErr);
    return false;
}

bool TcpLink::sendAll(std::string_view data, int timeoutMs)
{
    // Senders queue on the send lock; a blocked send never holds m_mutex, so
    // interrupt() can always get in and make it fail.
    std::lock_guard sendLock(m_sendMutex);
    int fd;
    {
        std::lock_guard lock(m_mutex);
        if (m_fd < 0 || m_interrupted)
            return false;
        fd = m_fd;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The buffer is full: wait for room (an interrupt's shutdown
            // wakes the wait and the next send fails).
            int wait = -1;
            if (timeoutMs >= 0) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
                if (left.count() <= 0) {
                    std::lock_guard lock(m_mutex);
                    m_error = "send: no room within " + std::to_string(timeoutMs) + " ms";
                    return false;
                }
                wait = int(left.count());
            }
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, wait);
            continue;
        }
        if (n <= 0) {
            std::lock_guard lock(m_mutex);
            m_error = detail::errnoText("send", n < 0 ? errno : EPIPE);
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

long TcpLink::receive(char* buffer, size_t size)
{
    const int fd = this->fd();
    if (fd < 0)
        return -1;
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            std::lock_guard lock(m_mutex);
            m_error = detail::errnoText("recv", errno);
            return -1;
        }
        if (n == 0) {
            // After interrupt() a receive ends with 0 too; that is not the peer.
            std::lock_guard lock(m_mutex);
            if (m_interrupted) {
                m_error = "recv: interrupted";
                return -1;
            }
        }
        return static_cast<long>(n);
    }
}

void TcpLink::close()
{
    // Under the send lock: no sender still holds the number when it is freed.
    std::lock_guard sendLock(m_sendMutex);
    closeDescriptor();
}

// --- DatagramPort ---

DatagramPort::~DatagramPort()
{
    close();
}

bool DatagramPort::bindTo(int port, const std::string& group)
{
    close();
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        std::lock_guard lock(m_mutex);
        m_error = detail::errnoText("socket", errno);
        return false;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int err = errno;
        ::close(fd);
        std::lock_guard lock(m_mutex);
        m_error = detail::errnoText("bind", err);
        return false;
    }
    in_addr g{};
    if (!group.empty() && ::inet_pton(AF_INET, group.c_str(), &g) == 1 && IN_MULTICAST(ntohl(g.s_addr))) {
        ip_mreq req{};
        req.imr_multiaddr = g;
        req.imr_interface.s_addr = htonl(INADDR_ANY);
        if (::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &req, sizeof req) != 0) {
            const int err = errno;
            ::close(fd);
            std::lock_guard lock(m_mutex);
            m_error = detail::errnoText("join group", err);
            return false;
        }
    }
    std::lock_guard lock(m_mutex);
    if (m_interrupted) {
        ::close(fd);
        m_error = "bind: interrupted";
        return false;
    }
    m_fd = fd;
    m_error.clear();
    return true;
}

int DatagramPort::port() const
{
    std::lock_guard lock(m_mutex);
    if (m_fd < 0)
        return 0;
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 0;
    return ntohs(addr.sin_port);
}

long DatagramPort::receive(char* buffer, size_t size)
{
    const int fd = this->fd();
    if (fd < 0)
        return -1;
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        std::lock_guard lock(m_mutex);
        if (m_interrupted) {
            m_error = "recv: interrupted";
            return -1;
        }
        if (n < 0) {
            m_error = detail::errnoText("recv", errno);
            return -1;
        }
        return static_cast<long>(n);
    }
}

void DatagramPort::close()
{
    closeDescriptor();
}

std::vector<InterfaceAddress> interfaceAddresses()
{
    std::vector<InterfaceAddress> out;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return out;
    for (ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET)
            continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
        InterfaceAddress a;
        a.name = i->ifa_name ? i->ifa_name : "";
        a.ipv4 = ntohl(in->sin_addr.s_addr);
        a.up = (i->ifa_flags & IFF_UP) != 0;
        out.push_back(std::move(a));
    }
    ::freeifaddrs(list);
    return out;
}

std::string localIPv4(const std::vector<InterfaceAddress>& interfaces)
{
    for (const InterfaceAddress& a : interfaces) {
        // 127/8 is this machine only, whatever the host name resolves to.
        if (!a.up || (a.ipv4 >> 24) == 127 || a.ipv4 == 0)
            continue;
        in_addr in{};
        in.s_addr = htonl(a.ipv4);
        char text[INET_ADDRSTRLEN] = {};
        if (::inet_ntop(AF_INET, &in, text, sizeof text))
            return text;
    }
    return "127.0.0.1";
}

std::string localIPv4()
{
    return localIPv4(interfaceAddresses());
}

} // namespace pf
