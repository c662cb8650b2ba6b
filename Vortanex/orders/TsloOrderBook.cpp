#include "orders/TsloOrderBook.h"

#include "app/base/ExchangeNames.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/TextFormat.h"
#include "orders/TsloOrder.h"
#include "server/ExtraSubscriptions.h"
#include "server/FeedSubscriptions.h"
#include "server/SecurityReload.h"
#include "watch/base/TextSplit.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>

namespace tslo_order_book_detail {
namespace {

std::map<std::string, std::shared_ptr<const TsloBook>> g_books;

// The securities of every stored book, for the feed's rebuild, which may run
// on any thread (the books themselves are the UI thread's).
std::mutex g_securitiesMutex;
std::vector<int> g_securities; // guarded by g_securitiesMutex; sorted, unique

// Recomputes the securities after a change of the books; when they changed,
// the feed's lists are rebuilt so the orders' prices keep coming with no
// window showing them.
void booksChanged()
{
    std::vector<int> now;
    for (const auto& [client, book] : g_books)
        for (const TsloOrderInfo& r : *book)
            if (r.sec_index >= 0)
                now.push_back(r.sec_index);
    std::sort(now.begin(), now.end());
    now.erase(std::unique(now.begin(), now.end()), now.end());
    {
        std::lock_guard lock(g_securitiesMutex);
        if (now == g_securities)
            return;
        g_securities = std::move(now);
    }
    ExtraSubscriptions::instance().setSource(kTsloSubscriptionSource, [] { return TsloBookSecurities(); });
    FeedSubscriptions::instance().Update_Feeds_Token();
}

const std::string& at(const std::vector<std::string>& f, size_t i)
{
    static const std::string empty;
    return i < f.size() ? f[i] : empty;
}
int toInt(const std::string& s) { return static_cast<int>(std::strtol(s.c_str(), nullptr, 10)); }
double toDouble(const std::string& s) { return std::strtod(s.c_str(), nullptr); }

bool isOneOf(std::string_view s, std::initializer_list<std::string_view> list)
{
    for (std::string_view x : list)
        if (s == x)
            return true;
    return false;
}

bool trails(std::string_view status) { return isOneOf(status, {"TRL", "WTRL", "ACTIVE"}); }
bool open(std::string_view status) { return isOneOf(status, {"OPN", "OPF", "ACTIVE"}); }
bool finished(std::string_view status) { return isOneOf(status, {"TRAD", "CAN", "CANS"}); }

// Leg 2 of the order whose leg 1 is at `index`; null when the book has none.
const TsloOrderInfo* secondLeg(const TsloBook& book, int index)
{
    const size_t next = static_cast<size_t>(index) + 1;
    if (next < book.size() && book[next].leg == 2 && book[next].special_order_no == book[index].special_order_no)
        return &book[next];
    return nullptr;
}

bool valid(const TsloBook& book, int index) { return index >= 0 && static_cast<size_t>(index) < book.size(); }

std::string price(double v, bool four)
{
    if (v == -1)
        return "-";
    return formatText(four ? "%0.4lf" : "%0.2lf", v);
}

} // namespace
} // namespace tslo_order_book_detail

std::string BuildTsloReportRequest(const std::string& clientId, const std::string& userId,
                                   const std::string& clientCode)
{
    return formatText("ReportData=%d|%s|%s|%d|%s|0", 640, clientId.c_str(), userId.c_str(), 4, clientCode.c_str());
}

TsloOrderInfo ReadTsloRow(const std::vector<std::string>& f, int rowNumber)
{
    using tslo_order_book_detail::at;
    TsloOrderInfo r;
    CopyFixedText(r.client_code, at(f, 8));
    CopyFixedText(r.user_id, at(f, 9));
    r.special_order_no = tslo_order_book_detail::toInt(at(f, 0));
    r.field1 = tslo_order_book_detail::toInt(at(f, 1));
    r.token = tslo_order_book_detail::toInt(at(f, 2));
    CopyFixedText(r.segment, at(f, 3));
    CopyFixedText(r.exchange, at(f, 4));
    CopyFixedText(r.field5, at(f, 5));
    CopyFixedText(r.field6, at(f, 6));
    r.field7 = tslo_order_book_detail::toDouble(at(f, 7));
    r.exch_order_no = tslo_order_book_detail::toDouble(at(f, 10));
    CopyFixedText(r.field11, at(f, 11));
    CopyFixedText(r.buy_sell, at(f, 12));
    r.order_qty = tslo_order_book_detail::toInt(at(f, 13));
    r.price = tslo_order_book_detail::toDouble(at(f, 14));
    r.trailing_when = tslo_order_book_detail::toDouble(at(f, 15));
    r.spread = tslo_order_book_detail::toDouble(at(f, 16));
    r.trigger = tslo_order_book_detail::toDouble(at(f, 17));
    r.disclosed = at(f, 18).empty() ? -1 : tslo_order_book_detail::toInt(at(f, 18));
    r.traded_qty = tslo_order_book_detail::toInt(at(f, 19));
    CopyFixedText(r.status, at(f, 20));
    CopyFixedText(r.remark, at(f, 21));
    r.leg = tslo_order_book_detail::toInt(at(f, 22));
    r.kind = tslo_order_book_detail::toInt(at(f, 23));
    r.field24 = tslo_order_book_detail::toInt(at(f, 24));
    CopyFixedText(r.activity_time, at(f, 25));
    CopyFixedText(r.field26, at(f, 26));
    r.auto_square_off = static_cast<short>(tslo_order_book_detail::toInt(at(f, 27)));
    r.slo_price = tslo_order_book_detail::toDouble(at(f, 29));
    r.row_number = rowNumber;
    return r;
}

TsloReport ReadTsloReport(std::string_view body, const std::string& clientCode)
{
    TsloReport out;
    if (body.empty()) {
        out.barText = "Unable to download TSLO Order Report 2";
        out.boxText = "Server Error. Please Try Again...";
        return out;
    }
    std::vector<std::string> records;
    SplitString(body, '~', records);
    if (records.empty() || records[0].empty()) {
        out.boxText = "Unidentified response received from server";
        out.logLine = formatText("Unidentified Response Len <%ld> data : [%.200s]", static_cast<long>(body.size()),
                                 std::string(body).c_str());
        return out;
    }
    std::vector<std::string> header;
    SplitString(records[0], '|', header);
    const std::string& result = tslo_order_book_detail::at(header, 1);
    if (result.empty()) {
        out.boxText = "No response received from server";
        return out;
    }
    const int code = tslo_order_book_detail::toInt(result);
    if (code != 0) {
        // 1205: the service has no book for the client; said by nothing.
        if (code == 1205)
            out.ok = true;
        else
            out.boxText = tslo_order_book_detail::at(header, 2);
        return out;
    }
    out.ok = true;
    const int announced = tslo_order_book_detail::toInt(tslo_order_book_detail::at(header, 4));
    out.logLine = formatText("TSLO Orders Ctr <%lld>", static_cast<long long>(announced) + 100);
    if (announced < 1) {
        out.barText = "No TSLO Orders to be downloaded";
        return out;
    }
    std::vector<std::string> rows;
    SplitString(tslo_order_book_detail::at(records, 1), '^', rows);
    for (const std::string& row : rows) {
        if (static_cast<int>(out.records.size()) >= announced || row.empty())
            break;
        std::vector<std::string> f;
        SplitString(row, '|', f);
        out.records.push_back(ReadTsloRow(f, static_cast<int>(out.records.size())));
    }
    out.barText = formatText("TSLO Order Report Downloaded Successfully for Client :%s, Total Orders :%d",
                             clientCode.c_str(), static_cast<int>(out.records.size()));
    return out;
}

bool TsloCanModify(const TsloBook& book, int index)
{
    if (!tslo_order_book_detail::valid(book, index))
        return false;
    const TsloOrderInfo& r = book[index];
    if (r.kind == 1 || r.kind == 2)
        return r.leg == 1 && tslo_order_book_detail::trails(r.status);
    if (r.kind < 3 || r.kind > 5)
        return false;
    if (r.leg == 2)
        return tslo_order_book_detail::trails(r.status);
    if (tslo_order_book_detail::open(r.status))
        return true;
    const TsloOrderInfo* leg2 = tslo_order_book_detail::secondLeg(book, index);
    return std::string_view(r.status) == "TRAD" && leg2 && tslo_order_book_detail::trails(leg2->status);
}

bool TsloCanCancel(const TsloBook& book, int index)
{
    if (!tslo_order_book_detail::valid(book, index))
        return false;
    const TsloOrderInfo& r = book[index];
    if (r.kind == 1 || r.kind == 2)
        return r.leg == 1 && !tslo_order_book_detail::finished(r.status);
    if (r.kind < 3 || r.kind > 5)
        return false;
    if (r.leg == 2)
        return !tslo_order_book_detail::finished(r.status);
    if (tslo_order_book_detail::open(r.status))
        return true;
    const TsloOrderInfo* leg2 = tslo_order_book_detail::secondLeg(book, index);
    return std::string_view(r.status) == "TRAD" && leg2 && !tslo_order_book_detail::finished(leg2->status);
}

int TsloFormRecord(const TsloBook& book, int index, int action)
{
    if (!tslo_order_book_detail::valid(book, index))
        return -1;
    const TsloOrderInfo& r = book[index];
    if ((action == 2 || action == 3) && (r.kind == 3 || r.kind == 4) && r.leg == 2) {
        // Leg 1 is the record before; a leg 2 first in the book has none.
        if (index == 0 || book[index - 1].special_order_no != r.special_order_no)
            return -1;
        return index - 1;
    }
    return index;
}

std::string TsloExchangeName(std::string_view code) { return ExchangeDisplayName(code); }

const std::vector<std::string>& TsloColumnHeaders()
{
    static const std::vector<std::string> headers = {
        "Special Order No.", "Security",      "ME",         "TWXS Order No", "Buy / Sell",
        "Order Qty / Lot",   "Price",         "Trailing When", "Spread",     "Trigger Price",
        "Traded Qty",        "Trailing Qty / Lot", "Status", "Remark",        "Order Leg",
        "Activity Time",     "Disc. Qty",     "User ID",    "SLO Price"};
    return headers;
}

std::vector<std::string> TsloRowTexts(const TsloOrderInfo& r, const std::string& securityName, bool fourDecimals)
{
    return {std::to_string(r.special_order_no),
            securityName,
            TsloExchangeName(FixedTextView(r.exchange)),
            formatText("%0.lf", r.exch_order_no),
            std::string(FixedTextView(r.buy_sell)),
            std::to_string(r.order_qty),
            tslo_order_book_detail::price(r.price, fourDecimals),
            tslo_order_book_detail::price(r.trailing_when, fourDecimals),
            tslo_order_book_detail::price(r.spread, fourDecimals),
            tslo_order_book_detail::price(r.trigger, fourDecimals),
            std::to_string(r.traded_qty),
            // Both come from the server: their difference may not fit an int.
            std::to_string(static_cast<long long>(r.order_qty) - r.traded_qty),
            std::string(FixedTextView(r.status)),
            std::string(FixedTextView(r.remark)),
            std::to_string(r.leg),
            std::string(FixedTextView(r.activity_time)),
            r.disclosed == -1 ? std::string("-") : std::to_string(r.disclosed),
            std::string(FixedTextView(r.user_id)),
            tslo_order_book_detail::price(r.slo_price, fourDecimals)};
}

std::string CsvLine(const std::vector<std::string>& fields)
{
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i)
            line += ',';
        line += CsvField(fields[i]);
    }
    return line + '\n';
}

std::shared_ptr<const TsloBook> TsloBookOf(const std::string& clientCode)
{
    const auto it = tslo_order_book_detail::g_books.find(clientCode);
    return it == tslo_order_book_detail::g_books.end() ? std::make_shared<const TsloBook>() : it->second;
}

// After a re-download every stored order finds its security again; one whose
// security is gone keeps its row without a security (logged).
void FollowTsloBooks(const SecurityTable& before, const SecurityTable& after)
{
    for (auto& [client, book] : tslo_order_book_detail::g_books) {
        auto moved = std::make_shared<TsloBook>(*book);
        for (TsloOrderInfo& r : *moved) {
            if (r.sec_index < 0)
                continue;
            r.sec_index = ReresolveSecurity(before, after, r.sec_index);
            if (r.sec_index < 0)
                WriteLog(0, formatText("Trailing order %d: its security is no longer in the security file",
                                       r.special_order_no));
        }
        book = std::move(moved);
    }
    tslo_order_book_detail::booksChanged();
}

void SetTsloBook(const std::string& clientCode, std::shared_ptr<const TsloBook> book)
{
    static const SecurityReload::Registration reload =
        SecurityReload::instance().add("trailing book", [](const SecurityTable& before, SecurityTable& after) {
            FollowTsloBooks(before, after);
            return SecurityReload::Outcome{};
        });
    tslo_order_book_detail::g_books[clientCode] = book ? std::move(book) : std::make_shared<const TsloBook>();
    tslo_order_book_detail::booksChanged();
}

void ClearTsloBooks()
{
    tslo_order_book_detail::g_books.clear();
    tslo_order_book_detail::booksChanged();
}

std::vector<int> TsloBookSecurities()
{
    std::lock_guard lock(tslo_order_book_detail::g_securitiesMutex);
    return tslo_order_book_detail::g_securities;
}
