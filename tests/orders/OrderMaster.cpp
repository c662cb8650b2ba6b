#include "OrderMaster.h"

#include "Universe.h"
#include "server/SecurityTable.h"

#include <memory>

namespace ordertest {

void PublishBrokerMaster(const tb::Universe& universe)
{
    PublishBrokerMasterWithout(universe, [](const tb::Security&) { return false; });
}

void PublishBrokerMasterWithout(const tb::Universe& universe, const std::function<bool(const tb::Security&)>& drop)
{
    auto table = std::make_shared<SecurityTable>();
    SecurityRows rows;
    for (const tb::Security& s : universe.securities()) {
        if (drop(s))
            continue;
        SecurityRecord r;
        r.token = s.token;
        r.wtoken = s.wtoken;
        r.scrip_code = s.scripCode;
        r.symbol.assign(s.symbol);
        r.setDisplayKey(s.symbol + " " + s.inst + " " + s.exchange);
        r.inst_type.assign(s.inst);
        r.market_exchange.assign(s.exchange);
        r.market_lot = s.lot;
        r.tick_size = s.tick;
        r.multiplier = s.multiplier;
        r.strike = s.strike;
        if (s.denominator > 0) {
            // What a commodity's price is for, as the master's fields 11-13 say.
            SecurityExtras& x = r.extrasForWrite();
            x.price_unit = s.priceUnit;
            x.price_quantity = s.priceQuantity;
            x.denominator = s.denominator;
        }
        DeriveSecurityFlags(r);
        rows.push_back(std::move(r));
    }
    table->build(std::move(rows), SecurityTable::Build::Full, true);
    SecurityTable::publish(table);
}

void UnpublishMaster() { SecurityTable::publish(nullptr); }

int FindSecurity(const std::string& exchange, const std::string& inst)
{
    const auto table = SecurityTable::current();
    for (int i = 0; table && i < table->count(); ++i)
        if (table->row(i).market_exchange == exchange && table->row(i).inst_type == inst)
            return i;
    return -1;
}

void SetQuote(int index, double bidPaise, double askPaise)
{
    SecurityTable::current()->row(index).updateQuote([&](QuoteData& q) {
        q.quote[0] = bidPaise;
        q.quote[2] = askPaise;
    });
}

} // namespace ordertest
