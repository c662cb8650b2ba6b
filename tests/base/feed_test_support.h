#pragma once
// Fakes and fixtures shared by the feed tests: a small published security
// table, recording consumers and windows, and an in-memory index table.
#include "app/base/ConfigFile.h"
#include "app/base/SessionRecord.h"
#include "server/FeedDispatcher.h"
#include "server/FeedState.h"
#include "server/FeedSubscriptions.h"
#include "server/MarketLookups.h"
#include "server/SecurityTable.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace feedtest {

// Waits up to 10 s for cond (a bounded wait, not a timing assertion).
template <typename Cond>
bool eventually(Cond cond)
{
    for (int i = 0; i < 1000; ++i) {
        if (cond())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return cond();
}

// Securities 0..count-1: NSE cash, token i+1, watch token 2*(i+1)-1, plus the
// rows the caller appends. Published as the program's table.
inline std::shared_ptr<SecurityTable> publishTable(int count, SecurityRows extra = {})
{
    SecurityRows rows;
    for (int i = 0; i < count; ++i) {
        SecurityRecord r;
        r.token = i + 1;
        r.wtoken = 2 * (i + 1) - 1;
        r.market_exchange.assign("NN");
        r.inst_type.assign("EQ");
        r.symbol.assign("SYM" + std::to_string(i));
        r.setDisplayKey("SYM" + std::to_string(i) + "-EQ");
        rows.push_back(std::move(r));
    }
    for (auto& r : extra)
        rows.push_back(std::move(r));
    auto t = std::make_shared<SecurityTable>();
    t->build(std::move(rows), SecurityTable::Build::Full, true);
    SecurityTable::publish(t);
    return t;
}

inline int watchToken(int security)
{
    return 2 * (security + 1) - 1;
}

// "101,<wtoken>,v0..v20" with every value equal to base + k.
inline std::string quote101(int security, double base, int values = 21)
{
    std::string s = "101," + std::to_string(watchToken(security));
    for (int k = 0; k < values; ++k)
        s.append(",").append(std::to_string(static_cast<long>(base) + k));
    return s;
}

struct UserMessage {
    int kind;
    char side;
    std::string text;
    bool popup;
    int eventId;
};

class RecordingConsumers : public FeedConsumers {
public:
    void setUserMessage(int kind, char side, const std::string& text, bool popup, int eventId) override
    {
        std::lock_guard lock(m_mutex);
        messages.push_back({kind, side, text, popup, eventId});
    }
    void marketStatus(const std::string& segment, const std::string& status) override
    {
        std::lock_guard lock(m_mutex);
        statuses.push_back(segment + "/" + status);
    }
    void informationDisplay(int code, const std::string& text) override
    {
        std::lock_guard lock(m_mutex);
        displays.push_back(std::to_string(code) + ":" + text);
    }
    void orderConfirmation(const std::string& client, const std::string& text) override
    {
        std::lock_guard lock(m_mutex);
        confirmations.push_back(client + ":" + text);
    }
    bool alertsEnabled() const override { return alertsOn; }
    void checkAlerts(int security, const QuoteData& claimed) override
    {
        std::lock_guard lock(m_mutex);
        alerts.push_back(security);
        alertPrices.push_back(claimed.quote[4]);
    }
    void lastTradesUpdated(int security) override
    {
        std::lock_guard lock(m_mutex);
        lastTrades.push_back(security);
    }
    void indexUpdated(const IndexRecord& row) override
    {
        std::lock_guard lock(m_mutex);
        indexRows.push_back(row);
    }
    bool netPositionOpen() const override { return netPosition; }
    void netPositionPrice(int security) override
    {
        std::lock_guard lock(m_mutex);
        netPositionPrices.push_back(security);
    }
    void serverNotice(const std::string& text) override
    {
        std::lock_guard lock(m_mutex);
        notices.push_back(text);
    }
    void feedSlotAssigned() override
    {
        std::lock_guard lock(m_mutex);
        ++slotsAssigned;
    }
    void quoteTimeUpdated(int64_t epochSeconds) override
    {
        std::lock_guard lock(m_mutex);
        quoteTimes.push_back(epochSeconds);
    }

    std::mutex m_mutex;
    bool alertsOn = false;
    bool netPosition = false;
    std::vector<UserMessage> messages;
    std::vector<std::string> statuses, displays, confirmations, notices;
    std::vector<int> alerts, lastTrades, netPositionPrices;
    std::vector<double> alertPrices; // the last price of the quote that queued each check
    std::vector<IndexRecord> indexRows;
    std::vector<int64_t> quoteTimes;
    int slotsAssigned = 0;
};

class RecordingWindow : public FeedWindow {
public:
    explicit RecordingWindow(std::vector<int> securities = {}) : m_securities(std::move(securities)) {}
    bool isClosing() const override { return closing; }
    std::vector<int> feedSecurities() const override { return m_securities; }
    void quoteUpdated(int security) override
    {
        if (throws)
            throw std::runtime_error("window failed");
        std::lock_guard lock(m_mutex);
        quotes.push_back(security);
    }
    void depthUpdated(const std::string& text, bool currency) override
    {
        std::lock_guard lock(m_mutex);
        depth.push_back(text + (currency ? "/cur" : ""));
    }
    void indexUpdated(int feedCode) override
    {
        std::lock_guard lock(m_mutex);
        indices.push_back(feedCode);
    }
    std::vector<int> quotesSeen()
    {
        std::lock_guard lock(m_mutex);
        return quotes;
    }
    std::vector<std::string> depthSeen()
    {
        std::lock_guard lock(m_mutex);
        return depth;
    }

    std::atomic<bool> closing{false};
    std::atomic<bool> throws{false};
    std::vector<int> m_securities;
    std::mutex m_mutex;
    std::vector<int> quotes;
    std::vector<std::string> depth;
    std::vector<int> indices;
};

class MemoryIndexRows : public IndexRows {
public:
    bool update(int feedCode, const std::function<void(IndexRecord&)>& change, IndexRecord& after) override
    {
        std::lock_guard lock(m_mutex);
        for (auto& r : rows)
            if (r.feedCode == feedCode) {
                change(r);
                after = r;
                return true;
            }
        return false;
    }
    std::mutex m_mutex;
    std::vector<IndexRecord> rows;
};

// A window opened the way a view opens one: a slot, its window, its links.
inline int openWindow(FeedSubscriptions& subs, std::shared_ptr<FeedWindow> w, int type, int index = -1)
{
    const int slot = subs.getClientDlg();
    subs.setWindow(slot, std::move(w), type, index);
    for (int s : subs.window(slot).window->feedSecurities())
        subs.UpdateWatchToken(1, s, slot, 0);
    return slot;
}

// A UDP port for a feed test. Ports the kernel hands out for port 0 can be
// handed out again as soon as they are closed, and two sockets with address
// reuse may then share one across parallel test processes; a random port
// below the ephemeral range, checked free without reuse, avoids both.
inline int freeUdpPort()
{
    std::random_device seed;
    std::mt19937 rng(seed() ^ static_cast<unsigned>(::getpid()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int port = 20000 + static_cast<int>(rng() % 12000);
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_ANY);
        a.sin_port = htons(static_cast<uint16_t>(port));
        const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        if (free)
            return port;
    }
    return 0;
}

// Resets the program-wide state the feed code reads.
inline void resetFeedGlobals()
{
    FeedSubscriptions::instance().reset();
    FeedState::instance().reset();
    g_Config.Feeds_Type = 3;
    std::strcpy(pv_user_info.user_id, "U1");
    std::strcpy(pv_user_info.local_address, "10.0.0.5");
    pv_user_info.user_type = 'C';
    SetLoggedIn(true);
}

} // namespace feedtest
