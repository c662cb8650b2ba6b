// The risk report's replies (411 limits, 412 positions, 413 holdings, 414
// unbilled, 415 today's) and the profit and loss worked from what they read,
// with every security the reply names found in a table whose facts come
// from the input's first bytes. The first byte picks the report; from 250 on
// it picks the MIS limits or the pledge reply (419).
// Properties: no more rows than the reply has records; every profit and loss
// a finite number; a tick's net quantity the traded difference kept in an int.
#include "../FuzzTarget.h"

#include "positions/PositionMath.h"
#include "positions/RiskReplies.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace risk_replies {

namespace {

class AnySecurity : public RiskSecurities {
public:
    explicit AnySecurity(RiskSecurityFacts facts) : m_facts(std::move(facts)) {}
    int find(int, std::string_view) const override { return 0; }
    RiskSecurityFacts facts(int) const override { return m_facts; }

private:
    RiskSecurityFacts m_facts;
};

} // namespace

FUZZ_TARGET(risk_replies)
{
    if (size < 11)
        return;
    if (data[0] >= 250) {
        // The MIS limits and the pledge and unpledge reply (419).
        const std::string_view reply = fuzz::text(data + 1, size - 1);
        if (data[0] & 1) {
            const RiskOutcome mis = ParseMisReply(reply, "ABC12");
            FUZZ_CHECK(mis.positions.empty() && mis.todays.empty() && mis.unbilled.empty());
        } else {
            const PledgeResult r = ParsePledgeReply(data[1] % 2 ? 200 : 500, reply, {{2885, "RELIANCE-EQ"}, {1594, ""}});
            FUZZ_CHECK(r.note == 0 || r.note == -1);
        }
        return;
    }
    RiskSecurityFacts facts;
    int32_t numbers[2];
    std::memcpy(numbers, data + 2, sizeof numbers);
    facts.lot = numbers[0];
    facts.price_multiplier = numbers[1];
    facts.price_divisor = static_cast<int8_t>(data[10]);
    facts.currency = data[1] & 1;
    facts.commodity = data[1] & 2;
    facts.series = data[1] & 4 ? "OI" : "EQ";
    const AnySecurity securities(facts);
    RiskParseContext context;
    context.securities = &securities;
    context.segment_ids = {0, 1, 2, 4, 5, 7, 12};

    const int type = RiskTypeOfDataIndex(data[0] % 5);
    const std::string_view reply = fuzz::text(data + 11, size - 11);
    const size_t records = size_t(std::count(reply.begin(), reply.end(), '^'))
                           + size_t(std::count(reply.begin(), reply.end(), '~')) + 1;
    const RiskOutcome out = ParseRiskReply(type, reply, "ABC12", "ABC12", context);
    FUZZ_CHECK(out.positions.size() <= records);
    FUZZ_CHECK(out.todays.size() <= records);
    FUZZ_CHECK(out.unbilled.size() <= records);
    for (const PositionRecord& p : out.positions)
        FUZZ_CHECK(std::isfinite(PositionMath::OpenPositionPl(p, facts, 123.45)));
    for (TodaysPositionRecord r : out.todays) {
        FUZZ_CHECK(std::isfinite(PositionMath::ApplyTodaysTick(r, facts, 123.45)));
        const long long net = static_cast<long long>(r.buy_traded_qty) - r.sell_traded_qty;
        FUZZ_CHECK(r.net_qty == std::clamp<long long>(net, INT_MIN, INT_MAX));
        FUZZ_CHECK(std::isfinite(r.unrealised_pl));
    }
}

} // namespace risk_replies
