// The replies of order entry and the books: a single order (plain and smart
// routed), the order book (600), the trade book (610), the trailing book
// (640) and a trailing order's reply, the margin query (405), a basket's
// placing and margin replies, and a position conversion's query (420) and
// reply. The first byte picks the reader; the second is the HTTP status's
// pick (mostly 200).
// Properties: no more rows or records than the reply has; no row kept past
// the count the header announces where the reader bounds it; every fixed
// text of a trailing record ends inside its field; quantities are never
// negative where the reader makes them absolute.
#include "../FuzzTarget.h"

#include "orders/BasketMargin.h"
#include "orders/BasketRequest.h"
#include "orders/ConvertPositionRequest.h"
#include "orders/OrderMargin.h"
#include "orders/OrderReply.h"
#include "orders/OrderReportRequest.h"
#include "orders/TradeReport.h"
#include "orders/TsloOrder.h"
#include "orders/TsloOrderBook.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace order_replies {

namespace {

size_t pieces(std::string_view text, char separator)
{
    return size_t(std::count(text.begin(), text.end(), separator)) + 1;
}

int statusOf(uint8_t pick)
{
    static const int statuses[] = {200, 200, 200, 200, 200, 200, 407, 500, 0, 12002};
    return statuses[pick % 10];
}

// A fixed text field ends with a NUL inside its array.
template <size_t N>
bool ends(const char (&field)[N])
{
    return std::memchr(field, 0, N) != nullptr;
}

OrderSecurity anySecurity(uint8_t facts)
{
    OrderSecurity sec;
    sec.index = 0;
    sec.token = 1234;
    sec.exchange = facts & 1 ? "CN" : "NN";
    sec.series = facts & 2 ? "FUTIDX" : "EQ";
    sec.derivative = facts & 2 ? 1 : 0;
    sec.currency = facts & 1;
    sec.commodity = facts & 4 ? 1 : 0;
    sec.marketLot = facts & 8 ? 0 : 50;
    sec.lotUnits = facts & 16 ? 0 : 1000;
    sec.denominator = facts & 32 ? 0 : 1;
    sec.tickSize = 5;
    return sec;
}

int securityOf(int token, const std::string&)
{
    return token % 3 == 0 ? -1 : token % 1000;
}

} // namespace

FUZZ_TARGET(order_replies)
{
    if (size < 2)
        return;
    const int status = statusOf(data[1]);
    const std::string_view reply = fuzz::text(data + 2, size - 2);
    const std::string text(reply);
    switch (data[0] % 10) {
    case 0: {
        const PlainOrderReply r = ParsePlainOrderReply(reply);
        FUZZ_CHECK(r.message.size() <= reply.size() || r.message == kOrderRefusedText);
        break;
    }
    case 1: {
        const SmartOrderReply r = ParseSmartOrderReply(reply);
        FUZZ_CHECK(r.fills.size() <= 2);
        FUZZ_CHECK(r.accepted || r.fills.empty());
        break;
    }
    case 2: {
        const OrderReportOutcome r = ReadOrderReportReply(status, text, long(text.size()));
        FUZZ_CHECK(r.rows.size() <= pieces(reply, '^'));
        FUZZ_CHECK(r.kind != OrderReportOutcome::Load || (r.count >= 0 && size_t(r.count) <= r.rows.size()));
        FUZZ_CHECK(r.kind != OrderReportOutcome::Load || r.count >= 1);
        break;
    }
    case 3: {
        const TradeReportOutcome r = ReadTradeReportReply(status, text, "ABC12", securityOf);
        FUZZ_CHECK(r.trades.size() <= pieces(reply, '^'));
        FUZZ_CHECK(r.kind == TradeReportOutcome::Load || r.trades.empty());
        for (const TradeInfo& t : r.trades) {
            FUZZ_CHECK(t.exchange.size() <= 2);
            FUZZ_CHECK(t.client_code.size() <= kTradeFieldMax && t.security.size() <= kTradeFieldMax);
        }
        break;
    }
    case 4: {
        const TsloReport r = ReadTsloReport(reply, "ABC12");
        FUZZ_CHECK(r.records.size() <= pieces(reply, '^'));
        FUZZ_CHECK(r.ok || r.records.empty());
        for (size_t i = 0; i < r.records.size(); ++i) {
            const TsloOrderInfo& o = r.records[i];
            FUZZ_CHECK(o.row_number == int(i));
            FUZZ_CHECK(ends(o.client_code) && ends(o.user_id) && ends(o.segment) && ends(o.exchange)
                       && ends(o.field5) && ends(o.field6) && ends(o.field11) && ends(o.buy_sell) && ends(o.status)
                       && ends(o.remark) && ends(o.activity_time) && ends(o.field26));
            FUZZ_CHECK(TsloRowTexts(o, "NAME", data[1] & 1).size() == size_t(kTsloColumns));
            const TsloBook book(r.records);
            TsloCanModify(book, int(i));
            TsloCanCancel(book, int(i));
            const int edited = TsloFormRecord(book, int(i), 1 + data[1] % 2);
            FUZZ_CHECK(edited >= -1 && edited < int(book.size()));
        }
        break;
    }
    case 5: {
        const TsloReply r = ParseTsloReply(121 + data[1] % 3, reply);
        FUZZ_CHECK(r.kind == TsloReply::Kind::Accepted || r.trailingId == 0);
        break;
    }
    case 6: {
        MarginInput in;
        in.clientCode = "ABC12";
        in.security = anySecurity(data[1]);
        in.quantity = 1 + data[1] % 7;
        in.priceText = "101.5";
        MarginPlan plan;
        plan.ask = true;
        plan.price = 101.5;
        plan.segmentKind = in.security.currency ? 2 : in.security.derivative ? 1 : 0;
        const MarginOutcome r = ReadMarginReply(in, plan, reply);
        FUZZ_CHECK(!r.hasMargin || std::isfinite(r.margin));
        break;
    }
    case 7: {
        const std::vector<BasketLegResult> results = ReadBasketReply(text);
        FUZZ_CHECK(results.size() <= pieces(reply, '~'));
        for (size_t i = 0; i < results.size(); ++i) {
            FUZZ_CHECK(results[i].record >= 0 && size_t(results[i].record) < pieces(reply, '~'));
            FUZZ_CHECK(i == 0 || results[i].record > results[i - 1].record);
            BasketResultLine(int(i) + 1, results[i]);
        }
        BasketReplyResult(results);
        break;
    }
    case 8: {
        BasketMarginLeg leg;
        leg.sec = anySecurity(data[1]);
        leg.price = 101.5;
        leg.quantity = 1 + data[1] % 7;
        leg.sell = data[1] & 64;
        leg.kind = leg.sec.currency ? 2 : leg.sec.derivative ? 1 : 0;
        const BasketMarginStep step = ReadBasketMarginReply(status, text, leg, "ABC12");
        FUZZ_CHECK(step.kind != BasketMarginStep::Add || std::isfinite(step.margin));
        break;
    }
    default: {
        const ConversionQueryResult q = ReadConversionQuery(text);
        FUZZ_CHECK(q.convertible >= 0);
        FUZZ_CHECK(q.ok || q.convertible == 0);
        const ConversionOutcome o = ReadConversionReply(status, text);
        FUZZ_CHECK(!o.text.empty() || status == 200);
        break;
    }
    }
}

} // namespace order_replies
