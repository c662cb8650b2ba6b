// Price alerts: the file keeps every alert the user set across runs, a bad
// line loses only itself, and a check fires an alert once, never twice.
#include "server/SecurityTable.h"
#include "watch/AlertCheck.h"
#include "watch/AlertTable.h"
#include "watch/base/TextSplit.h"

#include "pf/clock.h"
#include "pf/files.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

namespace {

// Three securities: SBIN on NN and CN, TCS on CM.
std::shared_ptr<SecurityTable> makeTable()
{
    SecurityRows rows(3);
    auto set = [&](int i, const char* symbol, const char* key, const char* exch, int wtoken) {
        rows[size_t(i)].symbol.assign(symbol);
        rows[size_t(i)].setDisplayKey(key);
        rows[size_t(i)].market_exchange.assign(exch);
        rows[size_t(i)].token = wtoken;
        rows[size_t(i)].wtoken = wtoken;
    };
    set(0, "SBIN", "SBIN~EQ", "NN", 101);
    set(1, "SBIN", "SBIN~CUR", "CN", 102);
    set(2, "TCS", "TCS~EQ", "CM", 201);
    auto table = std::make_shared<SecurityTable>();
    table->build(std::move(rows), SecurityTable::Build::Full, false);
    return table;
}

AlertRecord makeAlert(int security, int type, int criteria, double typed, bool recurring = false)
{
    AlertRecord r;
    r.secIndex = security;
    r.type = type;
    r.quoteField = kAlertTypes[type].quoteField;
    r.criteria = criteria;
    r.typed = typed;
    r.trigger = typed * kAlertTypes[type].scale;
    r.recurring = recurring;
    r.name = "my alert";
    r.description = "desc";
    return r;
}

std::string keyOf(const SecurityTable& t, const AlertRecord& r)
{
    const auto& row = t.row(r.secIndex);
    return AlertKey(r.type, row.displayKey().view(), r.criteria, r.typed,
                    AlertValueDecimals(r.type, row.market_exchange.view()));
}

void setQuote(SecurityTable& t, int security, int kind, double value)
{
    QuoteData q = t.row(security).quote();
    q.quote[kind] = value;
    t.row(security).storeQuote(q);
}

class AlertFileTest : public ::testing::Test {
protected:
    void SetUp() override { AlertTable::instance().clear(); }
    void TearDown() override { AlertTable::instance().clear(); }

    void store(const AlertRecord& r) { alerts.put(keyOf(*table, r), r); }
    std::string written()
    {
        EXPECT_TRUE(WriteAlertDataToFile(alerts, *table, path));
        return pf::files::readAll(path).value_or("");
    }

    std::shared_ptr<SecurityTable> table = makeTable();
    AlertTable alerts;
    TempDir dir;
    std::filesystem::path path = AlertsFilePath(dir.path(), "U1");
};

TEST_F(AlertFileTest, WrittenAlertsReadBackAndFiredOneTimeAlertsAreDropped)
{
    AlertRecord once = makeAlert(0, 2, kCriteriaAtOrAbove, 5);
    AlertRecord recurring = makeAlert(0, 6, kCriteriaBelow, 100, true);
    AlertRecord firedOnce = makeAlert(2, 2, kCriteriaBelow, 3000);
    firedOnce.triggered = true;
    AlertRecord firedRecurring = makeAlert(2, 0, kCriteriaAtOrAbove, 2500.5, true);
    firedRecurring.triggered = true;
    firedRecurring.trackedTime = pf::clock().nowSeconds();
    for (const auto& r : {once, recurring, firedOnce, firedRecurring})
        store(r);

    const std::string text = written();
    std::vector<std::string> lines;
    SplitString(text, '\n', lines);
    ASSERT_EQ(lines.size(), 4u) << text; // three lines and the empty rest
    for (size_t i = 0; i < 3; ++i) {
        std::vector<std::string> f;
        SplitString(lines[i], '|', f);
        ASSERT_EQ(f.size(), 25u) << lines[i];
        EXPECT_EQ(f[6], "0") << "the fired flag is never stored";
    }
    EXPECT_EQ(text.find("3000"), std::string::npos) << "a fired one-time alert is done with";

    AlertTable loaded;
    std::vector<int> subscribed;
    EXPECT_EQ(ReadAlertDataFromFile(loaded, *table, path, [&](int s) { subscribed.push_back(s); }), 3);
    EXPECT_EQ(subscribed, (std::vector<int>{2, 0, 0})); // key order: type 0 first
    EXPECT_EQ(table->row(0).alert_flag.load(), 1);
    const auto back = loaded.find(keyOf(*table, firedRecurring));
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->triggered) << "a recurring alert is active again after a start";
    EXPECT_TRUE(back->recurring);
    EXPECT_DOUBLE_EQ(back->trigger, 250050);
    EXPECT_EQ(back->trackedTime, firedRecurring.trackedTime);
    EXPECT_EQ(back->setTime, firedRecurring.setTime);
    const auto first = loaded.find(keyOf(*table, once));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->name, "my alert");
    EXPECT_EQ(first->type, 2);
    EXPECT_EQ(first->criteria, kCriteriaAtOrAbove);
    EXPECT_EQ(first->watchToken, 101);
}

TEST_F(AlertFileTest, ValueDecimalsFollowTheExchangeAndTheType)
{
    struct Case {
        int security, type;
        double typed;
        const char* key;
        const char* typedField;
    } cases[] = {
        {1, 2, 82.1234, "2~SBIN~CUR~>=~82.1234", "82.1234"}, // CN: 4 decimals
        {2, 2, 3000.25, "2~TCS~EQ~>=~3000.25", "3000.25"},   // CM: 2
        {0, 6, 1500, "6~SBIN~EQ~>=~1500", "1500.00"},       // quantity: none in the key
    };
    for (const Case& c : cases) {
        alerts.clear();
        const AlertRecord r = makeAlert(c.security, c.type, kCriteriaAtOrAbove, c.typed);
        EXPECT_EQ(keyOf(*table, r), c.key);
        store(r);
        std::vector<std::string> f;
        SplitString(written(), '|', f);
        ASSERT_GE(f.size(), 22u);
        EXPECT_EQ(f[0], c.key);
        EXPECT_EQ(f[21], c.typedField) << c.key;
    }
}

TEST_F(AlertFileTest, BadLinesAreSkippedAndTheRestLoads)
{
    AlertRecord good = makeAlert(0, 2, kCriteriaAtOrAbove, 5);
    good.name = std::string(20, 'n');
    good.description = std::string(200, 'd'); // a line far past 255 characters
    store(good);
    const std::string goodLine = written();
    ASSERT_GT(goodLine.size(), 300u);

    AlertRecord later = makeAlert(2, 2, kCriteriaBelow, 10);
    alerts.clear();
    store(later);
    const std::string laterLine = written();

    std::string unknownToken = laterLine;
    unknownToken.replace(unknownToken.rfind("|201|"), 5, "|999|");
    std::string badType = laterLine; // type 9 does not exist
    std::vector<std::string> f;
    SplitString(laterLine, '|', f);
    f[20] = "9";
    badType.clear();
    for (size_t i = 0; i < f.size(); ++i)
        badType += (i ? "|" : "") + f[i];
    // No criteria: such an alert could never fire and was written back as -1.
    std::vector<std::string> g;
    SplitString(laterLine, '|', g);
    g[3].clear();
    std::string noCriteria;
    for (size_t i = 0; i < g.size(); ++i)
        noCriteria += (i ? "|" : "") + g[i];

    std::string crlf = goodLine;
    crlf.insert(crlf.size() - 1, "\r");
    const std::string file = "garbage without fields\n" + badType + noCriteria + unknownToken + crlf + laterLine;
    ASSERT_TRUE(pf::files::writeAll(path, file));

    AlertTable loaded;
    EXPECT_EQ(ReadAlertDataFromFile(loaded, *table, path), 2);
    EXPECT_TRUE(loaded.contains(keyOf(*table, good)));
    EXPECT_TRUE(loaded.contains(keyOf(*table, later)));
    EXPECT_EQ(loaded.find(keyOf(*table, good))->description, good.description);
}

TEST_F(AlertFileTest, TheLaterOfTwoLinesWithOneKeyWins)
{
    AlertRecord a = makeAlert(0, 2, kCriteriaAtOrAbove, 5);
    a.name = "first";
    store(a);
    const std::string first = written();
    a.name = "second";
    store(a);
    const std::string second = written();
    ASSERT_TRUE(pf::files::writeAll(path, first + second));
    AlertTable loaded;
    EXPECT_EQ(loaded.size(), 0);
    ReadAlertDataFromFile(loaded, *table, path);
    EXPECT_EQ(loaded.size(), 1);
    EXPECT_EQ(loaded.find(keyOf(*table, a))->name, "second");
}

TEST_F(AlertFileTest, AMissingFileLeavesTheTable)
{
    store(makeAlert(0, 2, kCriteriaAtOrAbove, 5));
    EXPECT_EQ(ReadAlertDataFromFile(alerts, *table, dir.path() / "none.dat"), -1);
    EXPECT_EQ(alerts.size(), 1);
}

TEST_F(AlertFileTest, ABarOrLineEndInANameNeverReachesTheFile)
{
    AlertRecord r = makeAlert(0, 2, kCriteriaAtOrAbove, 5);
    r.name = "a|b\nc";
    r.description = "x|y\r\n";
    store(r);
    const std::string text = written();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);
    AlertTable loaded;
    ASSERT_EQ(ReadAlertDataFromFile(loaded, *table, path), 1);
    EXPECT_EQ(loaded.entries().front().second.name, "a b c");
}

TEST_F(AlertFileTest, AlertsFollowTheirSecurityToANewMasterOrLeaveWithIt)
{
    AlertRecord r = makeAlert(2, 2, kCriteriaAtOrAbove, 5);
    r.watchToken = 201;
    r.symbol = "TCS";
    AlertRecord gone = makeAlert(1, 2, kCriteriaAtOrAbove, 5);
    gone.watchToken = 102;
    gone.symbol = "SBIN";
    store(r);
    store(gone);

    // The new master has TCS first and no CN row.
    SecurityRows rows(2);
    rows[0].symbol.assign("TCS");
    rows[0].setDisplayKey("TCS~EQ");
    rows[0].market_exchange.assign("CM");
    rows[0].wtoken = 201;
    rows[1].symbol.assign("SBIN");
    rows[1].setDisplayKey("SBIN~EQ");
    rows[1].market_exchange.assign("NN");
    rows[1].wtoken = 101;
    SecurityTable reloaded;
    reloaded.build(std::move(rows), SecurityTable::Build::Full, false);

    EXPECT_EQ(alerts.rebind(reloaded), (std::vector<std::string>{keyOf(*table, gone)}));
    EXPECT_EQ(alerts.securities(), (std::vector<int>{0}));
    EXPECT_EQ(alerts.entriesOf(0).size(), 1u);
}

// --- firing ---

class AlertFireTest : public ::testing::Test {
protected:
    std::shared_ptr<SecurityTable> table = makeTable();
    AlertTable alerts;
    void store(const AlertRecord& r) { alerts.put(keyOf(*table, r), r); }
    std::optional<FiredAlert> check(int security) { return CheckAlerts(security, alerts, *table, 1'700'000'000); }
};

TEST_F(AlertFireTest, TheConditionIsComparedOnStoredUnits)
{
    struct Case {
        const char* name;
        int type, criteria;
        double typed;
        int kind;
        double value;
        bool fires;
    } cases[] = {
        {"LTP >= 5 at 500 paise", 2, kCriteriaAtOrAbove, 5, 4, 500, true},
        {"LTP >= 5 at 499 paise", 2, kCriteriaAtOrAbove, 5, 4, 499, false},
        {"TTQ < 100 at 99", 6, kCriteriaBelow, 100, 13, 99, true},
        {"TTQ < 100 at 100", 6, kCriteriaBelow, 100, 13, 100, false},
        {"LTP >= 5 at NaN", 2, kCriteriaAtOrAbove, 5, 4, std::nan(""), false},
        {"LTP < 5 at NaN", 2, kCriteriaBelow, 5, 4, std::nan(""), false},
    };
    for (const Case& c : cases) {
        alerts.clear();
        table = makeTable();
        store(makeAlert(0, c.type, c.criteria, c.typed));
        table->row(0).alert_flag.store(1);
        setQuote(*table, 0, c.kind, c.value);
        // The feed's cheap test agrees with the check.
        EXPECT_EQ(alerts.mayFire(0, table->row(0).quote()), c.fires) << c.name;
        const auto fired = check(0);
        EXPECT_EQ(fired.has_value(), c.fires) << c.name;
        EXPECT_EQ(table->row(0).alert_flag.load(), c.fires ? 0 : 1) << c.name;
    }
}

// The feed's cheap test finds each security's own thresholds: none for a
// security without alerts before, between or after alerted ones, every one
// of a security with several, and each table its own when one thread asks
// two tables in turn.
TEST_F(AlertFireTest, TheCheapTestFindsEachSecuritysOwnThresholds)
{
    for (int s = 0; s < 3; ++s)
        setQuote(*table, s, 4, 600); // LTP 6.00
    store(makeAlert(1, 2, kCriteriaAtOrAbove, 7));
    store(makeAlert(1, 2, kCriteriaBelow, 5));
    store(makeAlert(1, 2, kCriteriaAtOrAbove, 6)); // holds, and is not the first in key order
    AlertTable other;
    AlertRecord below = makeAlert(0, 2, kCriteriaBelow, 7);
    other.put(keyOf(*table, below), below);
    for (int round = 0; round < 2; ++round) {
        for (int s : {-1, 0, 1, 2, 3, 1'000'000})
            alerts.prefetchThresholds(s); // reads nothing out of range
        EXPECT_FALSE(alerts.mayFire(0, table->row(0).quote())) << "no alert of its own";
        EXPECT_TRUE(alerts.mayFire(1, table->row(1).quote())) << "its third threshold holds";
        EXPECT_FALSE(alerts.mayFire(2, table->row(2).quote())) << "past the last alerted security";
        EXPECT_FALSE(alerts.mayFire(-1, table->row(0).quote()));
        EXPECT_TRUE(other.mayFire(0, table->row(0).quote())) << "the other table's alert";
        EXPECT_FALSE(other.mayFire(1, table->row(1).quote())) << "the other table has none for it";
    }
    // A threshold saved after the test ran is seen by the next test.
    store(makeAlert(2, 2, kCriteriaAtOrAbove, 6));
    EXPECT_TRUE(alerts.mayFire(2, table->row(2).quote()));
    alerts.erase(keyOf(*table, makeAlert(1, 2, kCriteriaAtOrAbove, 6)));
    EXPECT_FALSE(alerts.mayFire(1, table->row(1).quote())) << "an erased threshold still counted";
}

TEST_F(AlertFireTest, OneCrossingFiresOnlyTheFirstTrueAlertInKeyOrder)
{
    AlertRecord low = makeAlert(0, 2, kCriteriaAtOrAbove, 4);
    AlertRecord high = makeAlert(0, 2, kCriteriaAtOrAbove, 5, true);
    store(high);
    store(low);
    table->row(0).alert_flag.store(1); // as saving or loading the alerts sets it
    setQuote(*table, 0, 4, 600);
    const auto fired = check(0);
    ASSERT_TRUE(fired);
    EXPECT_EQ(fired->key, "2~SBIN~EQ~>=~4.00");
    EXPECT_EQ(fired->trackedText.rfind("Tracked Time: ", 0), 0u);
    EXPECT_TRUE(alerts.find(fired->key)->triggered);
    EXPECT_EQ(alerts.find(fired->key)->trackedTime, 1'700'000'000);

    // A second check of the same crossing (a tick queued before the first
    // check fired) fires nothing: the other true alert waits.
    EXPECT_FALSE(check(0)) << "one crossing fired two alerts";
    EXPECT_FALSE(alerts.find("2~SBIN~EQ~>=~5.00")->triggered);
    EXPECT_EQ(table->row(0).alert_flag.load(), 0);

    // Once an alert of the security is saved again (the mark set), the
    // waiting one fires; a fired alert never fires again.
    table->row(0).alert_flag.store(1);
    const auto second = check(0);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->key, "2~SBIN~EQ~>=~5.00");
    table->row(0).alert_flag.store(1);
    EXPECT_FALSE(check(0)) << "a fired alert does not fire again";
    EXPECT_FALSE(alerts.mayFire(0, table->row(0).quote())) << "fired alerts queue no checks";
}

// After a fire, the feed's cheap test leaves out exactly the alert that
// fired: the security's other alerts, before and after it in key order, and
// another security's alert at the same price still queue checks, also once
// a later save has published the thresholds again.
TEST_F(AlertFireTest, TheCheapTestDropsOnlyTheAlertThatFired)
{
    store(makeAlert(0, 2, kCriteriaBelow, 5));     // first in key order
    store(makeAlert(0, 2, kCriteriaAtOrAbove, 4)); // fires at 6.00
    store(makeAlert(0, 2, kCriteriaAtOrAbove, 7));
    store(makeAlert(1, 2, kCriteriaAtOrAbove, 4));
    table->row(0).alert_flag.store(1);
    setQuote(*table, 0, 4, 600);
    ASSERT_TRUE(check(0));
    EXPECT_EQ(check(0), std::nullopt) << "the mark is cleared after a fire";

    auto mayFireAt = [&](int security, double paise) {
        setQuote(*table, security, 4, paise);
        return alerts.mayFire(security, table->row(security).quote());
    };
    for (const char* when : {"after the fire", "after a later save"}) {
        EXPECT_FALSE(mayFireAt(0, 600)) << when << ": the fired alert still counted";
        EXPECT_TRUE(mayFireAt(0, 300)) << when << ": the alert below 5.00 was dropped";
        EXPECT_TRUE(mayFireAt(0, 800)) << when << ": the alert at 7.00 was dropped";
        EXPECT_TRUE(mayFireAt(1, 600)) << when << ": another security's alert was dropped";
        store(makeAlert(2, 2, kCriteriaAtOrAbove, 9));
    }
}

// A check the feed queued tests the quote that queued it, then the stored
// one: a crossing undone by a later tick before the check ran still fires,
// and so does one that a tick made while the check was pending (such a tick
// queues no check of its own).
TEST_F(AlertFireTest, AQueuedCheckFiresOnTheQuoteThatQueuedItOrTheStoredOne)
{
    struct Case {
        const char* name;
        double claimed, stored; // LTP in paise; the alert is at or above 5.00
        bool fires;
    } cases[] = {
        {"crossing undone before the check", 600, 400, true},
        {"crossed while the check was pending", 400, 600, true},
        {"crossed in both", 600, 700, true},
        {"crossed in neither", 400, 450, false},
    };
    for (const Case& c : cases) {
        alerts.clear();
        table = makeTable();
        store(makeAlert(0, 2, kCriteriaAtOrAbove, 5));
        table->row(0).alert_flag.store(1);
        setQuote(*table, 0, 4, c.claimed);
        const QuoteData claimed = table->row(0).quote();
        setQuote(*table, 0, 4, c.stored);
        EXPECT_EQ(CheckAlerts(0, claimed, alerts, *table, 1'700'000'000).has_value(), c.fires) << c.name;
    }
}

TEST_F(AlertFireTest, ABurstOfTicksStartsOneCheckAndConcurrentChecksFireOnce)
{
    AlertCheckGate gate;
    int started = 0;
    for (int i = 0; i < 100; ++i)
        started += gate.claim(0) ? 1 : 0;
    EXPECT_EQ(started, 1);
    EXPECT_EQ(gate.pending(), 1);
    gate.release(0);
    EXPECT_TRUE(gate.claim(0)) << "a tick after the check began starts the next";

    store(makeAlert(0, 2, kCriteriaAtOrAbove, 5));
    table->row(0).alert_flag.store(1);
    setQuote(*table, 0, 4, 900);
    std::atomic<int> fires{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i)
                if (check(0))
                    ++fires;
        });
    // The alert manager clears the table meanwhile: erase by key is safe.
    for (int i = 0; i < 50; ++i)
        alerts.erase("nothing");
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(fires.load(), 1);
}

} // namespace
