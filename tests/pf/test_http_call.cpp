#include "pf/http_call.h"

#include "loopback_http_server.h"
#include "pf_test_support.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

using testhttp::closedPort;
using testhttp::Connection;
using testhttp::LoopbackHttpServer;
using testhttp::Request;

// A session that ignores any proxy of the environment: tests talk to loopback.
struct LocalSession : pf::HttpSession {
    LocalSession() { setProxy(std::string()); }
};

std::string readAll(pf::HttpCall& call, size_t chunk)
{
    std::string body;
    std::vector<char> buffer(chunk);
    for (int guard = 0; guard < 100000; ++guard) {
        const long n = call.read(buffer.data(), buffer.size());
        if (n < 0)
            break;
        body.append(buffer.data(), size_t(n));
    }
    return body;
}

TEST(HttpCall, SendsExactlyWhatTheRequestNeeds)
{
    const std::string reply(50000, 'r'); // several reads of 10240
    LoopbackHttpServer server([&](const Request&, Connection& c) { c.send(LoopbackHttpServer::response(200, reply)); });
    LocalSession session;

    const struct {
        const char* name;
        const char* verb;
        const char* data;
        const char* target;
        std::string body;
    } cases[] = {
        {"post carries the NUL", "POST", "14 characters!", "/cgi/x", std::string("14 characters!\0", 15)},
        {"get with data", "GET", "a=1&b=2", "/cgi/x?a=1&b=2", ""},
        {"get without data", "GET", "", "/cgi/x", ""},
        {"empty post is one NUL", "POST", "", "/cgi/x", std::string(1, '\0')},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        pf::HttpCall call(session);
        ASSERT_EQ(call.send(c.verb, "127.0.0.1", server.port(), "/cgi/x", c.data), 200) << c.name;
        EXPECT_EQ(readAll(call, 10240), reply) << c.name;
        EXPECT_FALSE(call.failed()) << c.name;
        EXPECT_EQ(call.read(nullptr, 10), -1) << "after the end";

        const Request got = server.requests().at(i);
        EXPECT_EQ(got.method, c.verb) << c.name;
        EXPECT_EQ(got.target, c.target) << c.name;
        EXPECT_EQ(got.body, c.body) << c.name;
        EXPECT_EQ(got.headers.count("content-type"), 0u) << c.name;
        EXPECT_EQ(got.headers.count("expect"), 0u) << c.name;
        EXPECT_EQ(got.headers.count("accept"), 0u) << c.name;
        EXPECT_EQ(got.headers.at("user-agent"), "Vortanex") << c.name;
    }
}

TEST(HttpCall, ProxyAuthenticationStatusComesBack)
{
    LoopbackHttpServer server([](const Request&, Connection& c) {
        c.send(LoopbackHttpServer::response(407, "auth", "Proxy Authentication Required"));
    });
    {
        LocalSession session;
        pf::HttpCall call(session);
        EXPECT_EQ(call.send("POST", "127.0.0.1", server.port(), "/p", "x"), 407);
        EXPECT_EQ(readAll(call, 100), "auth");
    }
    {
        // The proxy refuses the tunnel of an HTTPS request.
        LocalSession session;
        session.setProxy("http://127.0.0.1:" + std::to_string(server.port()));
        pf::HttpCall call(session);
        EXPECT_EQ(call.send("POST", "broker.invalid", 443, "/p", "x"), 407);
        EXPECT_EQ(server.requests().back().method, "CONNECT");
    }
}

TEST(HttpCall, BodyCutShortIsAFailureNotAnEnd)
{
    LoopbackHttpServer server([](const Request&, Connection& c) {
        c.send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789");
    });
    LocalSession session;
    pf::HttpCall call(session);
    ASSERT_EQ(call.send("GET", "127.0.0.1", server.port(), "/", ""), 200);
    EXPECT_EQ(readAll(call, 64), "0123456789");
    EXPECT_TRUE(call.failed());
    EXPECT_EQ(call.error(), pf::HttpCall::ErrConnectionAborted);
    EXPECT_FALSE(call.errorText().empty());
}

TEST(HttpCall, ConnectionErrorsMapToErrorNumbers)
{
    LocalSession session;
    {
        pf::HttpCall call(session);
        EXPECT_EQ(call.send("GET", "127.0.0.1", closedPort(), "/", ""), pf::HttpCall::ErrCannotConnect);
        EXPECT_TRUE(call.failed());
        EXPECT_EQ(call.read(nullptr, 1), -1);
    }
    {
        pf::HttpCall call(session);
        EXPECT_EQ(call.send("GET", "no-such-host.invalid", 80, "/", ""), pf::HttpCall::ErrNameNotResolved);
    }
    {
        LoopbackHttpServer server([](const Request&, Connection& c) { c.send("garbage\r\n\r\n"); });
        pf::HttpCall call(session);
        EXPECT_EQ(call.send("GET", "127.0.0.1", server.port(), "/", ""), pf::HttpCall::ErrInvalidResponse);
    }
}

TEST(HttpCall, CancelFromAnotherThreadEndsABlockedReadAndSend)
{
    LoopbackHttpServer server([](const Request& r, Connection& c) {
        if (r.target == "/stream")
            c.send("HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\nfirst");
        c.waitForStop(); // a stream that never goes on, or a reply that never comes
    });
    LocalSession session;
    {
        pf::HttpCall call(session);
        ASSERT_EQ(call.send("GET", "127.0.0.1", server.port(), "/stream", ""), 200);
        char buffer[64];
        ASSERT_EQ(call.read(buffer, sizeof buffer), 5);
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            call.cancel();
        });
        EXPECT_EQ(call.read(buffer, sizeof buffer), -1);
        canceller.join();
        EXPECT_EQ(call.error(), pf::HttpCall::ErrCancelled);
    }
    {
        pf::HttpCall call(session);
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            call.cancel();
        });
        EXPECT_EQ(call.send("POST", "127.0.0.1", server.port(), "/silent", "x"), pf::HttpCall::ErrCancelled);
        canceller.join();
    }
    server.stop();
}

// A stream whose server takes later texts on the same connection: the texts
// go on the live socket while another thread reads the response, and never
// once the connection is gone.
TEST(HttpCall, TextsGoOnTheStreamConnectionOnlyWhileItLives)
{
    std::mutex mutex;
    std::string received; // guarded by mutex
    LoopbackHttpServer server([&](const Request&, Connection& c) {
        c.send("HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\nfirst");
        std::string got;
        char chunk[64];
        while (got.size() < 10) {
            const long n = c.receive(chunk, sizeof chunk);
            if (n <= 0)
                break;
            got.append(chunk, size_t(n));
        }
        {
            std::lock_guard lock(mutex);
            received = got;
        }
        c.send("second"); // the body ends: the connection closes
    });
    LocalSession session;
    pf::HttpCall call(session);
    EXPECT_EQ(call.activeSocket(), -1);
    EXPECT_FALSE(call.sendOnConnection("00005early"));
    ASSERT_EQ(call.send("GET", "127.0.0.1", server.port(), "/stream", ""), 200);
    EXPECT_GE(call.activeSocket(), 0);
    EXPECT_FALSE(call.wrapped());
    char buffer[64];
    ASSERT_EQ(call.read(buffer, sizeof buffer), 5);

    std::atomic<bool> sent{false};
    std::thread sender([&] { sent = call.sendOnConnection("00005hello"); });
    // This thread blocks in read() meanwhile: the reply to the text arrives.
    std::string rest;
    for (long n; (n = call.read(buffer, sizeof buffer)) >= 0;)
        rest.append(buffer, size_t(n));
    sender.join();
    EXPECT_TRUE(sent.load());
    EXPECT_EQ(rest, "second");
    EXPECT_FALSE(call.failed()) << call.errorText();
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(received, "00005hello");
    }
    // The body is complete: the socket is forgotten, nothing more is written.
    call.close();
    EXPECT_EQ(call.activeSocket(), -1);
    EXPECT_FALSE(call.sendOnConnection("00005later"));
    server.stop();
}

TEST(HttpCall, ConnectionLimitPerServerMakesTheNextCallWait)
{
    LoopbackHttpServer server([](const Request&, Connection& c) { c.send(LoopbackHttpServer::response(200, "ok")); });
    LocalSession session;
    session.setMaxHostConnections(1);
    auto first = std::make_unique<pf::HttpCall>(session);
    ASSERT_EQ(first->send("GET", "127.0.0.1", server.port(), "/1", ""), 200);

    std::atomic<int> secondStatus{0};
    std::thread second([&] {
        pf::HttpCall call(session);
        secondStatus = call.send("GET", "127.0.0.1", server.port(), "/2", "");
    });
    // While the first call is open the second may not reach the server.
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(server.requests().size(), 1u);
    }
    first.reset();
    second.join();
    EXPECT_EQ(secondStatus.load(), 200);
    EXPECT_EQ(server.requests().size(), 2u);
}

class HttpsCall : public ::testing::Test {
protected:
    static const testhttp::TestPki& pki()
    {
        static const testhttp::TestPki instance;
        return instance;
    }
    pftest::TempDir m_dir;
};

TEST_F(HttpsCall, TrustsTheGivenAuthorityAndRefusesAnUnknownOne)
{
    LoopbackHttpServer server([](const Request&, Connection& c) { c.send(LoopbackHttpServer::response(200, "tls")); },
                              &pki());
    // Port 443 is what makes a request secure; the redirect map sends it to
    // the test server's port.
    const std::vector<std::string> redirect{"127.0.0.1:443:127.0.0.1:" + std::to_string(server.port())};
    {
        LocalSession session;
        session.setConnectTo(redirect);
        session.setCaFile(pki().writeCaFile(m_dir.path()).string());
        pf::HttpCall call(session);
        ASSERT_EQ(call.send("POST", "127.0.0.1", 443, "/s", "x"), 200) << call.errorText();
        EXPECT_EQ(readAll(call, 100), "tls");
    }
    {
        const testhttp::TestPki stranger("Another Authority");
        pftest::TempDir otherDir;
        LocalSession session;
        session.setConnectTo(redirect);
        session.setCaFile(stranger.writeCaFile(otherDir.path()).string());
        pf::HttpCall call(session);
        EXPECT_EQ(call.send("POST", "127.0.0.1", 443, "/s", "x"), pf::HttpCall::ErrSecureFailure) << call.errorText();
        // The explicit opt-out accepts it.
        session.setVerifyPeer(false);
        pf::HttpCall unchecked(session);
        EXPECT_EQ(unchecked.send("POST", "127.0.0.1", 443, "/s", "x"), 200);
    }
}

TEST_F(HttpsCall, RawTextsNeverGoInsideTheEncryptedStream)
{
    LoopbackHttpServer server(
        [](const Request&, Connection& c) {
            c.send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nx");
            c.waitForStop();
        },
        &pki());
    LocalSession session;
    session.setConnectTo({"127.0.0.1:443:127.0.0.1:" + std::to_string(server.port())});
    session.setVerifyPeer(false);
    pf::HttpCall call(session);
    ASSERT_EQ(call.send("GET", "127.0.0.1", 443, "/stream", ""), 200) << call.errorText();
    EXPECT_TRUE(call.wrapped());
    EXPECT_GE(call.activeSocket(), 0);
    EXPECT_FALSE(call.sendOnConnection("00005hello"));
    call.cancel();
    call.close();
    server.stop();
}

TEST(HttpSession, RedirectMapComesFromTheEnvironment)
{
    LoopbackHttpServer server([](const Request& r, Connection& c) {
        c.send(LoopbackHttpServer::response(200, r.headers.count("host") ? r.headers.at("host") : ""));
    });
    const std::string value = "broker.invalid:80:127.0.0.1:" + std::to_string(server.port()) + ", junk";
    ::setenv(pf::HttpSession::kConnectToVariable, value.c_str(), 1);
    LocalSession session;
    ::unsetenv(pf::HttpSession::kConnectToVariable);
    pf::HttpCall call(session);
    ASSERT_EQ(call.send("GET", "broker.invalid", 80, "/", ""), 200);
    EXPECT_EQ(readAll(call, 100), "broker.invalid"); // the Host header names the original server
}

TEST(HttpSession, ParsesOnlyWellFormedRedirects)
{
    EXPECT_EQ(pf::HttpSession::parseConnectTo("a:80:127.0.0.1:81, b:443:127.0.0.1:82"),
              (std::vector<std::string>{"a:80:127.0.0.1:81", "b:443:127.0.0.1:82"}));
    EXPECT_TRUE(pf::HttpSession::parseConnectTo("a:80:127.0.0.1,a:x:b:1,:80:b:1,a:80:b:1:2,").empty());
}

} // namespace
