#include "app/WorkspaceWiring.h"

#include "server/MarketLookups.h"
#include "server/SecurityTable.h"

#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/SessionRecord.h"
#include "frame/CMainFrame.h"
#include "frame/CWebLinks.h"
#include "frame/FrameIds.h"
#include "frame/Workspace.h"
#include "market/CEodChartView.h"
#include "market/CIndexView.h"
#include "market/CMDepthView.h"
#include "market/ChartSeries.h"
#include "orders/COrderViewEx.h"
#include "orders/CTsloOrderView.h"
#include "positions/CNetPosition.h"
#include "server/CompanionLists.h"
#include "orders/CTradeView.h"
#include "watch/CVortanexView.h"
#include "watch/WatchCommands.h"
#include "watch/base/WatchlistTable.h"

#include <QPointer>
#include <QTabWidget>
#include <QUrl>

#include <charconv>
#include <cstring>

namespace {

constexpr int kTradeBookCommand = 32878;  // "Trades"
constexpr int kTsloBookCommand = 33314;   // "TSLO Orders", F7
constexpr int kLimitsCommand = 33214;     // the risk window's first tab, F6; its tabs follow
constexpr int kIndexViewCommand = 32886;  // "Indices Watchlist"
constexpr int kWebLinksCommand = 32883;
constexpr int kRiskTabs = 5;
bool g_restored = false;

template <typename View> View* viewIn(QWidget* widget)
{
    if (auto* v = dynamic_cast<View*>(widget))
        return v;
    return widget ? widget->findChild<View*>() : nullptr;
}

// A list by its name; a category list (the same expiry is a list of each
// future group) by its group and name, "Future Index|29DEC26".
std::string listKey(const WatchlistRecord& record)
{
    const std::string name(FixedTextView(record.name));
    const std::string group = record.id <= -10000 ? CategoryGroup(record.id) : std::string();
    return group.empty() ? name : group + "|" + name;
}

CVortanexView* openWatchView(const std::string& key)
{
    for (CVortanexView* v : CVortanexView::openViews())
        if (key == listKey(v->list()))
            return v;
    return nullptr;
}

// The fields of a saved window's text: '|' between them, each
// percent-encoded so names and paths may hold any character.
std::string joinFields(const std::vector<std::string>& fields)
{
    std::string text;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i)
            text += '|';
        text += QUrl::toPercentEncoding(QString::fromStdString(fields[i])).toStdString();
    }
    return text;
}

std::vector<std::string> splitFields(const std::string& text)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t bar = text.find('|', start);
        const std::string part = text.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        fields.push_back(QUrl::fromPercentEncoding(QByteArray::fromStdString(part)).toStdString());
        if (bar == std::string::npos)
            return fields;
        start = bar + 1;
    }
}

bool toInt(const std::string& text, int& out)
{
    const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && p == text.data() + text.size();
}

// A security by its exchange and token, which outlive the row numbers of one
// run's master.
std::vector<std::string> securityFields(int security)
{
    const auto table = SecurityTable::current();
    if (!table || !table->valid(security))
        return {};
    const SecurityRecord& r = table->row(security);
    return {std::string(r.market_exchange.view()), std::to_string(r.token), std::string(r.displayKey().view())};
}

// The row of (exchange, token) in this run's master, when it is still the
// security of that name; -1 when gone. A new master may give the token to
// another contract (an expired one's to the next), which the window was not
// about.
int securityOf(const std::string& exchange, const std::string& token, const std::string& name)
{
    int t = 0;
    const auto table = SecurityTable::current();
    if (!table || !toInt(token, t))
        return -1;
    const int row = table->searchToken(t, exchange);
    if (row < 0 || (!name.empty() && table->row(row).displayKey().view() != name))
        return -1;
    return row;
}

// An index by its exchange and name, its place in the index table; -1 when gone.
int indexOf(const std::string& exchange, const std::string& name)
{
    const std::vector<IndexRecord> indices = IndexTable::instance().entries();
    for (size_t i = 0; i < indices.size(); ++i)
        if (FixedTextView(indices[i].exchange) == exchange && FixedTextView(indices[i].name) == name)
            return int(i);
    return -1;
}

// A chart: "kind|style|interval|exchange|token or index|name|study|objects|indicators|count"
// and for each indicator added "type|new panel|key".
std::optional<std::string> describeChart(CEodChartView* view)
{
    const ChartReopen r = view->reopenState();
    std::vector<std::string> fields{std::to_string(r.kind), std::to_string(r.style), std::to_string(r.interval)};
    if (r.kind == kChartEod || r.kind == kChartIntraday) {
        std::vector<std::string> id = securityFields(r.security);
        if (id.empty())
            return std::nullopt;
        fields.insert(fields.end(), id.begin(), id.end());
    } else if (r.kind == kChartIndex) {
        const std::vector<IndexRecord> indices = IndexTable::instance().entries();
        if (r.security < 0 || r.security >= int(indices.size()))
            return std::nullopt;
        const IndexRecord& index = indices[size_t(r.security)];
        fields.insert(fields.end(), {std::string(FixedTextView(index.exchange)), std::string(FixedTextView(index.name)),
                                     std::string(FixedTextView(index.name))});
    } else if (r.kind == kChartSaved) {
        fields.insert(fields.end(), {std::string(), std::string(), r.studyName});
    } else {
        return std::nullopt;
    }
    fields.insert(fields.end(), {r.studyName, r.studyObjects, r.studyIndicators, std::to_string(r.indicators.size())});
    for (const CCIndicatorsAdded& a : r.indicators)
        fields.insert(fields.end(), {std::to_string(a.type), a.newPanel ? "1" : "0", a.key});
    return joinFields(fields);
}

// The saved chart's fields read back; nullopt when they are not a chart's.
std::optional<ChartReopen> readChart(const std::string& list)
{
    const std::vector<std::string> f = splitFields(list);
    ChartReopen r;
    int count = 0;
    if (f.size() < 10 || !toInt(f[0], r.kind) || !toInt(f[1], r.style) || !toInt(f[2], r.interval)
        || !toInt(f[9], count) || count < 0 || f.size() != 10 + size_t(count) * 3)
        return std::nullopt;
    r.studyName = f[6];
    r.studyObjects = f[7];
    r.studyIndicators = f[8];
    for (int i = 0; i < count; ++i) {
        CCIndicatorsAdded a;
        const size_t at = 10 + size_t(i) * 3;
        if (!toInt(f[at], a.type))
            return std::nullopt;
        a.newPanel = f[at + 1] == "1";
        a.key = f[at + 2];
        r.indicators.push_back(std::move(a));
    }
    if (r.kind == kChartEod || r.kind == kChartIntraday)
        r.security = securityOf(f[3], f[4], f[5]);
    else if (r.kind == kChartIndex)
        r.security = indexOf(f[3], f[4]);
    else if (r.kind == kChartSaved)
        r.security = 0;
    return r;
}

// A derivative chain of an index (chain kind 1) or of a security (2).
bool isDerivativeChain(const WatchlistRecord& list)
{
    return list.type == 2 && (list.chainKind == 1 || list.chainKind == 2);
}

// "kind|exchange|name|name" of an index's chain, "kind|exchange|token|name"
// of a security's; nullopt when the base is gone from this run's tables.
std::optional<std::string> describeChainBase(const WatchlistRecord& list)
{
    if (list.chainKind == 1) {
        const std::vector<IndexRecord> indices = IndexTable::instance().entries();
        if (list.chainSecurity < 0 || list.chainSecurity >= int(indices.size()))
            return std::nullopt;
        const IndexRecord& index = indices[size_t(list.chainSecurity)];
        const std::string name(FixedTextView(index.name));
        return joinFields({"1", std::string(FixedTextView(index.exchange)), name, name});
    }
    std::vector<std::string> id = securityFields(list.chainSecurity);
    if (id.empty())
        return std::nullopt;
    id.insert(id.begin(), "2");
    return joinFields(id);
}

// The name a saved window of exchange, token and name fields shows on the message bar.
std::string securityLabel(const std::string& what, const std::vector<std::string>& f)
{
    if (f.size() >= 3 && !f[2].empty())
        return what + " of " + f[2] + " (" + f[0] + ")";
    return what;
}

// A book or report window that its command opens; the view that came up, or
// null when the command refused.
template <typename Find> Workspace::Kind commandKind(std::string name, int command, QPointer<CMainFrame> f, Find find)
{
    Workspace::Kind k;
    k.name = std::move(name);
    k.describe = [find](QWidget* view) -> std::optional<std::string> {
        QWidget* open = find();
        if (open && (view == open || view->isAncestorOf(open)))
            return std::string();
        return std::nullopt;
    };
    k.open = [f, command, find](const std::string&) -> QWidget* {
        if (f)
            f->Commands().invoke(command);
        return find();
    };
    return k;
}

} // namespace

Workspace& AppWorkspace()
{
    static Workspace workspace;
    return workspace;
}

void InstallWorkspace(CMainFrame& frame)
{
    // Each run's frame: the kinds open through this frame's commands.
    Workspace& ws = AppWorkspace();
    ws = Workspace();
    g_restored = false;
    QPointer<CMainFrame> f(&frame);

    Workspace::Kind watch;
    watch.name = "Watchlist";
    watch.describe = [](QWidget* view) -> std::optional<std::string> {
        if (CVortanexView* v = viewIn<CVortanexView>(view); v && !isDerivativeChain(v->list()))
            return listKey(v->list());
        return std::nullopt;
    };
    watch.open = [](const std::string& list) -> QWidget* {
        if (CVortanexView* open = openWatchView(list))
            return open;
        // The polling feed serves one market watch: the others are named on
        // the message bar rather than refused with a box at every start.
        if (g_Config.Feeds_Type == 1 && WatchCommands::openCount() > 0)
            return nullptr;
        // A list deleted since the last session is not in the table any more.
        WatchlistTable& table = WatchlistTable::instance();
        for (int i = 0; i < table.count(); ++i) {
            const WatchlistRecord record = table.record(i);
            if (list == listKey(record)) {
                WatchCommands::OnSelWatchList(record.panePage, i);
                return openWatchView(list);
            }
        }
        return nullptr;
    };
    ws.addKind(std::move(watch));

    // A derivative chain is a list of the session under a passing name: it
    // is kept as its kind and base and built again.
    Workspace::Kind chain;
    chain.name = "Derivative Chain";
    chain.describe = [](QWidget* view) -> std::optional<std::string> {
        CVortanexView* v = viewIn<CVortanexView>(view);
        if (!v || !isDerivativeChain(v->list()))
            return std::nullopt;
        return describeChainBase(v->list());
    };
    chain.open = [](const std::string& list) -> QWidget* {
        const std::vector<std::string> f = splitFields(list);
        int kind = 0;
        if (f.size() != 4 || !toInt(f[0], kind))
            return nullptr;
        const int base = kind == 1 ? indexOf(f[1], f[2]) : kind == 2 ? securityOf(f[1], f[2], f[3]) : -1;
        if (base < 0)
            return nullptr;
        for (CVortanexView* v : CVortanexView::openViews())
            if (isDerivativeChain(v->list()))
                return nullptr; // one derivative chain at a time
        g_WatchOpenRequest.chainKind = short(kind);
        g_WatchOpenRequest.chainBase = base;
        WatchCommands::OnNewChain(2);
        for (CVortanexView* v : CVortanexView::openViews())
            if (isDerivativeChain(v->list()))
                return v;
        return nullptr;
    };
    chain.label = [](const std::string& list) {
        const std::vector<std::string> f = splitFields(list);
        return f.size() == 4 && !f[3].empty() ? "Derivative Chain of " + f[3] : std::string("Derivative Chain");
    };
    ws.addKind(std::move(chain));

    Workspace::Kind orders;
    orders.name = "Orders";
    orders.describe = [](QWidget* view) -> std::optional<std::string> {
        if (viewIn<COrderViewEx>(view))
            return std::string();
        return std::nullopt;
    };
    orders.open = [f](const std::string&) -> QWidget* {
        if (f)
            f->Commands().invoke(ID_REPORTS_ORDERS);
        return g_pOrderViewEx;
    };
    ws.addKind(std::move(orders));

    Workspace::Kind trades;
    trades.name = "Trades";
    trades.describe = [](QWidget* view) -> std::optional<std::string> {
        if (viewIn<CTradeView>(view))
            return std::string();
        return std::nullopt;
    };
    trades.open = [f](const std::string&) -> QWidget* {
        if (f)
            f->Commands().invoke(kTradeBookCommand);
        return g_pTradeView;
    };
    ws.addKind(std::move(trades));

    ws.addKind(commandKind("TSLO Orders", kTsloBookCommand, f, [] { return CTsloOrderView::Instance(); }));
    ws.addKind(commandKind("Indices Watchlist", kIndexViewCommand, f, [] { return CIndexView::instance(); }));
    ws.addKind(commandKind("WebLinks", kWebLinksCommand, f, [] { return CWebLinks::Instance(); }));

    // The risk window, on the tab it showed.
    Workspace::Kind risk;
    risk.name = "Net Position";
    risk.describe = [](QWidget* view) -> std::optional<std::string> {
        CNetPosition* open = CNetPosition::Instance();
        if (!open || (view != open && !view->isAncestorOf(open)))
            return std::nullopt;
        const int tab = open->tabs() ? open->tabs()->currentIndex() : 0;
        return std::to_string(tab >= 0 && tab < kRiskTabs ? tab : 0);
    };
    risk.open = [f](const std::string& list) -> QWidget* {
        int tab = 0;
        if (!toInt(list, tab) || tab < 0 || tab >= kRiskTabs)
            tab = 0;
        if (f)
            f->Commands().invoke(kLimitsCommand + tab);
        return CNetPosition::Instance();
    };
    ws.addKind(std::move(risk));

    Workspace::Kind chart;
    chart.name = "Chart";
    chart.describe = [](QWidget* view) -> std::optional<std::string> {
        CEodChartView* v = viewIn<CEodChartView>(view);
        if (!v || v->closing())
            return std::nullopt;
        return describeChart(v);
    };
    chart.open = [f](const std::string& list) -> QWidget* {
        const std::optional<ChartReopen> state = readChart(list);
        if (!state || state->security < 0 || !f)
            return nullptr;
        return CEodChartView::Reopen(*state, f);
    };
    chart.label = [](const std::string& list) {
        const std::vector<std::string> f = splitFields(list);
        if (f.size() <= 5 || f[5].empty())
            return std::string("Chart");
        return "Chart of " + f[5] + (f[3].empty() ? std::string() : " (" + f[3] + ")");
    };
    ws.addKind(std::move(chart));

    // The depth windows are modeless windows of their own, not documents.
    Workspace::Kind depth;
    depth.name = "Market Depth";
    depth.describe = [](QWidget* view) -> std::optional<std::string> {
        auto* v = dynamic_cast<CMDepthView*>(view);
        if (!v)
            return std::nullopt;
        std::vector<std::string> id = securityFields(v->security());
        if (id.empty())
            return std::nullopt;
        return joinFields(id);
    };
    depth.open = [f](const std::string& list) -> QWidget* {
        const std::vector<std::string> fields = splitFields(list);
        const int security =
            fields.size() >= 2 ? securityOf(fields[0], fields[1], fields.size() >= 3 ? fields[2] : std::string()) : -1;
        if (security < 0 || !f)
            return nullptr;
        return OpenMarketDepth(security, f);
    };
    depth.label = [](const std::string& list) { return securityLabel("Market Depth", splitFields(list)); };
    depth.windows = [] {
        std::vector<QWidget*> out;
        for (CMDepthView* v : CMDepthView::openViews())
            out.push_back(v);
        return out;
    };
    ws.addKind(std::move(depth));
}

namespace {

// The logged-in user, whose windows the workspace keeps.
std::string sessionUser()
{
    return std::string(pv_user_info.user_id, strnlen(pv_user_info.user_id, sizeof pv_user_info.user_id));
}

} // namespace

void RestoreAppWorkspace(CMainFrame& frame, pf::ProfileStore& profile)
{
    AppWorkspace().setUser(sessionUser());
    AppWorkspace().restore(frame, profile);
    g_restored = true;
}

void SaveAppWorkspace(CMainFrame& frame, pf::ProfileStore& profile)
{
    // The windows of the user who opened them, whoever is logged in now.
    if (g_restored)
        AppWorkspace().save(frame, profile);
}
