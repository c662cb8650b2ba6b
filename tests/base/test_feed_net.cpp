// The feed's sockets against a loopback listener made here.
#include "pf/net.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace test_feed_net {

namespace {

// A listening socket on an ephemeral loopback port.
class Listener {
public:
    Listener()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_fd, 4);
        socklen_t len = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
    }
    ~Listener() { ::close(m_fd); }
    int port() const { return m_port; }
    int accept() { return ::accept(m_fd, nullptr, nullptr); }

private:
    int m_fd = -1;
    int m_port = 0;
};

TEST(TcpLink, SendsAndReceivesOverLoopback)
{
    Listener listener;
    pf::TcpLink link;
    ASSERT_TRUE(link.connectTo("127.0.0.1", listener.port(), 2000)) << link.error();
    const int peer = listener.accept();
    ASSERT_GE(peer, 0);

    ASSERT_TRUE(link.sendAll("00005hello"));
    char buf[64] = {};
    ASSERT_EQ(::recv(peer, buf, 10, MSG_WAITALL), 10);
    EXPECT_EQ(std::string(buf, 10), "00005hello");

    ASSERT_EQ(::send(peer, "^00003abc$", 10, 0), 10);
    EXPECT_EQ(link.receive(buf, sizeof buf), 10);
    ::close(peer);
}

TEST(TcpLink, PeerCloseGivesZeroAndSendFailsWithoutSignal)
{
    Listener listener;
    pf::TcpLink link;
    ASSERT_TRUE(link.connectTo("localhost", listener.port(), 2000)) << link.error();
    ::close(listener.accept());
    char buf[16];
    EXPECT_EQ(link.receive(buf, sizeof buf), 0);
    // The peer is gone: sending must fail (EPIPE), never raise SIGPIPE.
    bool failed = false;
    for (int i = 0; i < 50 && !failed; ++i)
        failed = !link.sendAll(std::string(4096, 'x'));
    EXPECT_TRUE(failed);
}

TEST(TcpLink, InterruptEndsABlockedReceiveFromAnotherThread)
{
    Listener listener;
    pf::TcpLink link;
    ASSERT_TRUE(link.connectTo("127.0.0.1", listener.port(), 2000));
    const int peer = listener.accept();
    std::atomic<long> got{1};
    std::thread reader([&] {
        char buf[16];
        got = link.receive(buf, sizeof buf);
    });
    link.interrupt();
    reader.join();
    EXPECT_EQ(got.load(), -1);
    EXPECT_FALSE(link.sendAll("x"));
    EXPECT_TRUE(link.isOpen()); // the owner closes
    link.close();
    EXPECT_EQ(link.fd(), -1);
    ::close(peer);
}

// A peer that never reads: a bounded send gives up once its time is over; an
// unbounded one waits for room until an interrupt ends it.
TEST(TcpLink, ASendToAPeerThatStoppedReadingEndsAtItsDeadlineOrAnInterrupt)
{
    Listener listener;
    pf::TcpLink link;
    ASSERT_TRUE(link.connectTo("127.0.0.1", listener.port(), 2000));
    const int peer = listener.accept();
    ASSERT_GE(peer, 0);
    const std::string lots(64 << 20, 'x'); // far beyond both sockets' buffers
    EXPECT_FALSE(link.sendAll(lots, 300));
    EXPECT_NE(link.error().find("no room"), std::string::npos) << link.error();

    std::atomic<int> result{-1};
    std::thread sender([&] { result = link.sendAll(lots) ? 1 : 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(result.load(), -1) << "the unbounded send did not wait";
    link.interrupt();
    sender.join();
    EXPECT_EQ(result.load(), 0);
    link.close();
    ::close(peer);
}

TEST(TcpLink, RefusedOrUnresolvableConnectReportsAnError)
{
    int port;
    {
        Listener gone;
        port = gone.port();
    }
    pf::TcpLink link;
    EXPECT_FALSE(link.connectTo("127.0.0.1", port, 2000));
    EXPECT_NE(link.error().find("connect"), std::string::npos);
    EXPECT_FALSE(link.connectTo("no-such-host.invalid", 80, 2000));
    EXPECT_FALSE(link.isOpen());
}

TEST(DatagramPort, ReceivesAndIsInterrupted)
{
    pf::DatagramPort port;
    ASSERT_TRUE(port.bindTo(0)) << port.error();
    ASSERT_GT(port.port(), 0);
    const int out = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<uint16_t>(port.port()));
    ASSERT_EQ(::sendto(out, "|00003,abc", 10, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 10);
    char buf[64];
    EXPECT_EQ(port.receive(buf, sizeof buf), 10);
    ::close(out);

    std::atomic<long> got{1};
    std::thread reader([&] { got = port.receive(buf, sizeof buf); });
    port.interrupt();
    reader.join();
    EXPECT_EQ(got.load(), -1);
}

TEST(LocalAddress, IsDottedIPv4)
{
    in_addr a{};
    EXPECT_EQ(::inet_pton(AF_INET, pf::localIPv4().c_str(), &a), 1);
}

// The address sent as this machine's: never a loopback one while the machine
// has another (a Debian host name resolves to 127.0.1.1).
TEST(LocalAddress, FirstUpInterfaceThatIsNotLoopback)
{
    const auto ip = [](const char* dotted) {
        in_addr a{};
        ::inet_pton(AF_INET, dotted, &a);
        return ntohl(a.s_addr);
    };
    struct Case {
        const char* name;
        std::vector<pf::InterfaceAddress> interfaces;
        const char* want;
    };
    const Case cases[] = {
        {"none", {}, "127.0.0.1"},
        {"loopback only", {{"lo", ip("127.0.0.1"), true}}, "127.0.0.1"},
        {"loopback and the host name's", {{"lo", ip("127.0.0.1"), true}, {"lo", ip("127.0.1.1"), true}},
         "127.0.0.1"},
        {"loopback plus one", {{"lo", ip("127.0.0.1"), true}, {"eth0", ip("192.168.1.20"), true}}, "192.168.1.20"},
        {"several: the first", {{"lo", ip("127.0.0.1"), true}, {"eth0", ip("10.1.2.3"), true},
                                {"wlan0", ip("192.168.1.20"), true}}, "10.1.2.3"},
        {"a down interface is skipped", {{"eth0", ip("10.1.2.3"), false}, {"wlan0", ip("192.168.1.20"), true}},
         "192.168.1.20"},
        {"other 127/8 addresses", {{"lo", ip("127.255.0.9"), true}, {"eth1", ip("172.16.0.4"), true}}, "172.16.0.4"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(pf::localIPv4(c.interfaces), c.want) << c.name;
}

} // namespace

} // namespace test_feed_net
