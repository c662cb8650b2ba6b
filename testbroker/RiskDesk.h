#pragma once
// The broker's risk service ("/qtrade/qrms.exe", "RiskData="): limits (411),
// open positions (412), holdings (413), unbilled positions (414), today's
// positions (415) and pledge/unpledge (419), answered from a per-client risk
// book. The demo client ABC12 gets a seeded book; the open and today's
// positions also take the order desk's fills, so an order traded in the demo
// shows in the risk reports.
#include "OrderDesk.h"
#include "RequestDecoder.h"
#include "Universe.h"

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace tb {

// The rows of one client's reports, as '|' fields in the wire order.
struct RiskBook {
    int segments = 5;                             // the limits header's count
    std::vector<std::string> limits;              // fields 0..57 of the limits record
    std::vector<std::vector<std::string>> positions; // 412 rows, 39 fields
    std::vector<std::vector<std::string>> holdings;  // 413 rows, 29 fields
    std::vector<std::vector<std::string>> unbilled;  // 414 rows, 9 fields
    std::string unbilledTotal;
    std::string unbilledHoldValue;
    std::vector<std::vector<std::string>> todays; // 415 rows, 36 fields
};

class RiskDesk {
public:
    using Orders = std::function<std::vector<DeskOrder>()>;

    RiskDesk(const Universe& universe, Orders orders);

    // The reply to a "RiskData=" request; empty for an unknown type.
    std::string reply(const RequestText& request);

    // Changes a client's book under the desk's lock (the demo book is seeded
    // first for ABC12).
    void editBook(const std::string& client, const std::function<void(RiskBook&)>& edit);
    RiskBook book(const std::string& client);
    // The next request of this type is refused with the status and text.
    void refuseNext(int type, int status, const std::string& text);

    // Fields of the seeded book, for tests.
    static constexpr int kPositionFields = 39;
    static constexpr int kHoldingFields = 29;
    static constexpr int kTodaysFields = 36;

private:
    RiskBook& bookLocked(const std::string& client);
    RiskBook seeded() const;
    std::vector<std::vector<std::string>> positionsWithFills(const RiskBook& b, const std::string& client) const;
    std::vector<std::vector<std::string>> todaysWithOrders(const RiskBook& b, const std::string& client) const;
    std::string pledge(const std::string& itemValue, RiskBook& b);

    const Universe& m_universe;
    Orders m_orders;
    std::mutex m_mutex;
    std::map<std::string, RiskBook> m_books;                   // guarded by m_mutex
    std::map<int, std::pair<int, std::string>> m_refusals;     // guarded by m_mutex
};

} // namespace tb
