#include "RawClient.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tbtest {

RawClient::~RawClient()
{
    close();
}

bool RawClient::connect(uint16_t port)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return m_fd >= 0 && ::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

bool RawClient::send(const std::string& bytes)
{
    return ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

bool RawClient::fill(int timeoutMs)
{
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0)
        return false;
    char buf[8192];
    const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
    if (n <= 0)
        return false;
    m_buffer.append(buf, static_cast<size_t>(n));
    return true;
}

std::string RawClient::read(size_t count, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_buffer.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !fill(static_cast<int>(left.count())))
            break;
    }
    const std::string out = m_buffer.substr(0, count);
    m_buffer.erase(0, out.size());
    return out;
}

std::string RawClient::readUntil(const std::string& needle, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_buffer.find(needle) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !fill(static_cast<int>(left.count())))
            return {};
    }
    const size_t n = m_buffer.find(needle) + needle.size();
    const std::string out = m_buffer.substr(0, n);
    m_buffer.erase(0, n);
    return out;
}

bool RawClient::waitClosed(int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0) {
            char buf[4096];
            if (::recv(m_fd, buf, sizeof buf, 0) <= 0)
                return true;
        }
    }
    return false;
}

void RawClient::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

HttpResult httpRequest(uint16_t port, const std::string& method, const std::string& target, const std::string& body)
{
    RawClient c;
    HttpResult r;
    if (!c.connect(port))
        return r;
    c.send(method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + std::to_string(body.size())
           + "\r\nConnection: close\r\n\r\n" + body);
    const std::string head = c.readUntil("\r\n\r\n");
    if (head.size() < 12)
        return r;
    r.status = std::stoi(head.substr(9, 3));
    const size_t cl = head.find("Content-Length: ");
    const size_t length = cl == std::string::npos ? 0 : std::stoul(head.substr(cl + 16));
    r.body = c.read(length);
    return r;
}

HttpResult postText(uint16_t port, const std::string& path, const std::string& text)
{
    return httpRequest(port, "POST", path, text + std::string(1, '\0'));
}

std::vector<std::string> splitText(const std::string& s, char sep)
{
    std::vector<std::string> out;
    size_t p = 0;
    while (true) {
        const size_t q = s.find(sep, p);
        out.push_back(s.substr(p, q == std::string::npos ? q : q - p));
        if (q == std::string::npos)
            return out;
        p = q + 1;
    }
}

} // namespace tbtest
