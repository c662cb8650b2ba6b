#include "orders/ClientOrderStore.h"

#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "orders/OrderMessages.h"
#include "server/SecurityTable.h"
#include "watch/base/TextSplit.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <new>

std::mutex g_csOrderStore;
std::atomic<int> g_nPrevOrdersFlag{0};

namespace client_order_store_detail {
namespace {

std::atomic<OrderBookLink*> g_bookLink{nullptr};
// Every store ever made; guarded by g_csOrderStore.
std::deque<std::unique_ptr<ClientOrderStore>> g_stores;

bool statusIn(std::string_view s, std::initializer_list<std::string_view> set)
{
    return std::find(set.begin(), set.end(), s) != set.end();
}

ClientOrderStore* storeLocked(ClientInfo* client)
{
    if (!client)
        return nullptr;
    if (!client->orders) {
        g_stores.push_back(std::make_unique<ClientOrderStore>());
        client->orders = g_stores.back().get();
    }
    return client->orders;
}

int toInt(const std::string& s) { return static_cast<int>(std::strtol(s.c_str(), nullptr, 10)); }

bool fitsInt32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// A quantity of a report row: a whole number that fits the record.
bool readQuantity(const std::string& s, int32_t& out)
{
    const long long v = std::strtoll(s.c_str(), nullptr, 10);
    if (!fitsInt32(v))
        return false;
    out = static_cast<int32_t>(v);
    return true;
}
double toDouble(const std::string& s) { return std::strtod(s.c_str(), nullptr); }

int markIndexOf(int mark)
{
    const int n = std::min<int>(pv_user_info.segment_count, static_cast<int>(pv_user_info.segments.size()));
    for (int i = 0; i < n; ++i)
        if (pv_user_info.segments[static_cast<size_t>(i)].id == mark)
            return i;
    return 0;
}

// Fills record `out` from one report row; false when the row is too short
// or a quantity does not fit.
bool readRow(const std::string& row, OrderInfo& out)
{
    std::vector<std::string> f;
    SplitString(row, '|', f);
    const bool withValid = g_nPrevOrdersFlag.load() == 2;
    if (f.size() < (withValid ? 21u : 20u))
        return false;
    out = OrderInfo{};
    out.token = toInt(f[2]);
    CopyFixedText(out.exchange, f[3]);
    out.sec_index = Search_Token(out.token, FixedTextView(out.exchange));
    out.order_no = toDouble(f[4]);
    CopyFixedText(out.exch_order_no, f[5]);
    CopyFixedText(out.buy_sell, f[6]);
    out.side = out.buy_sell[0];
    if (!readQuantity(f[7], out.total_qty) || !readQuantity(f[9], out.open_qty) || !readQuantity(f[13], out.disclosed))
        return false;
    out.price = toDouble(f[8]);
    CopyFixedText(out.time, f[10]);
    CopyFixedText(out.status, f[11]);
    out.trigger = toDouble(f[12]);
    out.order_mark = toInt(f[14]);
    out.mark_index = markIndexOf(out.order_mark);
    CopyFixedText(out.client_code, f[15]);
    out.extra = static_cast<int16_t>(toInt(f[16]));
    CopyFixedText(out.user_id, f[17]);
    std::string name = f[18];
    std::replace(name.begin(), name.end(), '-', '~');
    CopyFixedText(out.security_name, name);
    CopyFixedText(out.mark_name, f[19]);
    out.contract_valid = withValid ? toInt(f[20]) : -1;
    return true;
}

struct Change {
    int code = -1; // none
    int index = 0;
    std::string text;
};

Change load(ClientInfo* client, ClientOrderStore& s, int number, const std::vector<std::string>& rows,
            std::string_view reportClient)
{
    // The rows present decide the size, never the announced count alone: a
    // header may announce far more orders than its reply carries.
    const size_t announced = static_cast<size_t>(std::max(0, number));
    const size_t present = std::min(announced, rows.size());
    const size_t wanted = present + 100;
    try {
        if (s.capacity == 0)
            WriteLog(0, "Orders Ctr <" + std::to_string(announced) + "> memsize<" + std::to_string(wanted) + ">");
        if (present > static_cast<size_t>(kMaxStoredOrders))
            throw std::bad_alloc();
        const size_t capacity = static_cast<size_t>(s.capacity) > present ? static_cast<size_t>(s.capacity) : wanted;
        s.records.assign(capacity, OrderInfo{});
        s.capacity = static_cast<int>(capacity);
    } catch (const std::bad_alloc&) {
        WriteLog(0, "Unable to allocate memory for Orders for a size " + std::to_string(wanted));
        s.count = 0;
        return Change{0, 0, "Memory Error. Please Try Again..."};
    }
    int taken = 0;
    for (size_t d = 0; d < announced; ++d) {
        if (d >= rows.size()) {
            WriteLog(0, "Exception while processing Order Report Data");
            break;
        }
        if (rows[d].empty())
            break;
        if (!readRow(rows[d], s.records[static_cast<size_t>(taken)])) {
            WriteLog(0, "Exception while processing Order Report Data");
            break;
        }
        ++taken;
    }
    s.count = taken;
    const std::string who = reportClient.empty() ? std::string(FixedTextView(client->client_code))
                                                  : std::string(reportClient);
    char line[200];
    std::snprintf(line, sizeof line, "Order Report Downloaded Successfully for Client :%s, Total Orders :%d",
                  who.c_str(), taken);
    return Change{1, 0, line};
}

Change append(ClientOrderStore& s, const OrderInfo& record)
{
    WriteLog(0, "Inserting Single Record in Order Report Memory");
    try {
        if (s.count >= kMaxStoredOrders) {
            WriteLog(0, "Order store full, order not added");
            return Change{};
        }
        if (s.count >= s.capacity) {
            WriteLog(0, "FillOrderReport Mem_realloc");
            s.capacity = s.count + 100;
            s.records.resize(static_cast<size_t>(s.capacity));
        }
    } catch (const std::bad_alloc&) {
        return Change{};
    }
    OrderInfo& slot = s.records[static_cast<size_t>(s.count)];
    slot = record;
    slot.grid_row = -1;
    return Change{2, s.count++, {}};
}

Change update(ClientOrderStore& s, int kind, const OrderInfo& c)
{
    WriteLog(0, "Updating Existing Record in Order Report");
    for (int i = 0; i < s.count; ++i) {
        OrderInfo& r = s.records[static_cast<size_t>(i)];
        if (r.order_no != c.order_no)
            continue;
        // Server values can be anything 32 bits hold: work in 64 bits and
        // refuse a confirmation whose result the record cannot hold.
        const int64_t traded = int64_t{r.total_qty} - r.open_qty;
        int64_t open = r.open_qty;
        int64_t total = r.total_qty;
        if (kind == kConfirmTrade) {
            open = std::max<int64_t>(0, open - c.open_qty);
        } else if (kind == kConfirmModify) {
            open = c.open_qty;
            total = int64_t{c.open_qty} + traded;
        } else if (kind == kConfirmCancel) {
            // Nothing of a cancelled order is open any more: the book shows
            // 0 open, as the broker's order report does after a refresh.
            open = 0;
        }
        if (!fitsInt32(open) || !fitsInt32(total) || !fitsInt32(total - open)) {
            WriteLog(0, formatText("Confirmation refused for order %.0lf: quantities out of range (total %lld, open %lld)",
                                   c.order_no, static_cast<long long>(total), static_cast<long long>(open)));
            return Change{};
        }
        r.open_qty = static_cast<int32_t>(open);
        r.total_qty = static_cast<int32_t>(total);
        const int64_t t = total - open;
        std::string_view status = FixedTextView(c.status);
        if (kind == kConfirmModify)
            status = t > 0 ? "OPF" : status;
        else if (t > 0)
            status = r.open_qty > 0 ? "OPF" : "TRAD";
        if (r.open_qty == 0)
            status = "TRAD";
        if (kind == kConfirmCancel)
            status = "CAN";
        const std::string statusText(status);
        CopyFixedText(r.status, statusText);
        // A trade's price is the fill's: the order keeps its own limit and
        // trigger (Modify prefills them and sends the price as the previous
        // one), and the fill price belongs to the trade.
        if (kind != kConfirmTrade) {
            r.price = c.price;
            r.trigger = c.trigger;
        }
        CopyFixedText(r.time, FixedTextView(c.time));
        CopyFixedText(r.exch_order_no, FixedTextView(c.exch_order_no));
        WriteLog(0, "exit ::Updating Existing Record in Order Report");
        return Change{3, i, {}};
    }
    return Change{};
}

} // namespace
} // namespace client_order_store_detail

bool IsOpenOrderStatus(std::string_view s) { return client_order_store_detail::statusIn(s, {"AMO", "OPN", "OPF", "SLO"}); }
bool IsPendingOrderStatus(std::string_view s) { return client_order_store_detail::statusIn(s, {"NEWF", "NEWZ", "CHRF", "CNRF"}); }
bool IsFinishedOrderStatus(std::string_view s)
{
    return client_order_store_detail::statusIn(s, {"CAN", "REJ", "CANM", "CANS", "TRAD"});
}

void SetOrderBookLink(OrderBookLink* link) { client_order_store_detail::g_bookLink.store(link); }
OrderBookLink* CurrentOrderBookLink() { return client_order_store_detail::g_bookLink.load(); }

ClientOrderStore* OrderStoreOf(ClientInfo* client)
{
    std::lock_guard lock(g_csOrderStore);
    return client_order_store_detail::storeLocked(client);
}

void FillOrderReport(ClientInfo* client, int mode, int number, const std::vector<std::string>& rows,
                     const OrderInfo* record, std::string_view reportClient)
{
    if (!client)
        return;
    client_order_store_detail::Change change;
    try {
        std::lock_guard lock(g_csOrderStore);
        ClientOrderStore* s = client_order_store_detail::storeLocked(client);
        if (mode == 1)
            change = client_order_store_detail::load(client, *s, number, rows, reportClient);
        else if (mode == 2 && record)
            change = client_order_store_detail::append(*s, *record);
        else if (mode == 3 && record)
            change = client_order_store_detail::update(*s, number, *record);
    } catch (...) {
        WriteLog(0, "Exception in FillOrderReport");
        return;
    }
    if (change.code < 0)
        return;
    if (mode == 1) {
        if (change.code == 0)
            MsgBoxOk(change.text);
        else
            OrderUserMessage(3, ' ', change.text);
    }
    OrderBookLink* book = CurrentOrderBookLink();
    if (book && book->isOpen())
        book->storeChanged(change.code, change.index, {});
}

std::vector<OrderInfo> OrderStoreSnapshot(ClientInfo* client)
{
    std::lock_guard lock(g_csOrderStore);
    ClientOrderStore* s = client_order_store_detail::storeLocked(client);
    if (!s)
        return {};
    return std::vector<OrderInfo>(s->records.begin(), s->records.begin() + s->count);
}

bool ReadStoredOrder(ClientInfo* client, int index, OrderInfo& out)
{
    std::lock_guard lock(g_csOrderStore);
    ClientOrderStore* s = client_order_store_detail::storeLocked(client);
    if (!s || index < 0 || index >= s->count)
        return false;
    out = s->records[static_cast<size_t>(index)];
    return true;
}

bool FindStoredOrder(ClientInfo* client, double orderNo, OrderInfo& out)
{
    std::lock_guard lock(g_csOrderStore);
    ClientOrderStore* s = client_order_store_detail::storeLocked(client);
    if (!s)
        return false;
    for (int i = 0; i < s->count; ++i)
        if (s->records[static_cast<size_t>(i)].order_no == orderNo) {
            out = s->records[static_cast<size_t>(i)];
            return true;
        }
    return false;
}

int StoredOrderCount(ClientInfo* client)
{
    std::lock_guard lock(g_csOrderStore);
    ClientOrderStore* s = client_order_store_detail::storeLocked(client);
    return s ? s->count : 0;
}

void ResetOrderStoreCount(ClientInfo* client)
{
    std::lock_guard lock(g_csOrderStore);
    if (ClientOrderStore* s = client_order_store_detail::storeLocked(client))
        s->count = 0;
}
