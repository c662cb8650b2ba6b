// Encryption details, web links, the percent-encoder and segment names.
#include "ServerFixture.h"

#include "server/FileDownloads.h"
#include "server/RequestServer.h"
#include "server/ServerRequests.h"

#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/MachineDetails.h"
#include "app/base/SessionRecord.h"

namespace {

using servertest::ServerFixture;

TEST_F(ServerFixture, EncryptionDetailsSwitchLaterRequestsToRsa)
{
    SetMachineFactsSource([] {
        pf::MachineFacts f;
        f.osName = "Debian GNU/Linux 12 (bookworm)";
        f.osVersion = "6.1.0-18-amd64";
        f.manufacturer = "Acme";
        f.model = "Box 7";
        f.serial = "SER123";
        f.productId = "0123abcd";
        return f;
    });
    PrintOSVersion();
    SetMachineFactsSource({});
    broker->setEncryption(2);
    CopyFixedText(g_Config.Trade_Host, "127.0.0.1");
    g_Config.Trade_Port = broker->httpPort();
    ASSERT_EQ(testkit::onWorker([&] { return GetEncryptionKeyDetails(); }), 0);
    EXPECT_EQ(pv_user_info.encrypt, 2);
    EXPECT_STREQ(g_Config.Trade_Host, "127.0.0.1");
    EXPECT_EQ(g_Config.Trade_Port, broker->httpPort());

    const auto ed = broker->waitForKey("ED=19", 1000);
    ASSERT_TRUE(ed);
    EXPECT_EQ(ed->decoded.encryption, 1) << "the details request itself is always Base64";
    EXPECT_EQ(ed->request.fields.size(), 7u + 13u) << "six fields, then the 14-field machine record";
    EXPECT_EQ(ed->request.fields[1], "4");
    EXPECT_EQ(ed->request.fields[2], "MRT382QJ");
    EXPECT_EQ(ed->request.fields[4], "U1");

    broker->setReply("LoginData=1010", "1010|0||0");
    std::string reply;
    long length = 0;
    ASSERT_EQ(testkit::onWorker([&] { return RequestServer(pv_user_info.encrypt, 1010, "LoginData=1010|U1|S1|4", reply, length); }), 200);
    const auto next = broker->waitForKey("LoginData=1010", 1000);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->decoded.encryption, 2) << next->decoded.error;
    EXPECT_EQ(next->decoded.text, "LoginData=1010|U1|S1|4");
}

struct EdCase {
    const char* name;
    const char* reply;
    int result;
    const char* host; // the trading host afterwards
    int encrypt;
    bool box;
};

void PrintTo(const EdCase& c, std::ostream* os)
{
    *os << c.name;
}

class EncryptionDetailsReply : public ServerFixture, public ::testing::WithParamInterface<EdCase> {};

TEST_P(EncryptionDetailsReply, StoresWhatTheReplyCarries)
{
    const EdCase& c = GetParam();
    pv_user_info.encrypt = 0;
    broker->setReply("ED=19", c.reply);
    const int port = g_Config.Trade_Port;
    EXPECT_EQ(testkit::onWorker([&] { return GetEncryptionKeyDetails(); }), c.result);
    EXPECT_STREQ(g_Config.Trade_Host, c.host);
    EXPECT_EQ(pv_user_info.encrypt, c.encrypt);
    EXPECT_EQ(g_Config.Trade_Port, port);
    const auto asks = prompter.asks();
    ASSERT_EQ(asks.size(), c.box ? 1u : 0u);
    if (c.box) {
        EXPECT_EQ(asks[0].text, "Invalid Credential");
    }
}

const EdCase kEdCases[] = {
    {"InvalidCredential", "1|Bad user", -1, "127.0.0.1", 0, true},
    {"ShortReplyKeepsHost", "0|OK||1|x|y", 0, "127.0.0.1", 1, false},
    {"TrailingEmptyFieldIsDropped", "0|OK||1|||", 0, "127.0.0.1", 1, false},
    {"PresentEmptyHost", "0|OK||2||||x", 0, "", 2, false},
    {"EmptyReply", "", -1, "127.0.0.1", 0, false},
};
INSTANTIATE_TEST_SUITE_P(Replies, EncryptionDetailsReply, ::testing::ValuesIn(kEdCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServerFixture, EncryptionDetailsFromAnUnreachableServerStopWithoutABox)
{
    const uint16_t port = broker->httpPort();
    broker->stop();
    g_Config.Trade_Port = port;
    EXPECT_EQ(testkit::onWorker([&] { return GetEncryptionKeyDetails(); }), -1);
    EXPECT_EQ(prompter.askCount(), 0u);
}

TEST_F(ServerFixture, WebLinksFillTheTableUpToTheAnnouncedCount)
{
    broker->setReply("LoginData=1010",
                     "1010|0||2~Go|3|71|Research|Markets|9|0TBS|Daily research^ Help|1|72|Help desk|Support|0|1"
                     "2XF|Ask us ^Extra|0|73|Not announced|X|0|0W|^");
    ASSERT_EQ(testkit::onWorker([&] { return GetWebLinks(); }), 0);
    ASSERT_EQ(g_WebLinkTable.count(), 2);
    const WebLinkRecord& a = g_WebLinkTable.links[0];
    EXPECT_STREQ(a.ButtonLabel, "Go");
    EXPECT_EQ(a.IconIndex, 3);
    EXPECT_EQ(a.WebId, 71);
    EXPECT_STREQ(a.Name, "Research");
    EXPECT_STREQ(a.MainGroup, "Markets");
    EXPECT_EQ(a.Number, 9);
    EXPECT_STREQ(a.Pref, "0TBS");
    EXPECT_STREQ(a.ToolTip, "Daily research");
    const WebLinkRecord& b = g_WebLinkTable.links[1];
    EXPECT_STREQ(b.ButtonLabel, "Help");
    EXPECT_EQ(b.Pref[2], 'W') << "an unknown kind is stored as W";

    broker->setReply("LoginData=1010", "1010|5|Not allowed|0");
    EXPECT_EQ(testkit::onWorker([&] { return GetWebLinks(); }), -1);
    EXPECT_EQ(g_WebLinkTable.count(), 0);

    broker->setReply("LoginData=1010", "1010|0||-4~a|1|2|b|c|0|0W|t");
    EXPECT_EQ(testkit::onWorker([&] { return GetWebLinks(); }), 0);
    EXPECT_EQ(g_WebLinkTable.count(), 0) << "a negative count gives no table";

    // More announced than sent: the table holds the links that came.
    broker->setReply("LoginData=1010", "1010|0||3~Go|3|71|Research|Markets|9|0TBS|Daily research^");
    EXPECT_EQ(testkit::onWorker([&] { return GetWebLinks(); }), 0);
    ASSERT_EQ(g_WebLinkTable.count(), 1);
    EXPECT_STREQ(g_WebLinkTable.links[0].Name, "Research");
    broker->setReply("LoginData=1010", "1010|0||2");
    EXPECT_EQ(testkit::onWorker([&] { return GetWebLinks(); }), 0);
    EXPECT_EQ(g_WebLinkTable.count(), 0) << "a header alone gives no links";
}

struct UrlCase {
    const char* name;
    std::string text;
    bool reserved;
    const char* encoded;
};

void PrintTo(const UrlCase& c, std::ostream* os)
{
    *os << c.name;
}

class UrlEncoding : public ::testing::TestWithParam<UrlCase> {};

TEST_P(UrlEncoding, EncodesAsTheServerDecodes)
{
    EXPECT_EQ(UrlEncode(GetParam().text, GetParam().reserved), GetParam().encoded);
}

const UrlCase kUrlCases[] = {
    {"Blank", "a b", true, "a%20b"},
    {"LettersAndDigitsStay", "Abc019", true, "Abc019"},
    {"Percent", "50%", true, "50%25"},
    {"EncodedTwiceChanges", "a%20b", true, "a%2520b"},
    {"Reserved", "$&+,./:;=?@-_!*()'", true, "%24%26%2B%2C%2E%2F%3A%3B%3D%3F%40%2D%5F%21%2A%28%29%27"},
    {"ReservedKeptWithoutFlag", "a=1&b=2|x", false, "a=1&b=2%7Cx"},
    {"Unsafe", " \"<>#{}|\\^~[]`", true, "%20%22%3C%3E%23%7B%7D%7C%5C%5E%7E%5B%5D%60"},
    {"Controls", std::string("\x01\t\n\x1f\x7f", 5), true, "%01%09%0A%1F%7F"},
    {"HebrewLetter", "\xe0", true, "%D7%90"},
    {"ShekelSignWhole", "\xa4", true, "%E2%82%AA"},
    {"EuroSignWhole", "5\x80", true, "5%E2%82%AC"},
    {"StopsAtNul", std::string("ab\0cd", 5), true, "ab"},
};
INSTANTIATE_TEST_SUITE_P(Texts, UrlEncoding, ::testing::ValuesIn(kUrlCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServerFixture, PercentEncodedQueryArrivesIntact)
{
    const std::string text = "LoginData=1002|U1|S1|4|a b&c|50%~x^y";
    std::string body;
    long length = 0;
    ASSERT_EQ(testkit::onWorker([&] { return DownLoadFile("127.0.0.1", 80, "/alert.wav", UrlEncode(text, true), body, length); }), 200);
    const auto sent = broker->waitForRequest([](const tb::RecordedRequest& r) { return r.path == "/alert.wav"; }, 1000);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->query, text);
}

TEST(SegmentExchanges, NamesTheExchangesOfAnInstrument)
{
    EXPECT_EQ(GetSegmentExchanges("FC"), "NSE-FX");
    EXPECT_EQ(GetSegmentExchanges("OC"), "NSE-FX");
    EXPECT_EQ(GetSegmentExchanges("CF"), "MCX-CM");
    EXPECT_EQ(GetSegmentExchanges("CO"), "MCX-CM");
    EXPECT_EQ(GetSegmentExchanges("CI"), "MCX-CM");
    EXPECT_EQ(GetSegmentExchanges("FS"), "NSE|BSE");
    EXPECT_EQ(GetSegmentExchanges(""), "NSE|BSE");
}

} // namespace
