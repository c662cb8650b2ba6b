#include "MyAsync.h"

#include "loopback_http_server.h"
#include "pf/http_session.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace {

using testhttp::Connection;
using testhttp::LoopbackHttpServer;
using testhttp::Request;

std::string fileText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class MyAsyncTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vx_orn_XXXXXX").string();
        ASSERT_TRUE(::mkdtemp(pattern.data()));
        m_folder = pattern;
        MyAsync::SetLogFolder(m_folder);
        m_session.setProxy(std::string()); // loopback only, whatever the environment says
    }
    void TearDown() override
    {
        MyAsync::SetLogFolder({});
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }

    // What the program does: read in pieces of 10240 until -1.
    static std::string readBody(MyAsync& async)
    {
        std::string body;
        std::vector<unsigned char> buffer(10240 + 1);
        for (int guard = 0; guard < 10000; ++guard) {
            const int n = async.ReadHttpData(buffer.data(), 10240);
            if (n == -1)
                break;
            EXPECT_EQ(buffer[size_t(n)], '\0');
            body.append(reinterpret_cast<const char*>(buffer.data()), size_t(n));
        }
        return body;
    }

    std::filesystem::path m_folder;
    pf::HttpSession m_session;
};

TEST_F(MyAsyncTest, ExchangeSendsTheTextWithItsNulAndReadsTheWholeBody)
{
    const std::string reply(30000, 'z');
    LoopbackHttpServer server([&](const Request&, Connection& c) { c.send(LoopbackHttpServer::response(200, reply)); });
    MyAsync async(&m_session, 0, nullptr, nullptr, 50);
    EXPECT_EQ(async.SyncDirect(1, 0, server.port(), "POST", "127.0.0.1", "/cgi-bin/req", "abcdefghijklmn"), 200u);
    EXPECT_EQ(readBody(async), reply);
    EXPECT_EQ(async.ReadError(), 0);

    // After the end: -1 and the buffer untouched.
    unsigned char buffer[8] = {'k', 'e', 'e', 'p', 0};
    EXPECT_EQ(async.ReadHttpData(buffer, 7), -1);
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "keep");
    async.Close();
    async.Close(); // a second Close is harmless

    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].body, std::string("abcdefghijklmn\0", 15));
    EXPECT_FALSE(std::filesystem::exists(m_folder / "InternetError.log"));
    EXPECT_EQ(m_session.maxHostConnections(), 50);
}

TEST_F(MyAsyncTest, GetPutsTheDataAfterAQuestionMarkOnlyWhenThereIsSome)
{
    LoopbackHttpServer server([](const Request&, Connection& c) { c.send(LoopbackHttpServer::response(200, "")); });
    {
        MyAsync async(&m_session, 0, nullptr, nullptr, 50);
        EXPECT_EQ(async.SyncDirect(1, 0, server.port(), "GET", "127.0.0.1", "/a", "x=1"), 200u);
    }
    {
        MyAsync async(&m_session, 0, nullptr, nullptr, 50);
        EXPECT_EQ(async.SyncDirect(1, 0, server.port(), "GET", "127.0.0.1", "/a", ""), 200u);
    }
    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[0].target, "/a?x=1");
    EXPECT_EQ(server.requests()[1].target, "/a");
    EXPECT_TRUE(server.requests()[1].body.empty());
}

TEST_F(MyAsyncTest, TraceFileOnlyWithTheTraceFlag)
{
    LoopbackHttpServer server([](const Request&, Connection& c) {
        c.send(LoopbackHttpServer::response(407, "", "Proxy Authentication Required"));
    });
    {
        MyAsync async(&m_session, 1, "domain\\user", "secret", 50);
        EXPECT_EQ(async.SyncDirect(7, MyAsync::kTraceFlag, server.port(), "POST", "127.0.0.1", "/p", "t"), 407u);
        async.Close();
    }
    {
        MyAsync async(&m_session, 0, nullptr, nullptr, 50);
        EXPECT_EQ(async.SyncDirect(8, 12345, server.port(), "POST", "127.0.0.1", "/p", "t"), 407u);
    }
    EXPECT_EQ(fileText(m_folder / "SyncDirect-7.log"),
              "InternetConnect Successful.\nHttpOpenRequest Successful.\nHttpSendRequest Ret :1\n"
              "Query Info Ret :1,Status :407\nClosing File\n");
    EXPECT_FALSE(std::filesystem::exists(m_folder / "SyncDirect-8.log"));
}

TEST_F(MyAsyncTest, UnreachableServerGivesAnErrorNumberAndOneErrorLogLine)
{
    MyAsync async(&m_session, 0, nullptr, nullptr, 50);
    EXPECT_EQ(async.SyncDirect(1, 0, testhttp::closedPort(), "POST", "127.0.0.1", "/p", "t"), 12029u);
    const std::string log = fileText(m_folder / "InternetError.log");
    EXPECT_TRUE(std::regex_match(log, std::regex(R"(\d{4}-\d\d-\d\d-\d\d:\d\d:\d\d - 12029 - [^\n]+\n)"))) << log;
    unsigned char buffer[4];
    EXPECT_EQ(async.ReadHttpData(buffer, 3), -1);
}

TEST_F(MyAsyncTest, BodyCutShortReadsAsFailure)
{
    LoopbackHttpServer server([](const Request&, Connection& c) {
        c.send("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nonly this");
    });
    MyAsync async(&m_session, 0, nullptr, nullptr, 50);
    ASSERT_EQ(async.SyncDirect(1, 0, server.port(), "GET", "127.0.0.1", "/", ""), 200u);
    EXPECT_EQ(readBody(async), "only this");
    EXPECT_NE(async.ReadError(), 0);
}

TEST_F(MyAsyncTest, CancelFromAnotherThreadEndsAStreamRead)
{
    LoopbackHttpServer server([](const Request&, Connection& c) {
        c.send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\ntick1\r\n");
        c.waitForStop(); // a feed stream that stays open
    });
    MyAsync async(&m_session, 0, nullptr, nullptr, 50);
    ASSERT_EQ(async.SyncDirect(1, 0, server.port(), "GET", "127.0.0.1", "/stream", ""), 200u);
    unsigned char buffer[16385];
    ASSERT_EQ(async.ReadHttpData(buffer, 16384), 5);
    std::thread stopper([&] { async.Cancel(); });
    EXPECT_EQ(async.ReadHttpData(buffer, 16384), -1);
    stopper.join();
    EXPECT_EQ(async.ReadError(), 12017);
    async.Close();
    server.stop();
}

} // namespace
