#include "server/OrderSecurity.h"

#include "server/SecurityTable.h"

double OrderSecurity::tickRupees() const
{
    if (bseDerivative() || exchange == "NC" || exchange == "MC")
        return tickSize / 100.0;
    return tickSize / 10000.0;
}

OrderSecurity OrderSecurityAt(int index)
{
    OrderSecurity s;
    const auto table = SecurityTable::current();
    if (!table || !table->valid(index))
        return s;
    const SecurityRecord& r = table->row(index);
    s.index = index;
    s.token = r.token;
    s.wtoken = r.wtoken;
    s.scripCode = r.scrip_code;
    s.symbol = r.symbol.view();
    s.displayKey = r.displayKey().view();
    s.series = r.inst_type.view();
    s.exchange = r.market_exchange.view();
    s.derivative = r.derivative;
    s.currency = r.currency;
    s.commodity = r.commodity;
    s.marketLot = r.market_lot;
    s.tickSize = r.tick_size;
    s.lotUnits = r.multiplier > 0 ? r.multiplier : 1;
    s.denominator = r.denominator();
    s.strike = r.strike;
    const QuoteData q = r.quote();
    s.bid = q.quote[0];
    s.ask = q.quote[2];
    s.ltp = q.quote[4];
    s.alertFlag1 = r.auxInt1();
    s.alertFlag2 = r.auxInt2();
    if (r.extras) {
        s.alertText = r.extras->description;
        s.priceUnit = r.extras->price_unit;
        s.priceQuantity = r.extras->price_quantity;
    }
    return s;
}


int OrderSearchToken(int token, const std::string& exchange) { return Search_Token(token, exchange); }

namespace order_security_detail {
namespace {

bool isCashRow(const SecurityRecord& r)
{
    return !r.derivative && !r.currency && !r.commodity && !(r.inst_type == "IN");
}

} // namespace
} // namespace order_security_detail

int OrderFindOnExchange(const std::string& symbol, const std::string& exchange, const std::string& series,
                        bool cashOnly)
{
    const auto table = SecurityTable::current();
    if (!table || symbol.empty() || exchange.empty())
        return -1;
    int cash = -1;
    int any = -1;
    for (int i = 0; i < table->count(); ++i) {
        const SecurityRecord& r = table->row(i);
        if (!(r.symbol == symbol) || !(r.market_exchange == exchange))
            continue;
        if (!series.empty() && r.inst_type == series)
            return i;
        if (cash < 0 && order_security_detail::isCashRow(r))
            cash = i;
        if (any < 0)
            any = i;
    }
    if (cash >= 0)
        return cash;
    return cashOnly ? -1 : any;
}

int OrderTwinOnExchange(const OrderSecurity& sec, const std::string& exchange)
{
    const bool cash = !sec.inLots();
    const int found = OrderFindOnExchange(sec.symbol, exchange, sec.series, !cash);
    if (found < 0 || (!cash && OrderSecurityAt(found).series != sec.series))
        return -1;
    return found;
}

int OrderResolveTyped(const std::string& text, const std::string& exchange)
{
    if (text.empty())
        return -1;
    if (!exchange.empty())
        if (const int found = OrderFindOnExchange(text, exchange, {}, false); found >= 0)
            return found;
    for (const char* exch : kOrderExchangeOrder)
        if (const int found = OrderFindOnExchange(text, exch, {}, false); found >= 0)
            return found;
    return Search_SymbolOrCode(text);
}
