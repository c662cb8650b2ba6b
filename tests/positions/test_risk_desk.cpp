// The broker's risk service as the terminal's readers meet it: the seeded
// book, the order desk's fills, refusals and the pledge flip.
#include "OrderDesk.h"
#include "RequestDecoder.h"
#include "RiskDesk.h"
#include "Universe.h"

#include "positions/RiskReplies.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

// The broker's universe as the terminal's security table: index = position.
class UniverseSecurities final : public RiskSecurities {
public:
    explicit UniverseSecurities(const tb::Universe& u) : m_u(u) {}
    int find(int token, std::string_view exchange) const override
    {
        const auto& all = m_u.securities();
        for (size_t i = 0; i < all.size(); ++i)
            if (all[i].token == token && all[i].exchange == exchange)
                return static_cast<int>(i);
        return -1;
    }
    RiskSecurityFacts facts(int index) const override
    {
        const tb::Security& s = m_u.securities()[static_cast<size_t>(index)];
        RiskSecurityFacts f;
        f.lot = s.lot;
        f.currency = s.exchange == "CN" || s.exchange == "CB";
        f.commodity = s.exchange == "MC";
        f.price_multiplier = s.multiplier;
        f.price_divisor = 1;
        f.last_paise = static_cast<double>(s.price);
        f.series = s.inst;
        return f;
    }

private:
    const tb::Universe& m_u;
};

class RiskDeskTest : public ::testing::Test {
protected:
    RiskDeskTest()
        : orders([](const std::string&, const std::string&) {},
                 [this](const std::string& exchange, int token) -> int64_t {
                     if (lastPaise > 0)
                         return lastPaise;
                     const tb::Security* s = universe.byToken(exchange, token);
                     return s ? s->price : 0;
                 }),
          risk(universe, [this] { return orders.orders(); }), securities(universe)
    {
        context.securities = &securities;
        context.segment_ids = {0, 1, 2, 4, 5, 7, 12};
    }
    std::string ask(int type, const std::string& client = "ABC12")
    {
        return risk.reply(tb::splitRequest("RiskData=" + std::to_string(type) + "|0091|U1|" + client + "|" + client
                                           + "|4&AClient=N"));
    }
    RiskOutcome read(int type) { return ParseRiskReply(type, ask(type), "ABC12", "ABC12", context); }
    void buyAtMarket(const tb::Security& s, int qty, int mark, char side = 'B')
    {
        const std::string record = "101|CID01|N|00:00:00:00|" + std::to_string(s.token) + "|" + s.exchange + "|"
            + std::string(1, side) + "|"
            + std::to_string(qty) + "|0.00|U1|ABC12|ABC12|00-00-0000|0|0.00|0|GFD|C|" + std::to_string(mark)
            + "|N||0|4|VX_1";
        orders.reply(tb::splitRequest("NoOfOrders=1&OrderData1=" + record + "&AClient=N&OrdReqNo=1"), {});
    }

    int64_t lastPaise = 0; // the price market orders trade at; 0: the universe's
    tb::Universe universe{1, 400, 2026, 12, 10};
    tb::OrderDesk orders;
    tb::RiskDesk risk;
    UniverseSecurities securities;
    RiskParseContext context;
};

TEST_F(RiskDeskTest, SeededBookReadsBack)
{
    const RiskOutcome limits = read(kRiskLimits);
    ASSERT_NE(limits.limits, nullptr);
    EXPECT_EQ(limits.count, 5);
    EXPECT_EQ(limits.limits->client_code, "ABC12");
    EXPECT_DOUBLE_EQ(limits.limits->at(26), 750000);
    EXPECT_DOUBLE_EQ(limits.limits->at(90), 630000);
    EXPECT_EQ(limits.mis_cutoff_text, "15:15:00");

    const RiskOutcome open = read(kRiskPositions);
    ASSERT_GE(open.positions.size(), 8u);
    std::set<int> products;
    std::string marginTypes;
    for (const PositionRecord& p : open.positions) {
        EXPECT_GE(p.sec_index, 0) << p.token << " " << p.exchange;
        products.insert(p.product_code);
        marginTypes += p.margin_type;
        EXPECT_EQ(p.product_class, 1);
    }
    EXPECT_EQ(products, (std::set<int>{0, 5, 12}));
    EXPECT_NE(marginTypes.find("PSR"), std::string::npos);
    bool currency = false, commodity = false;
    for (const PositionRecord& p : open.positions) {
        currency = currency || p.exchange == "CN";
        commodity = commodity || p.exchange == "MC";
    }
    EXPECT_TRUE(currency && commodity);

    const RiskOutcome holdings = read(kRiskHoldings);
    std::vector<int> types;
    for (const PositionRecord& h : holdings.positions)
        types.push_back(h.product_code);
    EXPECT_EQ(types, (std::vector<int>{1, 4, 1, 9, 9}));
    EXPECT_EQ(holdings.positions[0].token, holdings.positions[1].token); // one security, two marks

    const RiskOutcome unbilled = read(kRiskUnbilled);
    EXPECT_EQ(unbilled.unbilled.size(), 3u);
    EXPECT_EQ(unbilled.unbilled_total_text, "600000.00");

    const RiskOutcome todays = read(kRiskTodays);
    ASSERT_EQ(todays.todays.size(), 2u);
    EXPECT_EQ(todays.todays[1].buy_traded_qty, 0); // the zero-quantity record is still stored

    // Another client's book starts empty.
    EXPECT_EQ(ParseRiskReply(kRiskPositions, ask(kRiskPositions, "ZZZ99"), "ZZZ99", "", context).positions.size(),
              0u);
}

TEST_F(RiskDeskTest, OrderDeskFillsJoinOpenAndTodaysPositions)
{
    orders.setMatching(true);
    const size_t seeded = read(kRiskPositions).positions.size();
    // A security the book does not hold (the tenth equity) and one it holds.
    const tb::Security* fresh = nullptr;
    int n = 0;
    for (const tb::Security& s : universe.securities())
        if (s.exchange == "NN" && s.inst == "EQ" && n++ == 9)
            fresh = &s;
    ASSERT_NE(fresh, nullptr);
    buyAtMarket(*fresh, 7, 0);
    const RiskOutcome open = read(kRiskPositions);
    ASSERT_EQ(open.positions.size(), seeded + 1);
    EXPECT_EQ(open.positions.back().token, fresh->token);
    EXPECT_EQ(open.positions.back().net_qty, 7);
    EXPECT_NEAR(open.positions.back().avg_price, static_cast<double>(fresh->price) / 100, 0.01);

    const int firstNet = open.positions[0].net_qty;
    buyAtMarket(*universe.byToken("NN", open.positions[0].token), 3, 0);
    EXPECT_EQ(read(kRiskPositions).positions[0].net_qty, firstNet + 3);

    const RiskOutcome todays = read(kRiskTodays);
    ASSERT_EQ(todays.todays.size(), 4u);
    bool found = false;
    for (const TodaysPositionRecord& r : todays.todays)
        if (r.token == fresh->token) {
            found = true;
            EXPECT_EQ(r.buy_traded_qty, 7);
            EXPECT_NEAR(r.buy_traded_value, 7.0 * static_cast<double>(fresh->price) / 100, 0.01);
        }
    EXPECT_TRUE(found);
}

// Bought 5 at 298.40 and sold back at 299.10: the closed position keeps its
// traded figures and realises 5 x 0.70 = 3.50.
TEST_F(RiskDeskTest, ASquaredOffPositionKeepsItsRealisedProfit)
{
    orders.setMatching(true);
    const tb::Security* eq = nullptr;
    int n = 0;
    for (const tb::Security& s : universe.securities())
        if (s.exchange == "NN" && s.inst == "EQ" && n++ == 9)
            eq = &s;
    ASSERT_NE(eq, nullptr);
    lastPaise = 29840;
    buyAtMarket(*eq, 5, 0);
    lastPaise = 29910;
    buyAtMarket(*eq, 5, 0, 'S');
    const RiskOutcome todays = read(kRiskTodays);
    const TodaysPositionRecord* r = nullptr;
    for (const TodaysPositionRecord& t : todays.todays)
        if (t.token == eq->token)
            r = &t;
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->buy_traded_qty, 5);
    EXPECT_DOUBLE_EQ(r->buy_traded_value, 1492.00);
    EXPECT_EQ(r->sell_traded_qty, 5);
    EXPECT_DOUBLE_EQ(r->sell_traded_value, 1495.50);
    EXPECT_EQ(r->net_qty, 0);
    EXPECT_DOUBLE_EQ(r->realised_pl, 3.50);
}

TEST_F(RiskDeskTest, RefusalsAndPledge)
{
    risk.refuseNext(kRiskPositions, 1205, "Session expired");
    EXPECT_EQ(read(kRiskPositions).note, kRiskNoteSession);
    EXPECT_EQ(read(kRiskPositions).note, kRiskPositions); // used up
    risk.refuseNext(kRiskPledge, 1, "Rejected");
    const std::vector<std::pair<int, std::string>> names;
    EXPECT_EQ(ParsePledgeReply(200, risk.reply(tb::splitRequest("RiskData=419|0091|U1|ABC12|0|4|1~1|NN|1~")), names)
                  .text,
              "Rejected");

    const std::vector<PositionRecord> before = read(kRiskHoldings).positions;
    const PositionRecord& nn = before[0]; // type 1 on NN, 100 held
    const PositionRecord& bn = before[2]; // type 1 on BN, 60 held
    RiskClient client{"ABC12", "0091", false};
    const std::string request = PledgeRequestText(
        client, "U1", 0, {{nn.token, nn.exchange, 10}, {bn.token, bn.exchange, 61}});
    const PledgeResult result = ParsePledgeReply(200, risk.reply(tb::splitRequest(request)), {});
    EXPECT_EQ(result.note, 0);
    EXPECT_NE(result.text.find("1 -Marked to margin funding"), std::string::npos) << result.text;
    EXPECT_NE(result.text.find("2 -Quantity exceeds the stock balance"), std::string::npos) << result.text;
    const std::vector<PositionRecord> after = read(kRiskHoldings).positions;
    EXPECT_EQ(after[0].product_code, 9);
    EXPECT_EQ(after[2].product_code, 1);
}

} // namespace
