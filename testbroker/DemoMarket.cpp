// The demo market: quotes made on first sight and walked within their tick
// and bands, the feed messages of a quote and its depth, the turnover lists
// ("mktcaptok="), and the timer's steps and keep-alives.
#include "TestBroker.h"

#include "BrokerText.h"
#include "FeedClient.h"
#include "FeedFrames.h"
#include "OrderDesk.h"
#include "TsloDesk.h"

#include <pf/clock.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

namespace tb {

Quote& TestBroker::quoteLocked(int wtoken)
{
    auto it = m_quotes.find(wtoken);
    if (it != m_quotes.end())
        return it->second;
    const Security* s = m_universe->byWatchToken(wtoken);
    const int64_t tick = detail::tickPaise(s);
    const int64_t price = s ? s->price : 10000;
    Quote q;
    q.last = q.open = q.close = q.high = q.low = q.avg = price;
    q.bid = std::max<int64_t>(tick, price - tick);
    q.ask = price + tick;
    const int64_t lot = s ? std::max(1, s->lot) : 1;
    // Seeded per token, so that looking at a quote never changes the market's walk.
    std::mt19937_64 rng(m_options.seed ^ (static_cast<uint64_t>(wtoken) * 0x9e3779b97f4a7c15ULL));
    q.bidQty = lot * static_cast<int64_t>(1 + rng() % 50);
    q.askQty = lot * static_cast<int64_t>(1 + rng() % 50);
    q.totalBuy = q.bidQty * 20;
    q.totalSell = q.askQty * 20;
    // Bands of 10 % around the previous close, on the tick.
    q.upperBand = (price + price / 10) / tick * tick;
    q.lowerBand = (price - price / 10) / tick * tick;
    q.lastTime = pf::clock().nowSeconds();
    return m_quotes.emplace(wtoken, q).first->second;
}

void TestBroker::stepLocked(int wtoken, int drift)
{
    Quote& q = quoteLocked(wtoken);
    const Security* s = m_universe->byWatchToken(wtoken);
    int64_t tick = detail::tickPaise(s);
    if (s && s->isIndex())
        tick = std::max<int64_t>(1, q.last / 4000);
    // A common drift moves stocks and indices the same way, so the indices follow the market.
    const int64_t steps = static_cast<int64_t>(m_rng() % 5) - 2 + drift * (s && s->isIndex() ? 2 : 1);
    q.last = std::clamp(q.last + steps * tick, std::max(tick, q.lowerBand), q.upperBand);
    q.high = std::max(q.high, q.last);
    q.low = std::min(q.low, q.last);
    q.bid = std::max(tick, q.last - tick);
    q.ask = q.last + tick;
    const int64_t lot = s ? std::max(1, s->lot) : 1;
    q.lastQty = lot * static_cast<int64_t>(1 + m_rng() % 10);
    q.bidQty = lot * static_cast<int64_t>(1 + m_rng() % 50);
    q.askQty = lot * static_cast<int64_t>(1 + m_rng() % 50);
    q.avg = (q.avg * q.volume + q.last * q.lastQty) / std::max<int64_t>(1, q.volume + q.lastQty);
    q.volume += q.lastQty;
    q.value += q.last * q.lastQty / 100;
    q.totalBuy = std::max<int64_t>(0, q.totalBuy + q.bidQty - q.askQty);
    q.totalSell = std::max<int64_t>(0, q.totalSell + q.askQty - q.bidQty);
    q.netChange = q.last - q.close;
    q.changePct = detail::changeHundredths(q.last, q.close);
    q.lastTime = pf::clock().nowSeconds();
}

void TestBroker::chartHistory(int wtoken, int sessions)
{
    std::lock_guard lock(m_mutex);
    m_chartSessions[wtoken] = sessions;
}

Quote TestBroker::quote(int wtoken)
{
    std::lock_guard lock(m_mutex);
    return quoteLocked(wtoken);
}

std::string TestBroker::quoteMessage(int wtoken)
{
    std::lock_guard lock(m_mutex);
    const Security* s = m_universe->byWatchToken(wtoken);
    const Quote& q = quoteLocked(wtoken);
    if (s && s->isIndex())
        return message110(wtoken, q.last, q.close, q.last - q.close, q.lastTime, s->name);
    return message101(wtoken, q);
}

std::string TestBroker::depthMessage(int wtoken)
{
    std::lock_guard lock(m_mutex);
    const Quote& q = quoteLocked(wtoken);
    const int64_t tick = detail::tickPaise(m_universe->byWatchToken(wtoken));
    DepthLevel bids[5], asks[5];
    for (int k = 0; k < 5; ++k) {
        bids[k] = {std::max<int64_t>(tick, q.last - (k + 1) * tick), q.bidQty * (k + 1), 1 + k * 2};
        asks[k] = {q.last + (k + 1) * tick, q.askQty * (k + 1), 1 + k * 2};
    }
    return message104(wtoken, q.last, bids, asks, q.totalBuy, q.totalSell);
}

std::string TestBroker::turnoverReply(int kind)
{
    // Up, down and neutral stocks by their last price against the close,
    // with their traded value in crores. Kind 1: one record per exchange
    // ("label,name,upVol,upCnt,downVol,downCnt,neutralVol,neutralCnt,total");
    // kind 2: one per index, its exchange id in field 2, its name as label
    // and name, and the figures of the equities of its exchange from field 5 on.
    struct Sums {
        double volume[3] = {0, 0, 0};
        long count[3] = {0, 0, 0};
    };
    std::map<std::string, Sums> byExchange;
    std::lock_guard lock(m_mutex);
    for (const Security& s : m_universe->securities()) {
        if (s.inst != "EQ" || (s.exchange != "NN" && s.exchange != "BN"))
            continue;
        const Quote& q = quoteLocked(s.wtoken);
        const int k = q.last > q.close ? 0 : q.last < q.close ? 1 : 2;
        Sums& sums = byExchange[s.exchange];
        // Before its first trade a stock counts with a steady volume of its own.
        const int64_t volume = q.volume > 0 ? q.volume : (s.token % 50 + 1) * 10000;
        const int64_t last = q.last > 0 ? q.last : s.price;
        sums.volume[k] += static_cast<double>(volume) * static_cast<double>(last) / 100.0 / 1e7;
        ++sums.count[k];
    }
    const auto figures = [](const Sums& x) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "%.2f,%ld,%.2f,%ld,%.2f,%ld,%.2f", x.volume[0], x.count[0], x.volume[1],
                      x.count[1], x.volume[2], x.count[2], x.volume[0] + x.volume[1] + x.volume[2]);
        return std::string(buf);
    };
    std::vector<std::string> records;
    if (kind == 1) {
        records.push_back("Exchange,NSE," + figures(byExchange["NN"]));
        records.push_back("Exchange,BSE," + figures(byExchange["BN"]));
    } else {
        int n = 0;
        for (const Security* s : m_universe->indices()) {
            Sums x = byExchange[s->exchange];
            // Each index its own share of its exchange, so the bars differ.
            const double share = 1.0 / (2 + n++);
            for (double& v : x.volume)
                v *= share;
            records.push_back(std::to_string(s->token) + "," + s->symbol + "," + (s->exchange == "BN" ? "2" : "1")
                              + "," + s->name + "," + s->name + "," + figures(x));
            // The market scanner's and cluster's preset index: NIFTY 50 under
            // its older name, with a watch list of that name.
            if (s->name == "NIFTY 50")
                records.push_back(std::to_string(s->token) + "," + s->symbol + ",1,CNX Nifty,CNX Nifty," + figures(x));
        }
    }
    return detail::join(records, '*');
}

void TestBroker::stepSecurity(int wtoken)
{
    std::lock_guard lock(m_mutex);
    stepLocked(wtoken, static_cast<int>(m_rng() % 3) - 1);
}

void TestBroker::marketStep()
{
    std::vector<std::pair<std::shared_ptr<FeedClient>, std::vector<std::string>>> out;
    std::vector<int> udpTokens;
    std::string broadcast;
    {
        std::lock_guard lock(m_mutex);
        ++m_ticks;
        const int drift = static_cast<int>(m_rng() % 3) - 1;
        std::set<int> stepped;
        for (const auto& c : m_clients) {
            for (int w : c->tokens)
                if (stepped.insert(w).second)
                    stepLocked(w, drift);
        }
        for (const Security* s : m_universe->indices())
            if (stepped.insert(s->wtoken).second)
                stepLocked(s->wtoken, drift);
        if (m_options.broadcastEveryTicks > 0 && m_ticks % m_options.broadcastEveryTicks == 0) {
            const char* notes[] = {"Markets close at 15:30", "Trading in NIFTY options is brisk today",
                                   "Settlement holiday on the next exchange holiday", "Pre-open session starts at 09:00"};
            const char* note = notes[m_rng() % std::size(notes)];
            broadcast = m_ticks % (2 * m_options.broadcastEveryTicks) ? std::string("120,") + note
                                                                     : std::string("600|ALL|") + note;
        }
        // UDP has no subscriptions: the first NSE equities and the indices go to every listener.
        if (m_options.udpPort)
            for (const Security& s : m_universe->securities())
                if (s.exchange == "NN" && s.inst == "EQ" && udpTokens.size() < 7) {
                    udpTokens.push_back(s.wtoken);
                    if (stepped.insert(s.wtoken).second)
                        stepLocked(s.wtoken, drift);
                }
    }
    for (const auto& c : clientsOf({})) {
        std::vector<int> tokens, depth;
        std::vector<std::string> demo;
        {
            std::lock_guard lock(m_mutex);
            tokens = c->tokens;
            depth = c->depthTokens;
            if (m_options.demo && c->slot >= 0)
                demo = m_informationDesk->demoMessages(++c->demoTicks);
        }
        std::vector<std::string> messages;
        for (int w : tokens)
            messages.push_back(quoteMessage(w));
        for (int w : depth)
            messages.push_back(depthMessage(w));
        if (!broadcast.empty())
            messages.push_back(broadcast);
        messages.insert(messages.end(), demo.begin(), demo.end());
        out.emplace_back(c, std::move(messages));
    }
    for (auto& [c, messages] : out)
        for (const std::string& m : messages)
            sendFrame(c, streamFrame(m));
    for (int w : udpTokens)
        sendUdp(quoteMessage(w));
    for (const Security* s : m_universe->indices())
        if (m_options.udpPort)
            sendUdp(quoteMessage(s->wtoken));
    m_orderDesk->matchMarket();
    m_tsloDesk->matchMarket();
}

void TestBroker::timerLoop()
{
    int64_t lastTick = pf::clock().steadyMillis();
    int64_t lastKeepAlive = lastTick;
    while (sleepUnlessStopped(50)) {
        const int64_t now = pf::clock().steadyMillis();
        if (m_options.demo && now - lastTick >= m_options.demoTickMs) {
            lastTick = now;
            marketStep();
        }
        if (m_options.keepAliveMs > 0 && now - lastKeepAlive >= m_options.keepAliveMs) {
            lastKeepAlive = now;
            pushFeed({}, "150,");
            if (m_options.udpPort)
                sendUdp("150,");
        }
    }
}

} // namespace tb
