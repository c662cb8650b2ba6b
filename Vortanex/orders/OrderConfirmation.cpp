#include "orders/OrderConfirmation.h"

#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "orders/ClientOrderStore.h"
#include "watch/base/TextSplit.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <vector>

namespace order_confirmation_detail {
namespace {

struct Pending {
    int kind = 0;
    OrderInfo record;
};
// Bounded: a confirmation whose order never arrives must not pile up.
constexpr size_t kMaxPending = 200;
std::mutex g_pendingMutex;
std::deque<Pending> g_pending; // guarded by g_pendingMutex

std::vector<Pending> takePending(double orderNo)
{
    std::vector<Pending> out;
    std::lock_guard lock(g_pendingMutex);
    for (auto it = g_pending.begin(); it != g_pending.end();) {
        if (it->record.order_no == orderNo) {
            out.push_back(*it);
            it = g_pending.erase(it);
        } else {
            ++it;
        }
    }
    return out;
}

bool isStoreKind(int kind) { return kind == 0 || (kind >= 2 && kind <= 8) || kind == 100; }

// An empty quantity is 0; anything else must be a whole number that fits.
bool readQuantity(const std::string& text, int32_t& out)
{
    if (text.empty()) {
        out = 0;
        return true;
    }
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v < INT32_MIN || v > INT32_MAX)
        return false;
    out = static_cast<int32_t>(v);
    return true;
}

double rupees(const std::string& paise)
{
    const double v = std::strtod(paise.c_str(), nullptr);
    return v != 0 ? v / 100 : 0;
}

} // namespace
} // namespace order_confirmation_detail

bool ReadConfirmationRecord(std::string_view payload, int& kind, std::string& clientCode, OrderInfo& record)
{
    std::vector<std::string> f;
    SplitString(payload, '|', f);
    auto field = [&f](size_t i) { return i < f.size() ? f[i] : std::string(); };
    kind = static_cast<int>(std::strtol(field(1).c_str(), nullptr, 10));
    if (!order_confirmation_detail::isStoreKind(kind))
        return false;
    record = OrderInfo {};
    record.order_no = std::strtod(field(7).c_str(), nullptr);
    if (!(record.order_no > 0))
        return false;
    int32_t quantity = 0;
    if (!order_confirmation_detail::readQuantity(field(9), quantity)) {
        WriteLog(0, "Order confirmation refused, quantity [" + field(9) + "]");
        return false;
    }
    record.token = static_cast<int32_t>(std::strtol(field(2).c_str(), nullptr, 10));
    CopyFixedText(record.exchange, field(3));
    clientCode = field(5);
    CopyFixedText(record.client_code, clientCode);
    CopyFixedText(record.buy_sell, field(6));
    record.side = record.buy_sell[0] ? record.buy_sell[0] : '-';
    record.open_qty = quantity;
    record.price = order_confirmation_detail::rupees(field(10));
    record.trigger = order_confirmation_detail::rupees(field(11));
    CopyFixedText(record.status, field(13)); // field 12 carries nothing the store uses
    CopyFixedText(record.time, field(14));
    CopyFixedText(record.exch_order_no, field(15).empty() ? std::string("-NA-") : field(15));
    return true;
}

bool ApplyOrderConfirmation(const std::string& clientCode, std::string_view payload)
{
    try {
        int kind = 0;
        std::string client;
        OrderInfo record;
        if (!ReadConfirmationRecord(payload, kind, client, record))
            return false;
        const std::string& code = clientCode.empty() ? client : clientCode;
        OrderBookLink* book = CurrentOrderBookLink();
        if (!book || !book->isOpen() || !book->isIdle())
            return false;
        const std::string filter = book->clientFilter();
        if (!filter.empty() && filter != code)
            return false;
        ClientInfo* entry = ActiveClientEntry();
        if (!entry) {
            WriteLog(0,
                "Unable to update order confirmation for message [" + std::string(payload)
                    + "] reason [client ref structure returned NULL value]");
            return false;
        }
        OrderInfo stored;
        if (FindStoredOrder(entry, record.order_no, stored)) {
            FillOrderReport(entry, 3, kind, {}, &record);
            return true;
        }
        {
            std::lock_guard lock(order_confirmation_detail::g_pendingMutex);
            if (order_confirmation_detail::g_pending.size() >= order_confirmation_detail::kMaxPending)
                order_confirmation_detail::g_pending.pop_front();
            order_confirmation_detail::g_pending.push_back({kind, record});
        }
        // The order may have been stored meanwhile; whoever takes the waiting
        // confirmation applies it, so it is applied exactly once.
        if (FindStoredOrder(entry, record.order_no, stored))
            ApplyPendingConfirmations(record.order_no);
        return true;
    } catch (...) {
        WriteLog(0, "Exception in ApplyOrderConfirmation");
        return false;
    }
}

void ApplyPendingConfirmations(double orderNo)
{
    try {
        for (const order_confirmation_detail::Pending& p : order_confirmation_detail::takePending(orderNo))
            FillOrderReport(ActiveClientEntry(), 3, p.kind, {}, &p.record);
    } catch (...) {
        WriteLog(0, "Exception in ApplyPendingConfirmations");
    }
}

void ClearPendingConfirmations()
{
    std::lock_guard lock(order_confirmation_detail::g_pendingMutex);
    order_confirmation_detail::g_pending.clear();
}
