// The request function against the test broker: the code table, packed book
// replies, the 407 loop with the proxy dialog, activity stamps and encodings.
#include "ServerFixture.h"

#include "server/CProxyDetails.h"
#include "server/FeedState.h"
#include "server/FileDownloads.h"
#include "server/RequestServer.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/SessionRecord.h"

#include "pf/files.h"
#include "ui/form.h"
#include "ui/form_driver.h"
#include "ui/ui_thread.h"

#include <atomic>
#include <thread>

namespace {

using servertest::ServerFixture;

struct RouteCase {
    const char* name;
    int code;
    const char* path;
    const char* verb;
    bool trade; // goes to Trade_Host:Trade_Port
};

void PrintTo(const RouteCase& c, std::ostream* os)
{
    *os << c.name;
}

class TransCodeTable : public ServerFixture, public ::testing::WithParamInterface<RouteCase> {};

TEST_P(TransCodeTable, MapsCodeToHostPathAndVerb)
{
    const RouteCase& c = GetParam();
    CopyFixedText(g_Config.Trade_Host, "trade.example");
    g_Config.Trade_Port = 8080;
    CopyFixedText(g_Config.Security_Host, "");
    CopyFixedText(g_Config.Watch_Host, "watch.example");
    CopyFixedText(g_Session.security_stamp, "3-0-10-20");
    TransCodeRoute route;
    ASSERT_TRUE(LookupTransCode(c.code, route));
    EXPECT_EQ(route.path, c.path);
    EXPECT_EQ(route.verb, c.verb);
    if (c.trade) {
        EXPECT_EQ(route.host, "trade.example");
        EXPECT_EQ(route.port, 8080);
    } else if (route.toFile) {
        // An empty Security_Host: the file codes use Watch_Host, on port 80.
        EXPECT_EQ(route.host, "watch.example");
        EXPECT_EQ(route.port, 80);
    }
}

const RouteCase kRoutes[] = {
    {"Incremental", 1, "/security/security_3.lzo", "GET", false},
    {"Order2", 2, "/qtrade/Glenvarro.exe", "POST", true},
    {"Watch25", 25, "/qtrade/Glenvarro.exe", "POST", true},
    {"Feeds10", 10, "/cgi-bin/Glenvarro/feeds.exe", "POST", false},
    {"Subscribe11", 11, "/cgi-bin/Glenvarro/upd_feeds.exe", "POST", false},
    {"Poll13", 13, "/cgi-bin/feeds", "POST", false},
    {"Category15", 15, "/security/category.lzo", "GET", false},
    {"Runtime16", 16, "/Vortanex/MFC42.lzo", "GET", false},
    {"Chart17", 17, "/Vortanex/QuenmarkChartX.lzo", "GET", false},
    {"Services18", 18, "/security/services.lzo", "GET", false},
    {"Encryption19", 19, "/qtrade/qencdet.exe", "POST", true},
    {"Trade208", 208, "/qtrade/qtrade.exe", "POST", true},
    {"Basket301", 301, "/qtrade/qbasket.exe", "POST", true},
    {"Risk420", 420, "/qtrade/qrms.exe", "POST", true},
    {"Report600", 600, "/qtrade/qreport.exe", "POST", true},
    {"Sleep620", 620, "/qtrade/CgiSleep.exe", "POST", true},
    {"News523", 523, "/qtrade/qnews.exe", "POST", true},
    {"Phone1200", 1200, "/qtrade/qphone.exe", "POST", true},
    {"Login3000", 3000, "/qtrade/qlogin.exe", "POST", true},
    {"Admin4002", 4002, "/qtrade/zqvadmin.exe", "POST", true},
    {"Feeds7000", 7000, "/qtrade/feeds.exe", "POST", true},
    {"Feeds7001", 7001, "/qtrade/feeds.exe?", "POST", true},
    {"MarketData8001", 8001, "/zqvdata/mktdata.exe", "POST", false},
};
INSTANTIATE_TEST_SUITE_P(Codes, TransCodeTable, ::testing::ValuesIn(kRoutes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServerFixture, FeedCodesGoToTheServerMessage250Named)
{
    // Before a 250: the login's feed-update host and port; after it: the
    // server the 250 named (the stream's own port does not take these).
    FeedState::instance().reset();
    CopyFixedText(pv_user_info.feed_update_host, "stream.example");
    pv_user_info.feed_update_port = 7001;
    for (int code : {11, 12}) {
        TransCodeRoute route;
        ASSERT_TRUE(LookupTransCode(code, route));
        EXPECT_EQ(route.host, "stream.example");
        EXPECT_EQ(route.port, 7001);
    }
    FeedState::instance().setServer("feeds.example", 8088);
    for (int code : {11, 12}) {
        TransCodeRoute route;
        ASSERT_TRUE(LookupTransCode(code, route));
        EXPECT_EQ(route.host, "feeds.example") << code;
        EXPECT_EQ(route.port, 8088) << code;
        EXPECT_EQ(route.path, "/cgi-bin/Glenvarro/upd_feeds.exe");
    }
    FeedState::instance().reset();
}

TEST_F(ServerFixture, UnknownCodeIsRefusedWithoutAnExchange)
{
    for (int code : {0, 14, 26, 205, 402, 9999, -1}) {
        TransCodeRoute route;
        EXPECT_FALSE(LookupTransCode(code, route)) << code;
        std::string reply = "stale";
        long length = 7;
        EXPECT_EQ(testkit::onWorker([&] { return RequestServer(0, code, "X=1", reply, length); }), -1) << code;
        EXPECT_TRUE(reply.empty());
        EXPECT_EQ(length, 0);
    }
    EXPECT_TRUE(broker->requests().empty());
}

TEST_F(ServerFixture, PackedBookReplyIsUnpackedOnlyWhileTheLoginAsksForIt)
{
    std::string book;
    for (int i = 0; i < 3000; ++i)
        book += "601|" + std::to_string(i) + "|SBIN|B|100|830.50^";
    const std::string packed = servertest::packLzo(book);
    broker->setReply("ReportData=600", packed);

    std::string reply;
    long length = 0;
    g_Session.compressed_replies = 1;
    ASSERT_EQ(testkit::onWorker([&] { return RequestServer(0, 600, "ReportData=600|U1|S1|4", reply, length); }), 200);
    EXPECT_EQ(reply, book);
    EXPECT_EQ(length, static_cast<long>(book.size()));

    // A report that is not a book is never unpacked.
    broker->setReply("ReportData=510", packed);
    ASSERT_EQ(testkit::onWorker([&] { return RequestServer(0, 510, "ReportData=510|U1|S1|4", reply, length); }), 200);
    EXPECT_EQ(reply, packed);

    g_Session.compressed_replies = 0;
    ASSERT_EQ(testkit::onWorker([&] { return RequestServer(0, 600, "ReportData=600|U1|S1|4", reply, length); }), 200);
    EXPECT_EQ(reply, packed) << "every byte of a reply is kept, NULs included";
    EXPECT_EQ(length, static_cast<long>(packed.size()));

    // A packed reply that does not unpack is a failure, not a garbled book.
    g_Session.compressed_replies = 1;
    broker->setReply("ReportData=610", "this is not LZO data");
    EXPECT_EQ(testkit::onWorker([&] { return RequestServer(0, 610, "ReportData=610|U1|S1|4", reply, length); }), -1);
    EXPECT_TRUE(reply.empty());
    EXPECT_EQ(length, 0);
}

TEST_F(ServerFixture, ReplyOfManyChunksArrivesWholeAndErrorsClearIt)
{
    std::string big;
    for (int i = 0; big.size() < 70000; ++i)
        big += std::to_string(i) + "|";
    broker->setReply("ReportData=700", big);
    std::string reply;
    long length = 0;
    ASSERT_EQ(testkit::onWorker([&] { return RequestServer(0, 700, "ReportData=700|U1", reply, length); }), 200);
    EXPECT_EQ(reply, big);

    broker->armFault("/qtrade/qreport.exe", tb::HttpFault{500});
    EXPECT_EQ(testkit::onWorker([&] { return RequestServer(0, 700, "ReportData=700|U1", reply, length); }), 500);
    EXPECT_TRUE(reply.empty());

    tb::HttpFault cut;
    cut.cutAfter = 1000;
    broker->armFault("/qtrade/qreport.exe", cut);
    const int status = testkit::onWorker([&] { return RequestServer(0, 700, "ReportData=700|U1", reply, length); });
    EXPECT_NE(status, 200) << "a reply cut short is not a success";
    EXPECT_TRUE(reply.empty());
    EXPECT_EQ(length, 0);
}

// A body beyond the bound ends the exchange with its own status and leaves
// nothing behind: the request's reply, a download and a file code's file.
// One byte under the bound still arrives whole.
TEST_F(ServerFixture, RepliesBeyondTheBodyLimitFailCleanly)
{
    const std::string big(40000, 'x');
    broker->setReply("ReportData=700", big);
    broker->setReply("/charts/7.lzo", big);
    broker->setReply("/security/category.lzo", big);
    std::string reply;
    long length = 0;

    SetReplyBodyLimit(big.size());
    EXPECT_EQ(testkit::onWorker([&] { return RequestServer(0, 700, "ReportData=700|U1", reply, length); }), 200);
    EXPECT_EQ(reply.size(), big.size());

    SetReplyBodyLimit(big.size() - 1);
    EXPECT_EQ(testkit::onWorker([&] { return RequestServer(0, 700, "ReportData=700|U1", reply, length); }), kReplyTooLarge);
    EXPECT_TRUE(reply.empty());
    EXPECT_EQ(length, 0);
    EXPECT_EQ(testkit::onWorker([&] { return DownLoadFile("127.0.0.1", 80, "/charts/7.lzo", "", reply, length); }), kReplyTooLarge);
    EXPECT_TRUE(reply.empty());
    EXPECT_NE(testkit::onWorker([&] { return RequestServer(0, 15, "", reply, length); }), 200);
    EXPECT_FALSE(pf::files::exists(paths.comp() / "category.lzo"));
    SetReplyBodyLimit(0);
}

TEST_F(ServerFixture, WithStoredCredentialsThreeSendsThenOnePrompt)
{
    CopyFixedText(g_AppSettings.proxy_user, "puser");
    CopyFixedText(g_AppSettings.proxy_password, "ppass");
    g_ProxyInUse = 1;
    tb::HttpFault proxy{407};
    proxy.times = 1000;
    broker->armFault("/qtrade/qreport.exe", proxy);
    servertest::scriptProxyCancel(modalHost);

    std::string reply;
    long length = 0;
    EXPECT_EQ(testkit::onWorker([&] { return RequestServer(0, 700, "ReportData=700|U1", reply, length); }), 407);
    EXPECT_EQ(requestsTo("/qtrade/qreport.exe"), 3);
    EXPECT_EQ(proxyPrompts(), 1);
}

TEST_F(ServerFixture, OkInTheProxyDialogStartsTheCountAgain)
{
    g_ProxyInUse = 1;
    tb::HttpFault proxy{407};
    proxy.times = 1000;
    broker->armFault("/qtrade/qreport.exe", proxy);
    int prompts = 0;
    modalHost.script("CProxyDetails", [&prompts](ui::FormDriver& d) {
        if (++prompts == 1)
            d.type(CProxyDetails::kUserName, "new").type(CProxyDetails::kPassword, "secret").click(1);
        else
            d.click(2);
    });
    std::string reply;
    long length = 0;
    EXPECT_EQ(testkit::onWorker([&] { return RequestServer(0, 700, "ReportData=700|U1", reply, length); }), 407);
    EXPECT_EQ(requestsTo("/qtrade/qreport.exe"), 6);
    EXPECT_EQ(proxyPrompts(), 2);
    EXPECT_STREQ(g_AppSettings.proxy_user, "new");
    EXPECT_STREQ(g_AppSettings.proxy_password, "secret");
    EXPECT_STREQ(g_AppSettings.proxy_domain, "");
    EXPECT_EQ(ProxyUserName(), "new") << "no domain: the bare user name";
}

TEST_F(ServerFixture, WithoutTheProxyFlagTheFirst407Prompts)
{
    tb::HttpFault proxy{407};
    broker->armFault("/qtrade/qreport.exe", proxy);
    servertest::scriptProxyOk(modalHost, "u", "p", "CORP");
    std::string reply;
    long length = 0;
    // One 407, the dialog, then the retry gets the normal reply.
    broker->setReply("ReportData=700", "701|0|done");
    EXPECT_EQ(testkit::onWorker([&] { return RequestServer(0, 700, "ReportData=700|U1", reply, length); }), 200);
    EXPECT_EQ(reply, "701|0|done");
    EXPECT_EQ(requestsTo("/qtrade/qreport.exe"), 2);
    EXPECT_EQ(proxyPrompts(), 1);
    EXPECT_EQ(g_ProxyInUse.load(), 1);
    EXPECT_EQ(ProxyUserName(), "CORP\\u");
}

TEST_F(ServerFixture, TwoThreadsMeetingA407ShareOnePrompt)
{
    g_ProxyInUse = 1;
    tb::HttpFault proxy{407};
    proxy.times = 1000;
    broker->armFault("/qtrade/qreport.exe", proxy);
    // The dialog stays up until both threads have made their three sends, so
    // the second one asks while the first one's dialog is open.
    modalHost.script("CProxyDetails", [this](ui::FormDriver& d) {
        EXPECT_TRUE(waitForRequests("/qtrade/qreport.exe", 6));
        d.click(2);
    });
    std::atomic<int> done{0};
    int status[2] = {0, 0};
    auto run = [&](int i) {
        std::string reply;
        long length = 0;
        status[i] = RequestServer(0, 700, "ReportData=700|U1", reply, length);
        ++done;
    };
    std::thread a(run, 0);
    std::thread b(run, 1);
    const bool finished = pumpUntil([&] { return done.load() == 2; }, 20000);
    a.join();
    b.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(status[0], 407);
    EXPECT_EQ(status[1], 407);
    EXPECT_EQ(proxyPrompts(), 1);
    EXPECT_EQ(requestsTo("/qtrade/qreport.exe"), 6);
}

TEST_F(ServerFixture, ProxyDialogInsistsOnUserNameAndPassword)
{
    bool checked = false;
    modalHost.script("CProxyDetails", [&](ui::FormDriver& d) {
        d.type(CProxyDetails::kUserName, "").click(1);
        EXPECT_FALSE(d.form().isFinished());
        EXPECT_EQ(d.form().focusedId(), CProxyDetails::kUserName);
        d.type(CProxyDetails::kUserName, "someone").type(CProxyDetails::kPassword, "").click(1);
        EXPECT_FALSE(d.form().isFinished());
        EXPECT_EQ(d.form().focusedId(), CProxyDetails::kPassword);
        // The settings record keeps 23 characters of a user name.
        d.type(CProxyDetails::kUserName, std::string(40, 'x'));
        EXPECT_EQ(d.form().text(CProxyDetails::kUserName).size(), 23u);
        checked = true;
        d.click(2);
    });
    CProxyDetails dialog;
    EXPECT_EQ(dialog.DoModal(), ui::Cancel);
    ASSERT_TRUE(checked);
    const auto asks = prompter.asks();
    ASSERT_EQ(asks.size(), 2u);
    EXPECT_EQ(asks[0].text, "Please enter User Name");
    EXPECT_EQ(asks[1].text, "Please enter Password");
    EXPECT_EQ(asks[1].caption, "Proxy Authentication");
    EXPECT_EQ(g_ProxyInUse.load(), 0) << "Cancel changes nothing";
}

// A password the settings file cannot hold is refused with a message, never
// cut or dropped without a word; the longest that fits is stored.
TEST_F(ServerFixture, ProxyDialogRefusesAPasswordTheSettingsCannotHold)
{
    modalHost.script("CProxyDetails", [&](ui::FormDriver& d) {
        d.type(CProxyDetails::kUserName, "someone").type(CProxyDetails::kPassword, std::string(94, 'p')).click(1);
        EXPECT_FALSE(d.form().isFinished());
        EXPECT_EQ(d.form().focusedId(), CProxyDetails::kPassword);
        EXPECT_EQ(g_ProxyInUse.load(), 0);
        d.type(CProxyDetails::kPassword, std::string(93, 'q')).click(1);
    });
    CProxyDetails dialog;
    EXPECT_EQ(dialog.DoModal(), ui::Ok);
    const auto asks = prompter.asks();
    ASSERT_EQ(asks.size(), 1u);
    EXPECT_EQ(asks[0].text, "Password cannot be more than 93 Characters");
    EXPECT_EQ(asks[0].caption, "Proxy Authentication");
    EXPECT_EQ(std::string(FixedTextView(g_AppSettings.proxy_password)), std::string(93, 'q'));
    EXPECT_EQ(g_ProxyInUse.load(), 1);
}

TEST_F(ServerFixture, FeedCodesDoNotCountAsUserActivity)
{
    clock.setMillis(1'700'000'000'000);
    SetAccessTime();
    const int64_t before = GetAccessTime();
    clock.advanceSeconds(600);
    std::string reply;
    long length = 0;
    EXPECT_EQ(testkit::onWorker([&] { return RequestServer(0, 12, "202|U1", reply, length); }), 200);
    EXPECT_EQ(GetAccessTime(), before);
    broker->setReply("ReportData=700", "701|0");
    EXPECT_EQ(testkit::onWorker([&] { return RequestServer(0, 700, "ReportData=700|U1", reply, length); }), 200);
    EXPECT_EQ(GetAccessTime(), before + 600);
}

TEST_F(ServerFixture, BodiesAreSentInTheRequestedEncoding)
{
    broker->setReply("ReportData=700", "701|0");
    std::string reply;
    long length = 0;
    for (int type : {0, 1, 2}) {
        broker->clearRequests();
        ASSERT_EQ(testkit::onWorker([&] { return RequestServer(type, 700, "ReportData=700|U1|S1|4", reply, length); }), 200) << type;
        const auto sent = broker->requests();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].decoded.encryption, type);
        EXPECT_EQ(sent[0].decoded.text, "ReportData=700|U1|S1|4");
    }
    // A text the RSA key cannot hold is not sent at all.
    broker->clearRequests();
    EXPECT_EQ(testkit::onWorker([&] { return RequestServer(2, 700, "ReportData=700|" + std::string(2000, 'x'), reply, length); }), -1);
    EXPECT_TRUE(broker->requests().empty());

    // A type without an encoder sends an empty body, which the server refuses.
    broker->clearRequests();
    testkit::onWorker([&] { return RequestServer(3, 700, "ReportData=700|U1|S1|4", reply, length); });
    const auto sent = broker->requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(sent[0].decoded.text.empty());
}

} // namespace
