// Session exchanges, start-up look-ups, downloads and the control interface
// over loopback HTTP.
#include "RawClient.h"

#include "Lzo.h"
#include "RequestDecoder.h"
#include "TestBroker.h"

#include <openssl/ssl.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace test_broker_session {

namespace {

using tbtest::postText;
using tbtest::splitText;

const char kDigest[] = "+SWRbidU5eA/dd1YpXMyUQ=="; // Base64 of the MD5 of "Test@123"

std::string loginText(const std::string& digest = kDigest, const std::string& secDate = "0")
{
    return "LoginData=3000|U1|" + digest + "|4|127.0.0.1|242||MRT382QJ|1|VX_1234_maker&SecDate=" + secDate;
}

class BrokerSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        tb::BrokerOptions o;
        o.year = 2026;
        o.month = 12;
        o.day = 8;
        o.keepAliveMs = 0;
        o.keyDir = TB_KEYS_DIR;
        m_broker = std::make_unique<tb::TestBroker>(o);
        std::string error;
        ASSERT_TRUE(m_broker->start(&error)) << error;
        m_port = m_broker->httpPort();
    }
    std::unique_ptr<tb::TestBroker> m_broker;
    uint16_t m_port = 0;
};

// An index's intraday chart is the day its quote tells: it opens at the
// day's open, ends at the last value and never leaves the day's low and high.
TEST_F(BrokerSession, AnIndexIntradayChartAgreesWithTheDaysFigures)
{
    for (int step = 0; step < 200; ++step)
        m_broker->marketStep();
    int checked = 0;
    for (const tb::Security* s : m_broker->universe().indices()) {
        const tb::Quote q = m_broker->quote(s->wtoken);
        const tbtest::HttpResult r
            = tbtest::httpRequest(m_port, "GET", "/qtrade/feeds.exe?ctoken=" + std::to_string(s->wtoken) + "|1");
        ASSERT_EQ(r.status, 200) << s->name;
        const std::optional<std::string> text = tb::lzoDecompress(r.body, 8 << 20);
        ASSERT_TRUE(text) << s->name;
        const std::vector<std::string> records = tbtest::splitText(*text, '~');
        ASSERT_GT(records.size(), 2u) << s->name;
        std::vector<double> prices;
        for (size_t i = 1; i < records.size(); ++i)
            if (!records[i].empty())
                prices.push_back(std::atof(tbtest::splitText(records[i])[0].c_str()));
        ASSERT_FALSE(prices.empty()) << s->name;
        EXPECT_NEAR(prices.front(), q.open / 100.0, 0.005) << s->name;
        EXPECT_NEAR(prices.back(), q.last / 100.0, 0.005) << s->name;
        for (double p : prices) {
            EXPECT_GE(p, q.low / 100.0 - 0.005) << s->name;
            EXPECT_LE(p, q.high / 100.0 + 0.005) << s->name;
        }
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

TEST_F(BrokerSession, EncryptionDetailsArriveBase64AndNameTheTradeServer)
{
    m_broker->setEncryption(1);
    const std::string text = "ED=19|4|MRT382QJ|127.0.0.1|U1|1|host|Linux|x";
    const auto r = postText(m_port, "/qtrade/qencdet.exe", tb::base64Encode(text));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "0|OK||1|||127.0.0.1|" + std::to_string(m_port) + "|a|b|0|0");
    const auto seen = m_broker->waitForKey("ED=19", 1000);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->decoded.encryption, 1);
    EXPECT_EQ(seen->decoded.text, text);
}

TEST_F(BrokerSession, LoginAnswersEveryScriptedStatus)
{
    for (int status : {0, 2, 3, 4, 5, 109, 110, 6002, 60041}) {
        m_broker->scriptLogin(status);
        const auto r = postText(m_port, "/qtrade/qlogin.exe", loginText());
        const auto f = splitText(r.body);
        ASSERT_EQ(f.size(), 37u) << status;
        EXPECT_EQ(f[0], "3000");
        EXPECT_EQ(f[1], std::to_string(status));
        EXPECT_FALSE(f[2].empty());
        EXPECT_EQ(f[6], "U1");
        // The limits columns and "Additional Margin" on, trading (12) off.
        std::string flags(128, '0');
        for (size_t i : {0, 1, 8, 10, 13, 52, 53, 59})
            flags[i] = '1';
        EXPECT_EQ(f[18], flags);
    }
    // Without a script the credentials decide.
    EXPECT_EQ(splitText(postText(m_port, "/qtrade/qlogin.exe", loginText()).body)[1], "0");
    EXPECT_EQ(splitText(postText(m_port, "/qtrade/qlogin.exe", loginText("AAAAAAAAAAAAAAAAAAAAAA==")).body)[1], "109");
}

TEST_F(BrokerSession, LoginFieldsCanBeScriptedAndTheNomineeReplyCarriesTheFlags)
{
    std::string flags(128, '0');
    flags[62] = 'N';
    m_broker->setLoginField(19, flags);
    m_broker->setLoginField(25, "1");
    const auto f = splitText(postText(m_port, "/qtrade/qlogin.exe", loginText()).body);
    ASSERT_EQ(f.size(), 37u);
    EXPECT_EQ(f[18], flags);
    EXPECT_EQ(f[24], "1");
    const auto nominee = splitText(postText(m_port, "/qtrade/qlogin.exe", "LoginData=3015|U1|SESS0001|4").body);
    ASSERT_EQ(nominee.size(), 5u);
    EXPECT_EQ(nominee[4], flags);
    m_broker->setLoginField(25, {}, true);
    EXPECT_EQ(splitText(postText(m_port, "/qtrade/qlogin.exe", loginText()).body)[24], "0");
    // The browser page of statuses 3 and 4 and of the nominee notice.
    const auto page = tbtest::httpRequest(m_port, "GET", "/qtrade/qlogin.exe?LoginData=1002|U1|SESS0001|408");
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("LoginData=1002"), std::string::npos);
    // A page request's percent-encoded text is read decoded.
    const auto advisory = tbtest::httpRequest(m_port, "GET", "/qtrade/qlogin.exe?LoginData=1002|U1|SESS0001|-1|REF%201%262");
    EXPECT_EQ(advisory.status, 200);
    EXPECT_TRUE(m_broker->waitForRequest(
        [](const tb::RecordedRequest& r) { return r.decoded.text == "LoginData=1002|U1|SESS0001|-1|REF 1&2"; }, 2000));
    // The market-data site's company page names the scrip asked for.
    const auto profile = tbtest::httpRequest(m_port, "GET", "/zqvdata/mktdata.exe?action=company_profile&param=M%26M");
    EXPECT_EQ(profile.status, 200);
    EXPECT_NE(profile.body.find("<p>M&M</p>"), std::string::npos) << profile.body;
}

TEST_F(BrokerSession, LoginStampStatesTheExactSizeOfTheFileDue)
{
    const auto full = tbtest::httpRequest(m_port, "GET", "/security/security.lzo");
    ASSERT_EQ(full.status, 200);
    const std::string size = std::to_string(full.body.size());

    EXPECT_EQ(splitText(postText(m_port, "/qtrade/qlogin.exe", loginText()).body)[21], "0-3000-" + size + "-" + size);
    EXPECT_EQ(splitText(postText(m_port, "/qtrade/qlogin.exe", loginText(kDigest, "08122026")).body)[21],
              "0-0-0-" + size);
    m_broker->setIncrementalDue(3);
    const auto incr = tbtest::httpRequest(m_port, "GET", "/security/security_3.lzo");
    ASSERT_EQ(incr.status, 200);
    EXPECT_EQ(splitText(postText(m_port, "/qtrade/qlogin.exe", loginText(kDigest, "08122026")).body)[21],
              "3-0-" + std::to_string(incr.body.size()) + "-" + size);
    EXPECT_EQ(tbtest::httpRequest(m_port, "GET", "/security/nothing.lzo").status, 404);
}

TEST_F(BrokerSession, AccountExchangesAndStartUpLookUps)
{
    struct Case {
        const char* path;
        const char* text;
        const char* replyStart;
    };
    const Case cases[] = {
        {"/qtrade/qlogin.exe", "LoginData=1001|U1|SESS0001|4", "1001|0|"},
        {"/qtrade/qlogin.exe", "LoginData=1006|U1|SESS0001|4|+SWRbidU5eA/dd1YpXMyUQ==|", "1006|0|"},
        {"/qtrade/qlogin.exe", "LoginData=1006|U1|SESS0001|4|wrong|", "1006|1|"},
        {"/qtrade/qlogin.exe", "LoginData=1008|U1|x|4|1|1", "1058|0|"},
        {"/qtrade/qlogin.exe", "LoginData=1009|U1|98XXXXXX21|4|1|1", "1059|0|"},
        {"/qtrade/qlogin.exe", "LoginData=1011|U1|x|4|127.0.0.1|1", "1061|0|U1|"},
        {"/qtrade/qlogin.exe", "LoginData=1010|U1|SESS0001|4", "1010|0||0"},
        {"/qtrade/qlogin.exe", "LoginData=3015|U1|SESS0001|4", "3015|0|"},
        {"/qtrade/qlogin.exe", "LoginData=3010|a~b~c~d~e~1~f~1024x768~g~h~i~j~k", "3010|0|"},
        {"/qtrade/qlogin.exe", "LoginData=1013|5|U1|ABC12|1|4|127.0.0.1|7|0", "1013|0|"},
        {"/qtrade/qphone.exe", "ReportData=1007|U1|4|127.0.0.1|1|1", "1007|1|"},
        {"/qtrade/qphone.exe", "ReportData=1110||U1||4|1|1^Blue|127.0.0.1", "1110|0|"},
        {"/qtrade/qphone.exe", "ReportData=1114|U1|4|127.0.0.1|1", "1114|0|"},
        {"/qtrade/qphone.exe", "ReportData=1116|U1|4|127.0.0.1|1", "1116|0|"},
        {"/qtrade/qreport.exe", "ReportData=920|SESS0001|U1|ABC12|ABC12|4", "921|0|0|2|2~1|1^2|2"},
        {"/qtrade/qreport.exe", "ReportData=810|U1|SESS0001|4|2.3.0.20|5|info|Good|Y", "811|0|"},
        {"/qtrade/qreport.exe", "ReportData=900|SESS0001|U1|1", "901|0|||"},
        {"/qtrade/qreport.exe", "ReportData=930|SESS0001|U1|4", "931|0||4~9000"},
        {"/qtrade/Glenvarro.exe", "WD=115|SESS0001|ALL|4", "115|0|OK^NN|Open^BN|Open^CN|Open^CB|Open^MC|Open"},
        {"/qtrade/Glenvarro.exe", "WD=111|SESS0001|ALL|4", "111|0|OK^"},
        {"/qtrade/Glenvarro.exe", "WD=100|SESS0001|U1|4", "100|0|OK"},
        {"/qtrade/Glenvarro.exe", "WD=121|SESS0001|U1|-1|4", "121|0|OK^"},
        {"/qtrade/Glenvarro.exe", "WD=117|SESS0001|26000|NN|4", "167|0|OK^"},
        {"/qtrade/Glenvarro.exe", "WD=104|SESS0001|U1|-501|4", "154|0|OK^"},
        {"/qtrade/feeds.exe", "action=L&token=2819", "S*0,"},
    };
    for (const Case& c : cases) {
        const auto r = postText(m_port, c.path, c.text);
        EXPECT_EQ(r.status, 200) << c.text;
        EXPECT_EQ(r.body.substr(0, std::string(c.replyStart).size()), c.replyStart) << c.text << " -> " << r.body;
        EXPECT_EQ(r.body.find('\0'), std::string::npos) << c.text;
    }
    // The index row's feed code is the index's watch token in the master.
    const auto indices = splitText(postText(m_port, "/qtrade/Glenvarro.exe", "WD=111|SESS0001|ALL|4").body, '^');
    bool nifty = false;
    for (const std::string& row : indices) {
        const auto f = splitText(row);
        if (f[0] == "26000") {
            ASSERT_EQ(f.size(), 13u);
            EXPECT_EQ(f[12], "51999");
            nifty = true;
        }
    }
    EXPECT_TRUE(nifty);
    // A server category lists its members, as the market scanner loads them.
    const auto it = postText(m_port, "/qtrade/Glenvarro.exe", "WD=104|SESS0001|U1|-503|4").body;
    EXPECT_NE(it.find("~1949|TCS|NN"), std::string::npos) << it;
    EXPECT_EQ(splitText(it, '~').size(), 5u) << it;
}

TEST_F(BrokerSession, PasswordChangeTakesEffectAtTheNextLogin)
{
    const std::string newDigest = "Zm9vYmFyYmF6cXV4cXV1eA==";
    EXPECT_EQ(postText(m_port, "/qtrade/qlogin.exe", "LoginData=1005|U1|wrong|" + newDigest + "|4|127.0.0.1").body.substr(0, 7),
              "1005|1|");
    EXPECT_EQ(postText(m_port, "/qtrade/qlogin.exe",
                       std::string("LoginData=1005|U1|") + kDigest + "|" + newDigest + "|4|127.0.0.1")
                  .body,
              "1005|0|Password changed successfully");
    EXPECT_EQ(splitText(postText(m_port, "/qtrade/qlogin.exe", loginText()).body)[1], "109");
    EXPECT_EQ(splitText(postText(m_port, "/qtrade/qlogin.exe", loginText(newDigest)).body)[1], "0");
}

TEST_F(BrokerSession, WatchListSavedThenListedWithItsRows)
{
    const auto saved = splitText(postText(m_port, "/qtrade/Glenvarro.exe",
                                       "WD=107|SESS0001|U1|MyList1|2^1410|NSE|0~2885|BSE|0~|4")
                                  .body);
    ASSERT_GE(saved.size(), 5u);
    EXPECT_EQ(saved[1], "0");
    EXPECT_EQ(postText(m_port, "/qtrade/Glenvarro.exe", "WD=100|SESS0001|U1|4").body, "100|0|OK^" + saved[4] + "|MyList1");
    EXPECT_EQ(postText(m_port, "/qtrade/Glenvarro.exe", "WD=104|SESS0001|U1|" + saved[4] + "|4").body,
              "154|0|OK^1410|SBIN|NN~2885|-|BN");
}

TEST_F(BrokerSession, ChunkedBodyAfterContinueOnAKeptAliveConnection)
{
    tbtest::RawClient c;
    ASSERT_TRUE(c.connect(m_port));
    ASSERT_TRUE(c.send("POST /qtrade/qlogin.exe HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n"
                       "Expect: 100-continue\r\n\r\n"));
    EXPECT_EQ(c.readUntil("\r\n\r\n"), "HTTP/1.1 100 Continue\r\n\r\n");
    const std::string text = "LoginData=1001|U1|SESS0001|4";
    ASSERT_TRUE(c.send("a\r\n" + text.substr(0, 10) + "\r\n"));
    ASSERT_TRUE(c.send("13\r\n" + text.substr(10) + std::string(1, '\0') + "\r\n0\r\n\r\n"));
    const std::string head = c.readUntil("\r\n\r\n");
    EXPECT_EQ(head.substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_EQ(c.read(17), "1001|0|Logged out");
    // The same connection serves the next request.
    ASSERT_TRUE(c.send("GET /alert.wav HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"));
    EXPECT_EQ(c.readUntil("\r\n\r\n").substr(0, 15), "HTTP/1.1 200 OK");
    const auto seen = m_broker->waitForKey("LoginData=1001", 1000);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->decoded.text, text);
}

TEST_F(BrokerSession, RsaRequestIsDecodedAndRecorded)
{
    const std::string text = "LoginData=1001|U1|SESS0001|4";
    const auto r = postText(m_port, "/qtrade/qlogin.exe", tbtest::rsaBody(text, TB_KEYS_DIR "/rsa1_public.pem"));
    EXPECT_EQ(r.body.substr(0, 7), "1001|0|");
    const auto seen = m_broker->waitForKey("LoginData=1001", 1000);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->decoded.encryption, 2);
    EXPECT_EQ(seen->decoded.text, text);
    EXPECT_EQ(seen->request.fields.size(), 4u);
}

TEST_F(BrokerSession, FaultsAndOverridesApplyToTheArmedRequestsOnly)
{
    tb::HttpFault proxy;
    proxy.status = 407;
    proxy.times = 2;
    m_broker->armFault("/qtrade/qlogin.exe", proxy);
    EXPECT_EQ(postText(m_port, "/qtrade/qlogin.exe", loginText()).status, 407);
    EXPECT_EQ(postText(m_port, "/qtrade/qlogin.exe", loginText()).status, 407);
    EXPECT_EQ(postText(m_port, "/qtrade/qlogin.exe", loginText()).status, 200);

    tb::HttpFault empty;
    empty.emptyBody = true;
    empty.delayMs = 20;
    m_broker->armFault("/qtrade/qencdet.exe", empty);
    const auto e = postText(m_port, "/qtrade/qencdet.exe", "ED=19|4|MRT382QJ|127.0.0.1|U1|1|m");
    EXPECT_EQ(e.status, 200);
    EXPECT_EQ(e.body, "");

    tb::HttpFault drop;
    drop.drop = true;
    m_broker->armFault("/qtrade/qreport.exe", drop);
    EXPECT_EQ(postText(m_port, "/qtrade/qreport.exe", "ReportData=920|S|U1|A|A|4").status, 0);

    m_broker->setReply("ReportData=920", "921|0|1|Service message|0", 1);
    EXPECT_EQ(postText(m_port, "/qtrade/qreport.exe", "ReportData=920|S|U1|A|A|4").body, "921|0|1|Service message|0");
    EXPECT_EQ(postText(m_port, "/qtrade/qreport.exe", "ReportData=920|S|U1|A|A|4").body, "921|0|0|2|2~1|1^2|2");
    EXPECT_EQ(postText(m_port, "/qtrade/qreport.exe", "ReportData=777|S").status, 404);
}

TEST(BrokerTls, ServesTheSamePathsOverHttpsWithTheGeneratedCa)
{
    char dir[] = "/tmp/tb-tls-test-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    tb::BrokerOptions o;
    o.tls = true;
    o.tlsDir = dir;
    o.keepAliveMs = 0;
    o.keyDir = TB_KEYS_DIR;
    tb::TestBroker broker(o);
    std::string error;
    ASSERT_TRUE(broker.start(&error)) << error;
    EXPECT_NE(broker.connectToMap().find(":443:127.0.0.1:" + std::to_string(broker.httpsPort())), std::string::npos);

    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    ASSERT_EQ(SSL_CTX_load_verify_locations(ctx, broker.caCertPath().c_str(), nullptr), 1);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(broker.httpsPort());
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    SSL* ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    SSL_set1_host(ssl, "127.0.0.1");
    ASSERT_EQ(SSL_connect(ssl), 1);
    EXPECT_EQ(SSL_get_verify_result(ssl), X509_V_OK);
    const std::string req = "GET /alert.wav HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    SSL_write(ssl, req.data(), static_cast<int>(req.size()));
    std::string reply;
    char buf[4096];
    int n = 0;
    while ((n = SSL_read(ssl, buf, sizeof buf)) > 0)
        reply.append(buf, static_cast<size_t>(n));
    EXPECT_EQ(reply.substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_NE(reply.find("\r\n\r\nRIFF"), std::string::npos);
    SSL_free(ssl);
    ::close(fd);
    SSL_CTX_free(ctx);
    broker.stop();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

} // namespace

} // namespace test_broker_session
