// The notice that the security master was loaded again: every registered
// holder is told once, in registration order; a holder that went is not; the
// index table's records find their rows in a master where a new security
// sorts ahead of them.
#include "server/MarketLookups.h"
#include "server/SecurityReload.h"
#include "server/SecurityTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

SecurityRecord row(const char* symbol, const char* exch, int token, int wtoken)
{
    SecurityRecord r;
    r.token = token;
    r.wtoken = wtoken;
    r.symbol.assign(symbol);
    r.market_exchange.assign(exch);
    r.inst_type.assign("EQ");
    r.setDisplayKey(std::string(symbol) + "~EQ");
    return r;
}

std::shared_ptr<SecurityTable> tableOf(std::vector<SecurityRecord> records)
{
    SecurityRows rows;
    for (auto& r : records)
        rows.push_back(std::move(r));
    auto t = std::make_shared<SecurityTable>();
    t->build(std::move(rows), SecurityTable::Build::Full, true);
    return t;
}

// The master before: INFY, TCS on NSE, TCS on BSE (same token, other
// exchange), NIFTY. After: a new security ahead of them all, BSE's TCS gone.
struct Masters {
    std::shared_ptr<SecurityTable> before = tableOf({row("INFY", "NN", 1594, 3187), row("TCS", "NN", 11536, 23071),
                                                     row("TCS", "BN", 11536, 23072), row("NIFTY", "NN", 26000, 51999)});
    std::shared_ptr<SecurityTable> after = tableOf({row("AAANEW", "NN", 777, 1553), row("INFY", "NN", 1594, 3187),
                                                    row("TCS", "NN", 11536, 23071), row("NIFTY", "NN", 26000, 51999)});
};

TEST(SecurityReload, ASecurityIsFoundAgainByTokenAndExchangeOrIsGone)
{
    const Masters m;
    const struct {
        const char* name;
        int before;
        int after;
    } cases[] = {
        {"moved one row down by the new security", 0, 1},
        {"same token, its own exchange", 1, 2},
        {"same token on an exchange it left", 2, -1},
        {"the last row", 3, 3},
        {"no security", -1, -1},
        {"past the old table", 4, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReresolveSecurity(*m.before, *m.after, c.before), c.after) << c.name;
}

TEST(SecurityReload, HoldersAreToldInOrderAndAHolderThatWentIsNot)
{
    Masters m;
    SecurityReload& notice = SecurityReload::instance();
    std::vector<std::string> told;
    std::optional<SecurityReload::Registration> second;
    auto first = notice.add("first", [&](const SecurityTable& before, SecurityTable& after) {
        told.push_back("first");
        EXPECT_EQ(&before, m.before.get());
        EXPECT_EQ(&after, m.after.get());
        second.reset(); // the first closes the second's window
        return SecurityReload::Outcome{};
    });
    second = notice.add("second", [&](const SecurityTable&, SecurityTable&) {
        told.push_back("second");
        return SecurityReload::Outcome{};
    });
    auto third = notice.add("third", [&](const SecurityTable&, SecurityTable&) {
        told.push_back("third");
        return SecurityReload::Outcome{true, "third's window"};
    });
    const std::vector<std::string> closed = notice.notify(*m.before, *m.after);
    EXPECT_EQ(told, (std::vector<std::string>{"first", "third"}));
    EXPECT_EQ(closed, (std::vector<std::string>{"third's window"}));

    third.reset();
    told.clear();
    notice.notify(*m.before, *m.after);
    EXPECT_EQ(told, (std::vector<std::string>{"first"}));
    first.reset();
    for (const std::string& h : notice.holders())
        EXPECT_TRUE(h != "first" && h != "second" && h != "third") << h;
}

TEST(SecurityReload, TheIndicesFollowTheirFeedSecurities)
{
    Masters m;
    IndexRecord nifty;
    std::strcpy(nifty.name, "Nifty 50");
    nifty.securityIndex = 3;
    IndexRecord none;
    std::strcpy(none.name, "No security");
    IndexRecord gone;
    std::strcpy(gone.name, "BSE TCS");
    gone.securityIndex = 2;
    IndexTable& indices = IndexTable::instance();
    indices.assign({nifty, none, gone}, 100);
    SecurityReload::instance().notify(*m.before, *m.after);
    const std::vector<IndexRecord> now = indices.entries();
    ASSERT_EQ(now.size(), 3u);
    EXPECT_EQ(now[0].securityIndex, 3);
    EXPECT_EQ(now[1].securityIndex, -1);
    EXPECT_EQ(now[2].securityIndex, -1);

    // The new security sorts ahead: INFY's row moves from 0 to 1.
    IndexRecord infy;
    infy.securityIndex = 0;
    indices.assign({infy}, 100);
    SecurityReload::instance().notify(*m.before, *m.after);
    EXPECT_EQ(indices.entries()[0].securityIndex, 1);
    indices.reset();
}

} // namespace
