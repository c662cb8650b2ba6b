#pragma once
// Plain sockets for the live feed: a TCP connection that one thread reads
// while others send on it, and a bound datagram port. Either can be woken out
// of a blocked receive from any thread with interrupt(); only the owner
// closes the descriptor, so a number in use is never closed under a reader
// (nor reused for another file while someone still sends on it).
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace pf {

namespace detail {

// What both socket kinds share: the descriptor, a sticky interrupt flag and
// the last failure, all under one briefly held lock.
class SocketBase {
public:
    // Any thread: ends a blocked receive() (and, on a link, refuses further
    // sends), without releasing the descriptor.
    void interrupt();

    bool isOpen() const;
    // The descriptor, -1 when closed.
    int fd() const;
    // The last failure as text ("connect: Connection refused").
    std::string error() const;

protected:
    SocketBase() = default;
    ~SocketBase() = default;
    // Releases the descriptor; idempotent.
    void closeDescriptor();

    mutable std::mutex m_mutex; // short holds only: the fields below
    int m_fd = -1;              // guarded by m_mutex
    bool m_interrupted = false; // guarded by m_mutex; sticky: a socket is not reused after it
    std::string m_error;        // guarded by m_mutex
};

} // namespace detail

class TcpLink : public detail::SocketBase {
public:
    TcpLink() = default;
    ~TcpLink();
    TcpLink(const TcpLink&) = delete;
    TcpLink& operator=(const TcpLink&) = delete;

    // Resolves host (a name or a dotted address) and connects within
    // timeoutMs, with keep-alive on. False with error() set on failure; any
    // previous connection is closed first. Owner thread only.
    bool connectTo(const std::string& host, int port, int timeoutMs);

    // Sends all of data (serialised against other senders, never raising
    // SIGPIPE). False when the link is closed or the peer went away, or,
    // with timeoutMs >= 0, when all of it could not be written within that
    // time (a peer that stopped reading): part of it may then be on the
    // connection, so the caller drops the link.
    bool sendAll(std::string_view data, int timeoutMs = -1);

    // Blocks until bytes arrive: > 0 bytes read, 0 when the peer closed the
    // connection, -1 on an error or after interrupt(). Owner thread only.
    long receive(char* buffer, size_t size);

    // Owner thread: closes the descriptor (under the send lock, so that no
    // sender uses a stale number). Idempotent.
    void close();

private:
    std::mutex m_sendMutex; // serialises senders, and close() against them
};

class DatagramPort : public detail::SocketBase {
public:
    DatagramPort() = default;
    ~DatagramPort();
    DatagramPort(const DatagramPort&) = delete;
    DatagramPort& operator=(const DatagramPort&) = delete;

    // Binds any local address on port (0 = an ephemeral one) with address
    // reuse; joins group when it is a multicast address. False with error()
    // set on failure.
    bool bindTo(int port, const std::string& group = std::string());

    // The bound port (for port 0).
    int port() const;

    // One datagram: its size, or -1 on an error or after interrupt().
    long receive(char* buffer, size_t size);

    void close();
};

// One IPv4 address of a network interface of this machine.
struct InterfaceAddress {
    std::string name;   // "eth0"
    uint32_t ipv4 = 0;  // host byte order
    bool up = true;
};

// The machine's IPv4 interface addresses, in the system's order.
std::vector<InterfaceAddress> interfaceAddresses();

// The address the servers are told is this machine's: the first address of
// an interface that is up and not loopback (127/8), in dotted form;
// "127.0.0.1" only when there is none.
std::string localIPv4(const std::vector<InterfaceAddress>& interfaces);
// The same of this machine's interfaces.
std::string localIPv4();

} // namespace pf
