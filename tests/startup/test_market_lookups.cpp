// The look-ups at login against the test broker: market status, indices,
// watch lists and their rows, research calls, and the reading of their replies.
#include "StartupFixture.h"
#include "testkit/ui_guard_trap.h"

#include "server/CompanionLists.h"
#include "server/MarketLookups.h"
#include "server/RequestServerAccess.h"
#include "server/SecurityTable.h"
#include "watch/base/WatchlistTable.h"

#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"
#include "app/base/ConfigFile.h"

#include <gtest/gtest.h>

namespace startuptest {
namespace {

using Records = std::vector<std::vector<std::string>>;

TEST(ReadLookupReply, CutsRecordsAndFieldsByTheCodesRules)
{
    // '^' throughout, blanks trimmed.
    EXPECT_EQ(ReadLookupReply("115|0|OK^ NN | Open ^BN|Closed", false, false),
              (Records{{"115", "0", "OK"}, {"NN", "Open"}, {"BN", "Closed"}}));
    // The first record ends at '^', later ones at '~'.
    EXPECT_EQ(ReadLookupReply("100|0|OK^1|A~2|B", true, false), (Records{{"100", "0", "OK"}, {"1", "A"}, {"2", "B"}}));
    // An empty record ends the reply; an empty field ends its record.
    EXPECT_EQ(ReadLookupReply("115|0|OK^NN||x^^BN|Closed", false, false), (Records{{"115", "0", "OK"}, {"NN"}}));
    // 111 keeps empty records and fields.
    EXPECT_EQ(ReadLookupReply("111|0|OK^1||c^^2", false, true),
              (Records{{"111", "0", "OK"}, {"1", "", "c"}, {}, {"2"}}));
    // A separator at the very start of the text or of a record is skipped.
    EXPECT_EQ(ReadLookupReply("^115|0|OK^|NN|Open", false, false), (Records{{"115", "0", "OK"}, {"NN", "Open"}}));
}

class LookupTest : public StartupFixture {
protected:
    void SetUp() override
    {
        StartupFixture::SetUp();
        SetProgramPaths(paths);
        StartLog(paths);
        CopyFixedText(g_Config.Trade_Host, "127.0.0.1");
        g_Config.Trade_Port = broker->httpPort();
        CopyFixedText(g_Config.Watch_Host, "127.0.0.1");
        CopyFixedText(g_Config.Security_Host, "127.0.0.1");
        CopyFixedText(pv_user_info.user_id, "U1");
        CopyFixedText(pv_user_info.session_id, "S1");
        // A small master with the broker's securities.
        auto table = std::make_shared<SecurityTable>();
        SecurityRows rows;
        for (const auto& s : broker->universe().securities()) {
            if (rows.size() >= 300)
                break;
            SecurityRecord r;
            r.token = s.token;
            r.wtoken = s.wtoken;
            r.symbol.assign(s.symbol);
            r.setDisplayKey(s.symbol);
            r.market_exchange.assign(s.exchange);
            rows.push_back(r);
        }
        table->build(std::move(rows), SecurityTable::Build::Full, true);
        SecurityTable::publish(table);
        WatchlistTable::instance().reset();
        IndexTable::instance().reset();
        MarketStatusTable::instance().reset();
    }
    void TearDown() override
    {
        SecurityTable::publish(nullptr);
        WatchlistTable::instance().reset();
        IndexTable::instance().reset();
        MarketStatusTable::instance().reset();
        StartupFixture::TearDown();
    }
    std::string logText() const { return fileText(CurrentLogPath()); }

    RequestServerAccess access;
};

TEST_F(LookupTest, MarketStatusFillsAndGrowsTheTable)
{
    broker->setReply("WD=115", "115|0|OK^NN|Open^BN|Closed", 1);
    EXPECT_EQ(testkit::onWorker([&] { return GetMarketStatus(access); }), 0);
    const auto e = MarketStatusTable::instance().entries();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_STREQ(e[0].exch, "NN");
    EXPECT_STREQ(e[0].status, "Open");
    EXPECT_STREQ(e[1].exch, "BN");
    EXPECT_NE(logText().find("Total Exchange ctr :2"), std::string::npos);

    std::string many = "115|0|OK";
    for (int i = 0; i < 12; ++i)
        many += "^E" + std::to_string(i) + "|Open";
    broker->setReply("WD=115", many, 1);
    testkit::onWorker([&] { return GetMarketStatus(access); });
    EXPECT_EQ(MarketStatusTable::instance().count(), 12);
    EXPECT_EQ(MarketStatusTable::instance().capacity(), 15);
    // The feed's update relabels only a known segment whose status changed.
    EXPECT_TRUE(MarketStatusTable::instance().update("E1", "Closed"));
    EXPECT_FALSE(MarketStatusTable::instance().update("E1", "Closed"));
    EXPECT_FALSE(MarketStatusTable::instance().update("ZZ", "Open"));
}

TEST_F(LookupTest, IndicesTakeTheSymbolAndHandleMoreThanAHundred)
{
    const auto& sec = broker->universe().securities().front();
    std::string body = "111|0|OK^" + std::to_string(sec.token) + "|Name|CODE|" + sec.exchange
        + "|100|101|99|98|97|3|7|8|4242";
    for (int i = 0; i < 104; ++i)
        body += "^" + std::to_string(900000 + i) + "|Idx" + std::to_string(i) + "|C|NN|1|2|3|4|5|6|7|8|" + std::to_string(i);
    broker->setReply("WD=111", body, 1);
    EXPECT_EQ(testkit::onWorker([&] { return Get_Indices(access); }), 0);
    const auto e = IndexTable::instance().entries();
    ASSERT_EQ(e.size(), 105u);
    EXPECT_EQ(IndexTable::instance().capacity(), 110);
    EXPECT_EQ(std::string(e[0].name), std::string(sec.symbol));
    EXPECT_GE(e[0].securityIndex, 0);
    EXPECT_EQ(e[0].values[0], 100);
    EXPECT_EQ(e[0].values[5], 3);
    EXPECT_EQ(e[0].values[6], 0);
    EXPECT_EQ(e[0].values[7], 7);
    EXPECT_EQ(e[0].values[8], 8);
    EXPECT_EQ(e[0].feedCode, 4242);
    // Entries past the first hundred are as clean as the others.
    const IndexRecord& late = e[104];
    EXPECT_STREQ(late.name, "Idx103");
    EXPECT_EQ(late.securityIndex, -1);
    EXPECT_EQ(late.kind, -1);
    EXPECT_EQ(late.gridRow, nullptr);
    EXPECT_EQ(late.stamp, 0);
    for (short t : late.ticks)
        EXPECT_EQ(t, 0);

    broker->setReply("WD=111", "111|1|Indices not available", 1);
    EXPECT_EQ(testkit::onWorker([&] { return Get_Indices(access); }), -1);
    EXPECT_EQ(IndexTable::instance().count(), 0);
    EXPECT_TRUE(boxShown("Indices not available"));
}

TEST_F(LookupTest, WatchListsFromCategoriesAndTheUsersOwnLists)
{
    broker->setReply("WD=100", "100|0|OK^11|Mine~12|Other", 1);
    EXPECT_EQ(testkit::onWorker([&] { return Get_Watchlist(access, "U1", {}); }), 2);
    WatchlistTable& t = WatchlistTable::instance();
    EXPECT_EQ(t.capacity(), 25);
    EXPECT_EQ(t.ownLists(), 2);
    const WatchlistRecord r = t.record(1);
    EXPECT_EQ(r.id, 12);
    EXPECT_STREQ(r.name, "Other");
    EXPECT_EQ(r.columnCount, 11 + 4);
    EXPECT_EQ(r.rowCapacity, 10);
    EXPECT_EQ(r.inUse, 1);

    std::vector<CategoryRecord> cats(3);
    cats[0].id = 1, cats[0].group.assign("Futures"), cats[0].name.assign("F1");
    cats[1].id = 2, cats[1].group.assign("Futures"), cats[1].name.assign("F2");
    cats[2].id = 3, cats[2].group.assign("Indices"), cats[2].name.assign("I1");
    broker->setReply("WD=100", "100|0|OK", 1);
    EXPECT_EQ(testkit::onWorker([&] { return Get_Watchlist(access, "U1", cats); }), 3);
    EXPECT_EQ(t.groupNames(), (std::vector<std::string>{"My Watchlist", "Futures", "Indices"}));
    EXPECT_EQ(t.record(2).group, 2);
    EXPECT_EQ(t.record(2).chainKind, -1);
    EXPECT_EQ(t.capacity(), 23);
}

// A category file whose group's lists are not together (a cached file of an
// older list) still gives each group one page, in order of first use.
TEST_F(LookupTest, AGroupSplitInTheCategoryFileIsOnePage)
{
    const char* rows[][2] = {{"Indices", "NIFTY 50"}, {"Sectors", "Banking"}, {"Indices", "CNX Nifty"},
                             {"My Watchlist", "Shared"}, {"Sectors", "Automobiles"}};
    std::vector<CategoryRecord> cats(std::size(rows));
    for (size_t i = 0; i < cats.size(); ++i) {
        cats[i].id = -501 - int(i);
        cats[i].group.assign(rows[i][0]);
        cats[i].name.assign(rows[i][1]);
    }
    broker->setReply("WD=100", "100|0|OK", 1);
    ASSERT_EQ(testkit::onWorker([&] { return Get_Watchlist(access, "U1", cats); }), 5);
    WatchlistTable& t = WatchlistTable::instance();
    EXPECT_EQ(t.groupNames(), (std::vector<std::string>{"My Watchlist", "Indices", "Sectors"}));
    const int expected[] = {1, 2, 1, 0, 2};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(t.record(i).group, expected[i]) << rows[i][1];
}

TEST_F(LookupTest, WatchListRowsKeepOnlyKnownSecuritiesAndLogAWrongCode)
{
    broker->setReply("WD=100", "100|0|OK^11|Mine", 1);
    ASSERT_EQ(testkit::onWorker([&] { return Get_Watchlist(access, "U1", {}); }), 1);
    const auto& secs = broker->universe().securities();
    const std::string body = "153|0|OK^" + std::to_string(secs[0].token) + "|x|" + secs[0].exchange + "~999999|y|"
        + secs[0].exchange + "~" + std::to_string(secs[1].token) + "|z|" + secs[1].exchange;
    broker->setReply("WD=104", body, 1);
    EXPECT_EQ(testkit::onWorker([&] { return Get_Watchlist_Details(access, 0, 0, ""); }), 0);
    const WatchlistRecord r = WatchlistTable::instance().record(0);
    ASSERT_EQ(r.rowCount, 2);
    EXPECT_EQ(r.rows[0].token, secs[0].wtoken);
    EXPECT_EQ(r.rows[0].origin, '1');
    EXPECT_EQ(r.rowCapacity, 40);
    EXPECT_NE(logText().find("Invalid Code Ret :153 instead of 154"), std::string::npos);
}

TEST_F(LookupTest, ResearchCallsShowOnlySubscribedServices)
{
    std::vector<ServiceRecord> services(2);
    services[0].id = 1;
    services[0].subscribed = 1;
    services[1].id = 2;
    std::vector<std::pair<std::string, std::string>> shown;
    const auto sink = [&](const std::string& text, const std::string& extra) { shown.emplace_back(text, extra); };
    broker->setReply("ReportData=900",
                     "901|0|||Call A~0~Extra A|Call B~1~Extra B|Call C~2~Extra C|Call D~~Extra D|Call E~Two|END", 1);
    EXPECT_EQ(testkit::onWorker([&] { return GetMktResearchCalls(access, services, sink); }), 0);
    EXPECT_EQ(shown, (std::vector<std::pair<std::string, std::string>>{
                         {"Call A", "Extra A"}, {"Call B", "Extra B"}, {"Call E", "Two"}}));

    shown.clear();
    broker->setReply("ReportData=900", "900|0|||Call A~0~x|END", 1);
    EXPECT_EQ(testkit::onWorker([&] { return GetMktResearchCalls(access, services, sink); }), -1);
    EXPECT_TRUE(shown.empty());
    EXPECT_NE(logText().find("Invalid response[900|0|||Call A~0~x|END]"), std::string::npos);
}

} // namespace
} // namespace startuptest
