// The broker's broadcast information: the feed messages it builds from its
// universe, the day-event acceptance 1013 with its refusal switch, the terms
// page the events link to and the demo's schedule.
#include "RawClient.h"
#include "TestBroker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace test_broker_information {

namespace {

using tbtest::splitText;

class BrokerInformation : public ::testing::Test {
protected:
    void SetUp() override
    {
        tb::BrokerOptions o;
        o.keepAliveMs = 0;
        o.keyDir = TB_KEYS_DIR;
        broker = std::make_unique<tb::TestBroker>(o);
        std::string error;
        ASSERT_TRUE(broker->start(&error)) << error;
    }
    std::unique_ptr<tb::TestBroker> broker;
};

TEST_F(BrokerInformation, FeedMessagesCarryTheUniversesRecords)
{
    tb::InformationDesk& desk = broker->informationDesk();
    const tb::Security& s = desk.advisorySecurity();
    // After "145|": fields 0-28.
    auto call = splitText(desk.advisoryCall(9, false).substr(4), '|');
    ASSERT_EQ(call.size(), 29u);
    EXPECT_EQ(call[1], "B");
    EXPECT_EQ(call[2], std::to_string(s.scripCode));
    EXPECT_EQ(call[4], "BUY");
    EXPECT_EQ(call[12], "Open");
    EXPECT_EQ(call[13], "9");
    EXPECT_EQ(call[19], s.symbol);
    EXPECT_FALSE(call[25].empty());
    EXPECT_FALSE(call[26].empty());
    EXPECT_EQ(splitText(desk.advisoryCall(9, true).substr(4), '|')[12], "Closed");
    EXPECT_EQ(splitText(desk.advisoryCall(9, false, false, 26).substr(4), '|').size(), 26u);

    auto event = splitText(desk.dayEvent(501).substr(4), '|');
    ASSERT_EQ(event.size(), 13u);
    EXPECT_EQ(event[1], "1");
    EXPECT_EQ(event[2], "501");
    EXPECT_EQ(event[10], "Y");
    EXPECT_EQ(event[12], "Y");
    EXPECT_EQ(splitText(desk.dayEvent(501, 2).substr(4), '|')[1], "2");
    // The terms link is the broker's own page.
    const std::string link = event[11];
    const std::string prefix = "http://127.0.0.1:" + std::to_string(broker->httpPort());
    ASSERT_EQ(link.rfind(prefix, 0), 0u) << link;
    const tbtest::HttpResult page = tbtest::httpRequest(broker->httpPort(), "GET", link.substr(prefix.size()));
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("Terms &amp; Conditions"), std::string::npos);

    const tb::Security& option = desk.optionSecurity();
    EXPECT_EQ(desk.derivaneAdvice(false), "141||Options advice: " + option.symbol + " " + option.option + "|1|"
                                              + std::to_string(option.token) + "|NN");
    const std::string rates = desk.refRates();
    ASSERT_EQ(rates.rfind("160|160|", 0), 0u);
    const auto parts = splitText(rates.substr(4), '~');
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(splitText(parts[1], ',').size(), static_cast<size_t>(std::stoi(splitText(parts[0], '|')[1])));
}

TEST_F(BrokerInformation, AcceptanceIsRecordedOrRefused)
{
    tb::InformationDesk& desk = broker->informationDesk();
    auto r
        = tbtest::postText(broker->httpPort(), "/qtrade/qlogin.exe", "LoginData=1013|S1|U1|ABC12|1|4|10.0.0.5|501|0");
    EXPECT_EQ(r.body, std::string("1013|0|") + tb::InformationDesk::kAcceptText);
    desk.refuseAccepts(true);
    r = tbtest::postText(broker->httpPort(), "/qtrade/qlogin.exe", "LoginData=1013|S1|U1|ABC12|1|4|10.0.0.5|502|0");
    EXPECT_EQ(r.body, std::string("1013|1|") + tb::InformationDesk::kRefuseText);
    EXPECT_EQ(desk.acceptedIds(), std::vector<int>{501});
}

TEST_F(BrokerInformation, DemoSendsOneCallAndOneEventThenClosesTheCall)
{
    const tb::InformationDesk& desk = broker->informationDesk();
    EXPECT_TRUE(desk.demoMessages(1).empty());
    const auto open = desk.demoMessages(tb::InformationDesk::kDemoOpenTick);
    ASSERT_EQ(open.size(), 2u);
    EXPECT_EQ(open[0], desk.advisoryCall(tb::InformationDesk::kDemoCallId, false));
    EXPECT_EQ(open[1], desk.dayEvent(tb::InformationDesk::kDemoProductId));
    EXPECT_EQ(desk.demoMessages(tb::InformationDesk::kDemoCloseTick),
              std::vector<std::string>{desk.advisoryCall(tb::InformationDesk::kDemoCallId, true)});
}

TEST(BrokerInformationDemo, ALoggedInFeedClientGetsOneCallAndOneEventThenTheCallCloses)
{
    tb::BrokerOptions o;
    o.keepAliveMs = 0;
    o.keyDir = TB_KEYS_DIR;
    o.demo = true;
    o.demoTickMs = 3600 * 1000; // the test steps the market itself
    tb::TestBroker broker(o);
    std::string error;
    ASSERT_TRUE(broker.start(&error)) << error;
    tbtest::RawClient c;
    ASSERT_TRUE(c.connect(broker.feedPort()));
    ASSERT_TRUE(c.send("POST /cgi-bin/Glenvarro/pfeeds.exe HTTP/1.1\r\nHost: "
                       "127.0.0.1\r\nContent-Length: 0\r\n\r\n"
                       "200|127.0.0.1|U1|C|0|2|\r\n"));
    ASSERT_NE(c.readUntil("\r\n\r\n"), "");
    ASSERT_NE(c.readUntil("$"), "") << "the welcome (250)";
    for (int i = 0; i < 50 && broker.feedClients().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(broker.feedClients().size(), 1u);
    const tb::InformationDesk& desk = broker.informationDesk();
    for (int tick = 1; tick <= tb::InformationDesk::kDemoOpenTick; ++tick)
        broker.marketStep();
    std::string opened;
    for (int frames = 0; frames < 2; ++frames)
        opened += c.readUntil("$", 3000);
    EXPECT_NE(opened.find(desk.advisoryCall(tb::InformationDesk::kDemoCallId, false)), std::string::npos) << opened;
    EXPECT_NE(opened.find(desk.dayEvent(tb::InformationDesk::kDemoProductId)), std::string::npos) << opened;
    for (int tick = tb::InformationDesk::kDemoOpenTick + 1; tick <= tb::InformationDesk::kDemoCloseTick; ++tick)
        broker.marketStep();
    EXPECT_NE(c.readUntil("$", 3000).find(desk.advisoryCall(tb::InformationDesk::kDemoCallId, true)),
              std::string::npos);
    broker.stop();
}

} // namespace

} // namespace test_broker_information
