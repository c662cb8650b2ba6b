#include "orders/OrderSecurity.h"

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
    s.symbol = r.symbol.view();
    s.displayKey = r.display_name.view();
    s.series = r.inst_type.view();
    s.exchange = r.market_exchange.view();
    s.derivative = r.derivative;
    s.currency = r.currency;
    s.commodity = r.commodity;
    s.marketLot = r.market_lot;
    s.tickSize = r.tick_size;
    s.lotUnits = r.multiplier > 0 ? r.multiplier : 1;
    s.denominator = r.denominator;
    const QuoteData q = r.quote();
    s.bid = q.quote[0];
    s.ask = q.quote[2];
    s.ltp = q.quote[4];
    s.alertFlag1 = r.aux_int1;
    s.alertFlag2 = r.aux_int2;
    if (r.extras) {
        s.alertText = r.extras->description;
        s.priceUnit = r.extras->price_unit;
        s.priceQuantity = r.extras->price_quantity;
    }
    return s;
}

int OrderSearchSymbol(const std::string& symbol, const std::string& exchange, const std::string& series)
{
    return Search_Symbol(symbol, exchange, series);
}

int OrderSearchSymbolOrCode(const std::string& text) { return Search_SymbolOrCode(text); }
