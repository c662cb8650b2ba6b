#include "Universe.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>

namespace tb {

namespace universe_detail {

struct Equity {
    int nseToken;
    int bseCode;
    const char* symbol;
    double price; // rupees
    int lot;      // derivative lot
};

// The first seven tokens make a new user's default watch list.
const Equity kEquities[] = {
    {1410, 500112, "SBIN", 812.40, 750},        {1524, 500325, "RELIANCE", 1254.75, 500},
    {14922, 500209, "INFY", 1598.30, 400},      {1949, 532540, "TCS", 3420.10, 175},
    {2046, 500180, "HDFCBANK", 1712.55, 550},   {9495, 532174, "ICICIBANK", 1285.20, 700},
    {2314, 500875, "ITC", 428.65, 1600},        {3045, 532215, "AXISBANK", 1102.85, 625},
    {3351, 500247, "KOTAKBANK", 1789.00, 400},  {3456, 500510, "LT", 3512.40, 150},
    {3499, 500696, "HINDUNILVR", 2395.70, 300}, {3506, 532454, "BHARTIARTL", 1587.25, 475},
    {3787, 507685, "WIPRO", 297.35, 3000},      {4963, 532978, "BAJAJFINSV", 1874.90, 500},
    {5258, 500034, "BAJFINANCE", 7015.50, 125}, {5900, 532500, "MARUTI", 11820.00, 50},
    {6066, 500570, "TATAMOTORS", 752.60, 800},  {6364, 500470, "TATASTEEL", 142.85, 5500},
    {6545, 532555, "NTPC", 352.10, 1500},       {7229, 532898, "POWERGRID", 308.45, 1900},
    {7406, 500312, "ONGC", 248.90, 2250},       {8075, 500790, "NESTLEIND", 2265.30, 250},
    {8479, 500820, "ASIANPAINT", 2318.75, 250}, {9480, 532281, "HCLTECH", 1642.20, 350},
    {10099, 500114, "TITAN", 3310.65, 175},     {10604, 500295, "VEDL", 455.20, 1150},
    {10666, 500425, "AMBUJACEM", 560.40, 900},  {11195, 532488, "DIVISLAB", 5820.00, 100},
    {11287, 500124, "DRREDDY", 1245.60, 625},   {11536, 524715, "SUNPHARMA", 1702.85, 350},
    {11630, 500087, "CIPLA", 1498.15, 375},     {11723, 500440, "HINDALCO", 642.30, 1400},
    {12018, 532538, "ULTRACEMCO", 11240.50, 50}, {13538, 532755, "TECHM", 1563.90, 600},
    {15083, 532921, "ADANIPORTS", 1352.40, 475}, {16675, 532977, "BAJAJ-AUTO", 8450.00, 75},
    {17388, 533278, "COALINDIA", 385.75, 1350}, {17963, 500182, "HEROMOTOCO", 4390.25, 150},
    {18143, 539448, "INDIGO", 5120.80, 150},    {20374, 500520, "M&M", 3015.60, 350},
};

const char* kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

// Last given weekday (0 = Sunday) of a month, as DDMMMYY.
std::string lastWeekday(int year, int month, int weekday)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month; // the month after, day 0 = last day of `month`
    t.tm_mday = 0;
    t.tm_hour = 12;
    std::time_t tt = timegm(&t);
    std::tm d{};
    gmtime_r(&tt, &d);
    while (d.tm_wday != weekday) {
        tt -= 86400;
        gmtime_r(&tt, &d);
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d%s%02d", d.tm_mday, kMonths[d.tm_mon], (d.tm_year + 1900) % 100);
    return buf;
}

std::string num(double v, const char* fmt = "%.2f")
{
    char buf[32];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

} // namespace universe_detail

std::string Security::securityText() const
{
    std::string s = symbol + '|' + inst;
    if (!expiry.empty()) {
        s += '|' + expiry;
        if (!option.empty())
            s += '|' + universe_detail::num(strike, inst == "OC" ? "%.4f" : "%.2f") + '|' + option;
    }
    return s;
}

std::string Security::record() const
{
    // Extended layout: field 7 is the multiplier for currency and commodity
    // exchanges and unused for the others, 8/9 the 52-week range, 10 the watch token.
    const bool multiplied = exchange == "CN" || exchange == "CB" || exchange == "MC" || exchange == "CM"
        || exchange == "NC";
    std::string r = std::to_string(token) + ',' + exchange + ',' + securityText() + ',' + std::to_string(scripCode)
        + ',' + std::to_string(lot) + ',' + std::to_string(tick) + ',' + status + ','
        + std::to_string(multiplied ? multiplier : 0) + ',' + universe_detail::num(yearHigh) + ',' + universe_detail::num(yearLow)
        + ',' + std::to_string(wtoken);
    if (denominator > 0)
        r += ',' + priceUnit + ',' + priceQuantity + ',' + std::to_string(denominator);
    return r;
}

Universe::Universe(uint64_t seed, int count, int year, int month, int day) : m_seed(seed)
{
    char date[16];
    std::snprintf(date, sizeof date, "%02d%02d%04d", day, month, year);
    m_date = date;
    std::mt19937_64 rng(seed);
    auto jitter = [&rng](double price, double pct) {
        // Deterministic for a seed: the raw engine output, not a library distribution.
        const double u = static_cast<double>(rng() % 20001) / 10000.0 - 1.0;
        return price * (1.0 + pct * u);
    };
    auto toPaise = [](double rupees, int tickPaise) {
        const int64_t p = std::llround(rupees * 100.0);
        return std::max<int64_t>(tickPaise, p / tickPaise * tickPaise);
    };

    // Indices: the feed code of each (its 110 messages) is its watch token.
    struct Index {
        int token;
        const char* exch;
        const char* symbol;
        const char* name;
        double value;
        int wtoken;
    };
    const Index indices[] = {{26000, "NN", "NIFTY", "NIFTY 50", 26277.35, 51999},
                             {26009, "NN", "BANKNIFTY", "NIFTY BANK", 59410.20, 52017},
                             {26008, "NN", "NIFTYIT", "NIFTY IT", 37215.60, 52015},
                             {26037, "NN", "FINNIFTY", "NIFTY FIN SERVICE", 27520.45, 52073},
                             {1, "BN", "SENSEX", "SENSEX", 86120.75, 999901}};
    for (const Index& ix : indices) {
        Security s;
        s.token = ix.token;
        s.exchange = ix.exch;
        s.symbol = ix.symbol;
        s.inst = "IN";
        s.scripCode = 0;
        s.tick = 0;
        s.yearHigh = ix.value * 1.08;
        s.yearLow = ix.value * 0.86;
        s.wtoken = ix.wtoken;
        s.price = std::llround(ix.value * 100);
        s.name = ix.name;
        add(s);
    }

    // Equities on both exchanges. NSE watch tokens follow 2 x token - 1 and
    // BSE 2 x code, which keeps them unique across the universe.
    for (const universe_detail::Equity& e : universe_detail::kEquities) {
        const double price = jitter(e.price, 0.02);
        for (int bse = 0; bse < 2; ++bse) {
            Security s;
            s.token = bse ? e.bseCode : e.nseToken;
            s.exchange = bse ? "BN" : "NN";
            s.symbol = e.symbol;
            s.inst = bse ? "A" : "EQ";
            s.scripCode = scripCodeOf(s.token);
            s.lot = 1;
            s.tick = 500;
            s.price = toPaise(price, 5);
            s.yearHigh = std::round(price * 1.25 * 20) / 20;
            s.yearLow = std::round(price * 0.78 * 20) / 20;
            s.wtoken = bse ? 2 * s.token : 2 * s.token - 1;
            if (!m_byWatch.count(s.wtoken))
                add(s);
        }
    }
    // One BSE equity also trades in series "EQ", so an order on its NSE twin
    // (same symbol and series) fetches the other exchange's quote.
    if (const Security* nse = byToken("NN", universe_detail::kEquities[6].nseToken)) {
        Security s = *nse;
        s.token = 600000 + nse->token;
        s.exchange = "BN";
        s.scripCode = scripCodeOf(s.token);
        s.wtoken = 2 * s.token;
        if (!m_byWatch.count(s.wtoken))
            add(s);
    }

    // Currency pairs: futures on both exchanges, options on NSE-FX.
    struct Pair {
        const char* symbol;
        double rate;
    };
    const Pair pairs[] = {{"USDINR", 88.4525}, {"EURINR", 102.7150}, {"GBPINR", 117.9050}, {"JPYINR", 57.3275}};
    int cnToken = 1001, cbToken = 2001, cnWatch = 900001, cbWatch = 920001;
    for (int m = 0; m < 3; ++m) {
        const int mi = (month - 1 + m) % 12;
        const std::string expiry = universe_detail::lastWeekday(year + (month - 1 + m) / 12, mi + 1, 5);
        for (const Pair& p : pairs) {
            for (int bse = 0; bse < 2; ++bse) {
                Security s;
                s.token = bse ? cbToken++ : cnToken++;
                s.exchange = bse ? "CB" : "CN";
                s.symbol = p.symbol;
                s.inst = "FC";
                s.expiry = expiry;
                s.scripCode = scripCodeOf(s.token);
                s.lot = 1;
                s.tick = 25;
                s.multiplier = 1000;
                s.price = std::llround(jitter(p.rate, 0.003) * 100);
                s.wtoken = bse ? cbWatch++ : cnWatch++;
                add(s);
            }
            for (int k = -2; k <= 2 && m == 0; ++k) {
                for (const char* opt : {"CE", "PE"}) {
                    Security s;
                    s.token = cnToken++;
                    s.exchange = "CN";
                    s.symbol = p.symbol;
                    s.inst = "OC";
                    s.expiry = expiry;
                    s.strike = std::round(p.rate * 4) / 4 + 0.25 * k;
                    s.option = opt;
                    s.scripCode = scripCodeOf(s.token);
                    s.tick = 25;
                    s.multiplier = 1000;
                    s.price = std::max<int64_t>(1, std::llround(std::abs(p.rate - s.strike) * 100 + 20));
                    s.wtoken = cnWatch++;
                    add(s);
                }
            }
        }
    }

    // MCX commodity futures; ticks and prices in paise, multiplier = units per
    // lot; the price is for a quantity of its own (GOLD's for 10 grams: its
    // denominator 10 makes its 100 units a lot 10 priced units).
    struct Commodity {
        const char* symbol;
        double price;
        int tickPaise;
        int multiplier;
        const char* priceUnit;
        const char* priceQuantity;
        int denominator;
    };
    const Commodity commodities[] = {{"GOLD", 128450, 100, 100, "10", "GRMS", 10},
                                     {"SILVER", 162300, 100, 30, "1", "KGS", 1},
                                     {"CRUDEOIL", 5312, 100, 100, "1", "BBL", 1},
                                     {"NATURALGAS", 398.4, 10, 1250, "1", "MMBTU", 1},
                                     {"COPPER", 1012.35, 5, 2500, "1", "KGS", 1},
                                     {"ZINC", 287.6, 5, 5000, "1", "KGS", 1}};
    int mcToken = 430001, mcWatch = 940001;
    for (int m = 0; m < 3; ++m) {
        const std::string expiry = universe_detail::lastWeekday(year + (month - 1 + m) / 12, (month - 1 + m) % 12 + 1, 3);
        for (const Commodity& c : commodities) {
            Security s;
            s.token = mcToken++;
            s.exchange = "MC";
            s.symbol = c.symbol;
            s.inst = "CF";
            s.expiry = expiry;
            s.scripCode = scripCodeOf(s.token);
            s.lot = 1;
            s.tick = c.tickPaise;
            s.multiplier = c.multiplier;
            s.priceUnit = c.priceUnit;
            s.priceQuantity = c.priceQuantity;
            s.denominator = c.denominator;
            s.price = toPaise(jitter(c.price, 0.01), c.tickPaise);
            s.yearHigh = c.price * 1.2;
            s.yearLow = c.price * 0.8;
            s.wtoken = mcWatch++;
            add(s);
            // Options on the first expiry's GOLD: one strike each side of the
            // money and at it, priced by their intrinsic value and some time.
            if (m == 0 && std::string(c.symbol) == "GOLD") {
                for (int k = -1; k <= 1; ++k) {
                    for (const char* opt : {"CE", "PE"}) {
                        Security o = s;
                        o.token = mcToken++;
                        o.inst = "CO";
                        o.option = opt;
                        o.strike = std::round(c.price / 1000) * 1000 + 1000.0 * k;
                        o.scripCode = scripCodeOf(o.token);
                        const double intrinsic =
                            std::max(0.0, std::string(opt) == "CE" ? c.price - o.strike : o.strike - c.price);
                        o.price = toPaise(intrinsic + c.price * 0.01, c.tickPaise);
                        o.yearHigh = 0;
                        o.yearLow = 0;
                        o.wtoken = mcWatch++;
                        add(o);
                    }
                }
            }
        }
    }

    // NSE derivatives: index and stock futures for three expiries, then options
    // strike by strike until the universe has `count` securities.
    struct Underlying {
        const char* symbol;
        double price;
        int lot;
        double step;
        bool index;
    };
    std::vector<Underlying> underlyings = {{"NIFTY", 26277.35, 75, 50, true}, {"BANKNIFTY", 59410.20, 35, 100, true}};
    for (const universe_detail::Equity& e : universe_detail::kEquities)
        underlyings.push_back({e.symbol, e.price, e.lot, e.price < 500 ? 5.0 : e.price < 2000 ? 10.0 : 50.0, false});
    int foToken = 35001;
    std::vector<std::string> expiries;
    for (int m = 0; m < 3; ++m)
        expiries.push_back(universe_detail::lastWeekday(year + (month - 1 + m) / 12, (month - 1 + m) % 12 + 1, 2));
    auto addDerivative = [&](const Underlying& u, const std::string& expiry, const char* opt, double strike) {
        Security s;
        s.token = foToken++;
        s.exchange = "NN";
        s.symbol = u.symbol;
        s.inst = opt ? (u.index ? "OI" : "OS") : (u.index ? "FI" : "FS");
        s.expiry = expiry;
        if (opt) {
            s.option = opt;
            s.strike = strike;
        }
        s.scripCode = scripCodeOf(s.token);
        s.lot = u.lot;
        s.tick = 500;
        const double intrinsic = !opt ? u.price : std::max(0.0, std::string(opt) == "CE" ? u.price - strike : strike - u.price);
        const double premium = opt ? intrinsic + u.price * 0.012 * std::exp(-std::abs(u.price - strike) / (u.price * 0.05)) + 0.05
                                   : u.price * 1.004;
        s.price = toPaise(jitter(premium, 0.01), 5);
        s.wtoken = 2 * s.token - 1;
        add(s);
    };
    for (const std::string& expiry : expiries)
        for (const Underlying& u : underlyings)
            addDerivative(u, expiry, nullptr, 0);
    // Token ranges stay apart up to 300,000 securities.
    const size_t target = static_cast<size_t>(std::clamp(count, 0, 300000));
    for (int r = 0; m_securities.size() < target && r < 100000; ++r) {
        // Rings around the money: 0, +1, -1, +2, -2 ... strikes, every underlying and expiry.
        const int ring = r % 2 ? (r + 1) / 2 : -(r / 2);
        for (size_t e = 0; e < expiries.size() && m_securities.size() < target; ++e)
            for (const Underlying& u : underlyings) {
                if (m_securities.size() >= target)
                    break;
                const double atm = std::round(u.price / u.step) * u.step;
                const double strike = atm + ring * u.step;
                if (strike <= 0)
                    continue;
                addDerivative(u, expiries[e], "CE", strike);
                if (m_securities.size() < target)
                    addDerivative(u, expiries[e], "PE", strike);
            }
    }

    // The terminal's letter buckets assume records grouped by their display key.
    std::vector<std::pair<std::string, size_t>> keys;
    keys.reserve(m_securities.size());
    for (size_t i = 0; i < m_securities.size(); ++i)
        keys.emplace_back(m_securities[i].securityText() + '\x01' + m_securities[i].exchange, i);
    std::sort(keys.begin(), keys.end());
    std::vector<Security> sorted;
    sorted.reserve(m_securities.size());
    for (const auto& k : keys)
        sorted.push_back(std::move(m_securities[k.second]));
    m_securities = std::move(sorted);
    m_byWatch.clear();
    for (size_t i = 0; i < m_securities.size(); ++i)
        m_byWatch[m_securities[i].wtoken] = i;
}

void Universe::add(Security s)
{
    m_byWatch[s.wtoken] = m_securities.size();
    m_securities.push_back(std::move(s));
}

const Security* Universe::byWatchToken(int wtoken) const
{
    const auto it = m_byWatch.find(wtoken);
    return it == m_byWatch.end() ? nullptr : &m_securities[it->second];
}

const Security* Universe::byToken(const std::string& exchange, int token) const
{
    for (const Security& s : m_securities)
        if (s.token == token && s.exchange == exchange)
            return &s;
    return nullptr;
}

const Security* Universe::byScripCode(const std::string& exchange, int scripCode) const
{
    if (scripCode <= 0)
        return nullptr; // an index has none
    for (const Security& s : m_securities)
        if (s.scripCode == scripCode && s.exchange == exchange)
            return &s;
    return nullptr;
}

std::vector<const Security*> Universe::indices() const
{
    std::vector<const Security*> out;
    for (const Security& s : m_securities)
        if (s.isIndex())
            out.push_back(&s);
    return out;
}

std::vector<const Security*> Universe::categoryMembers(int id) const
{
    // Kept in step with categoryText(); the ids are the server's, outside the
    // ranges the terminal keeps for its own lists.
    static const std::map<int, std::vector<std::string>> members = {
        {-502, {"SBIN", "HDFCBANK", "ICICIBANK", "AXISBANK", "KOTAKBANK"}},
        {-503, {"INFY", "TCS", "WIPRO", "HCLTECH", "TECHM"}},
        {-504, {"SBIN", "HDFCBANK", "ICICIBANK", "AXISBANK", "KOTAKBANK", "BAJFINANCE", "BAJAJFINSV"}},
        {-505, {"MARUTI", "TATAMOTORS", "M&M", "BAJAJ-AUTO", "HEROMOTOCO"}},
    };
    std::vector<const Security*> out;
    const auto it = members.find(id);
    // -506 ("CNX Nifty") lists what -501 ("NIFTY 50") does.
    const bool all = id == -501 || id == -506;
    if (!all && it == members.end())
        return out;
    for (const Security& s : m_securities)
        if (s.exchange == "NN" && s.inst == "EQ"
            && (all || std::find(it->second.begin(), it->second.end(), s.symbol) != it->second.end()))
            out.push_back(&s);
    return out;
}

std::vector<const Security*> Universe::optionChain(const Security& underlying, size_t max) const
{
    std::vector<const Security*> out;
    std::string expiry;
    for (const Security& s : m_securities) {
        if (s.symbol != underlying.symbol || s.exchange != underlying.exchange || s.option.empty())
            continue;
        if (expiry.empty())
            expiry = s.expiry;
        if (s.expiry == expiry && out.size() < max)
            out.push_back(&s);
    }
    return out;
}

std::string Universe::masterText() const
{
    std::string t = m_date + "-0-" + std::to_string(m_securities.size()) + "~";
    for (const Security& s : m_securities)
        t += s.record() + "~";
    return t;
}

std::string Universe::incrementalText(int n) const
{
    std::vector<std::string> records;
    // Changed 52-week ranges of a few equities.
    int changed = 0;
    for (const Security& s : m_securities) {
        if (s.inst != "EQ" || changed >= 3)
            continue;
        Security c = s;
        c.yearHigh = s.yearHigh + n;
        records.push_back(c.record());
        ++changed;
    }
    // One option removed, one new listing.
    for (auto it = m_securities.rbegin(); it != m_securities.rend(); ++it)
        if (it->inst == "OS") {
            Security d = *it;
            d.status = "DEL";
            records.push_back(d.record());
            break;
        }
    Security fresh;
    fresh.token = 24000 + n;
    fresh.exchange = "NN";
    fresh.symbol = "JIOFIN";
    fresh.inst = "EQ";
    fresh.scripCode = scripCodeOf(fresh.token);
    fresh.yearHigh = 347.35;
    fresh.yearLow = 198.65;
    fresh.wtoken = 2 * fresh.token - 1;
    records.push_back(fresh.record());
    std::string t = m_date + "-" + std::to_string(n) + "-" + std::to_string(records.size()) + "~";
    for (const std::string& r : records)
        t += r + "~";
    return t;
}

std::string Universe::categoryText() const
{
    // Grouped: the pane files the lists under their group in this order.
    const char* rows[] = {"-501,Indices,NIFTY 50",   "-502,Indices,NIFTY BANK", "-506,Indices,CNX Nifty",
                          "-503,Sectors,Information Technology", "-504,Sectors,Banking",
                          "-505,Sectors,Automobiles"};
    std::string t = m_date + "~" + std::to_string(std::size(rows));
    for (const char* r : rows)
        t += std::string("~") + r;
    return t;
}

std::string Universe::servicesText() const
{
    return m_date + "~2~Research Calls,1~SMS Alerts,2";
}

std::string Universe::advisoryText() const
{
    std::string t = m_date + "\n";
    std::mt19937_64 rng(m_seed ^ 0x5eedULL);
    const char* kinds[] = {"Bullish", "Bearish", "Other"};
    int written = 0;
    for (const Security& s : m_securities) {
        if (s.inst != "EQ" || written >= 8)
            continue;
        const char* kind = kinds[rng() % 3];
        const double px = static_cast<double>(s.price) / 100.0;
        t += std::to_string(s.token) + ",0," + s.exchange + ',' + kind + '|'
            + (std::string(kind) == "Bearish" ? "Sell below " : "Buy above ") + universe_detail::num(px) + ",Target "
            + universe_detail::num(std::string(kind) == "Bearish" ? px * 0.95 : px * 1.05) + "\n";
        ++written;
    }
    return t;
}

} // namespace tb
