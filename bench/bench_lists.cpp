// The market dialog's largest lists and a risk report, each shown by the real
// window on the offscreen platform from the moment it asks:
//  - support and resistance (one row per cash equity of an exchange: 5,000
//    rows), announcement news (2,000 announcements over 500 scrips, grouped
//    by scrip, collapsed, the text as each row's preview line) and the
//    circuit breaker (2,000 rows with their data bars), each opened with
//    CMarketTurnOver::Open against a server that answers at once with a
//    reply of that size in the market-data host's format;
//  - the risk report window's open positions (200 positions) through its
//    own worker against the in-process test broker (real sockets).
//
// Reported: the time from the request to every row shown (limit 1.5 s) and
// the longest stall of the UI thread meanwhile, measured by a 5 ms heartbeat
// (goal: none over 50 ms, a stall a user feels); beside each stall, the bare
// grid fill of the same rows: a grid of the same columns and groups given
// every row on the UI thread at once until it is painted. Median of three
// runs. Prints every goal with its limit and verdict; exits non-zero on a
// miss, or when a window did not show every row.
//
//   bench_lists [--runs N]
#include "app/CVortanexQtApp.h"
#include "bench_stall.h"
#include "bench_verdict.h"

#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/SessionRecord.h"
#include "frame/controls/CAnnouNewsReportCtrl.h"
#include "market/CMarketTurnOver.h"
#include "market/MarketChart.h"
#include "market/MarketResearch.h"
#include "positions/CNetPosition.h"
#include "server/RequestServer.h"
#include "server/RiskArrays.h"
#include "server/SecurityFile.h"
#include "server/SecurityTable.h"
#include "server/ServerAccess.h"
#include "ui/grid_model.h"
#include "ui/grid_view.h"

#include "pf/http_session.h"

#include "RiskDesk.h"
#include "TestBroker.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kLevelsRows = 5000;
constexpr int kNewsItems = 2000;
constexpr int kNewsScrips = 500;
constexpr int kCircuitRows = 2000;
constexpr int kPositions = 200;
constexpr double kLimitMs = 1500;
constexpr double kStallLimitMs = 50;

constexpr int kNewsCode = 8000, kCircuitCode = 8001, kLevelsCode = 8002;

// The market-data host's lists, answered at once from fixed replies.
class ListServer final : public ServerAccess {
public:
    explicit ListServer(std::map<int, std::string> replies) : m_replies(std::move(replies)) {}
    ServerReply downLoadFile(const std::string&, int, const std::string&) override { return {404, {}}; }
    ServerReply requestServer(int, int transCode, const std::string&) override
    {
        const auto it = m_replies.find(transCode);
        return {200, it == m_replies.end() ? std::string() : it->second};
    }

private:
    const std::map<int, std::string> m_replies; // read-only once made: any thread
};

std::string name(const char* stem, int i)
{
    char text[32];
    std::snprintf(text, sizeof text, "%s%04d", stem, i);
    return text;
}

std::string price(double rupees)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", rupees);
    return text;
}

// Support and resistance: name, token, exchange, high, low, close, S1, S2,
// R1, R2, pivot.
std::string levelsReply()
{
    std::string out = "1002|0|OK|BN";
    for (int i = 0; i < kLevelsRows; ++i) {
        const double c = 100 + i % 900, h = c * 1.012, l = c * 0.991, p = (h + l + c) / 3;
        out += "^" + name("SCRIP", i) + "|" + std::to_string(500000 + i) + "|BN|" + price(h) + "|" + price(l) + "|" +
               price(c) + "|" + price(2 * p - h) + "|" + price(p - (h - l)) + "|" + price(2 * p - l) + "|" +
               price(p + (h - l)) + "|" + price(p);
    }
    return out;
}

// Announcement news: number, key, text, date; four announcements a scrip.
std::string newsReply()
{
    static const char* kinds[] = {"Board meeting to consider the audited results for the quarter ended September",
                                  "Outcome of board meeting: dividend of 2.50 a share recommended",
                                  "Intimation of record date for the purpose of the interim dividend",
                                  "Disclosure of the acquisition of shares under the takeover regulations"};
    std::string out = "103|0|OK|BN";
    for (int i = 0; i < kNewsItems; ++i) {
        const std::string key = name("SCRIP", i % kNewsScrips);
        out += "^" + std::to_string(i + 1) + "|" + key + "|" + key + ": " + kinds[(i / kNewsScrips) % 4] + "|" +
               std::to_string(1 + i % 28) + "-12-2026";
    }
    return out;
}

// The circuit breaker's upper band: exchange, token, symbol, series, name,
// band, circuit, close, upper, lower, open, high, low, last, change.
std::string circuitReply()
{
    std::string out = "1001|0|OK|BSE|0";
    for (int i = 0; i < kCircuitRows; ++i) {
        const int band = i % 3 == 0 ? 20 : i % 3 == 1 ? 10 : 5;
        const double close = 50 + i % 700, last = close * (1 + band / 100.0);
        out += "^BSE|" + std::to_string(500000 + i) + "|" + name("SCRIP", i) + "|EQ|" + name("SCRIP", i) + "|U|" +
               std::to_string(band) + "|" + price(close) + "|" + price(close * (1 + band / 100.0)) + "|" +
               price(close * (1 - band / 100.0)) + "|" + price(close) + "|" + price(last) + "|" + price(close) + "|" +
               price(last) + "|" + price((last - close) * 100 / close);
    }
    return out;
}

using benchstall::Figures;
using benchstall::measure;

// A row as the grid holds it: its texts and preview line.
struct RowTexts {
    QStringList cells;
    QString preview;
};

std::vector<RowTexts> ownerRows(const ui::GridModel& m)
{
    std::vector<RowTexts> rows;
    for (int id : m.ownerTopRows()) {
        RowTexts r;
        for (int c = 0; c < m.columns(); ++c)
            r.cells << m.text(id, c);
        r.preview = m.preview(id);
        rows.push_back(std::move(r));
    }
    return rows;
}

// The bare grid fill: a grid of the same columns, groups and preview lines
// given every row on the UI thread at once, grouped, filtered and painted;
// its time is what the UI thread would be held without the window's own
// filling.
double bareFill(QApplication& app, const ui::GridView& like, const std::vector<RowTexts>& rows)
{
    ui::GridView grid;
    grid.resize(like.width(), like.height());
    grid.model().setColumns(like.model().columnNames());
    grid.setGroupColumns(like.model().groupColumns());
    grid.setPreviewShown(like.previewShown());
    grid.show();
    app.processEvents();
    QElapsedTimer clock;
    clock.start();
    ui::GridModel& m = grid.model();
    m.setAutoFlush(false);
    for (const RowTexts& r : rows) {
        const int id = m.addRow();
        for (int c = 0; c < r.cells.size(); ++c)
            m.setText(id, c, r.cells[c]);
        if (!r.preview.isEmpty())
            m.setPreview(id, r.preview);
    }
    m.flush();
    if (!like.model().groupColumns().empty())
        grid.expandAll(false);
    grid.refilter();
    grid.repaint();
    app.processEvents();
    return clock.nsecsElapsed() / 1e6;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Series {
    std::vector<double> ms, stall, bare;
    bool all = true;
    void add(const Figures& f, double bareMs)
    {
        ms.push_back(f.totalMs);
        stall.push_back(f.stallMs);
        bare.push_back(bareMs);
    }
};

// Opens the market dialog in `mode` against `server`, waits for every row,
// records the figures and closes it.
void runDialog(QApplication& app, int mode, ServerAccess& server, Series& s,
               const std::function<bool(CMarketTurnOver&)>& complete)
{
    CMarketTurnOver* dlg = nullptr;
    const Figures f = measure(
        app, [&] { dlg = CMarketTurnOver::Open(mode, nullptr, {}, nullptr, &server); },
        [&] { return dlg && complete(*dlg); });
    const bool whole = dlg && complete(*dlg);
    s.all = s.all && whole;
    ui::GridView* grid = dlg ? (mode == 9 ? static_cast<ui::GridView*>(dlg->newsGrid()) : dlg->grid()) : nullptr;
    if (!whole)
        std::fprintf(stderr, "market dialog %d shows %d rows\n", mode, grid ? grid->model().rowTotal() : -1);
    s.add(f, grid ? bareFill(app, *grid, ownerRows(grid->model())) : 0);
    if (dlg)
        dlg->finish(2);
    for (int i = 0; i < 5; ++i)
        app.processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// ---- the risk report ----------------------------------------------------------

// The broker's master as the terminal's security table, read as a master
// download is.
void publishMaster(const tb::Universe& universe)
{
    SecurityFileContent c = ParseSecurityText(universe.masterText(), SecurityReading::Full);
    auto t = std::make_shared<SecurityTable>();
    t->build(std::move(c.rows), SecurityTable::Build::Full, c.extended);
    SecurityTable::publish(t);
}

// A logged-in client ABC12 asking for its own reports from the broker.
void signIn(const tb::TestBroker& broker)
{
    RootInternetSession().setConnectTo({broker.connectToMap()});
    g_Config = ConfigRecord{};
    CopyFixedText(g_Config.Trade_Host, "127.0.0.1");
    g_Config.Trade_Port = broker.httpPort();
    ClearSessionRecord();
    pv_user_info = UserInfoRecord{};
    CopyFixedText(pv_user_info.user_id, "U1");
    CopyFixedText(pv_user_info.session_id, "SESS0001");
    pv_user_info.user_type = 'C';
    ParseSegmentList("0-Normal-A^1-Delivery-A^2-BNST-A^4-MTF-A^5-Stop Loss-A^7-DDS-A^12-MIS Options-A");
    g_Session = SessionValues{};
    g_Session.clients.resize(1);
    CopyFixedText(g_Session.clients[0].user_id, "0091");
    CopyFixedText(g_Session.clients[0].client_code, "ABC12");
    g_Session.clients[0].active = 1;
    g_Session.client_count = 1;
    pv_user_info.client_index = 0;
    std::string flags(128, '0');
    for (size_t i : {0, 1, 8, 10, 13, 52, 53, 59})
        flags[i] = '1';
    SetLoginFlags(flags);
    SetDefaultSettings();
}

// Open positions of the first securities that trade (the equities of both
// exchanges, then currency, commodity and index contracts), long and short
// in turn.
std::vector<std::vector<std::string>> openPositions(const tb::Universe& universe)
{
    std::vector<std::vector<std::string>> rows;
    for (const tb::Security& s : universe.securities()) {
        if (int(rows.size()) == kPositions)
            break;
        if (s.inst == "IN")
            continue;
        const int net = rows.size() % 2 ? -10 : 25;
        std::vector<std::string> f(tb::RiskDesk::kPositionFields, "0");
        f[0] = std::to_string(s.token);
        f[1] = s.exchange;
        f[6] = std::to_string(net);
        f[7] = std::to_string(net * s.price);
        f[17] = "1";
        f[25] = s.symbol;
        f[26] = f[27] = "";
        f[28] = price(s.price / 100.0);
        f[29] = "1";
        f[31] = "N";
        rows.push_back(std::move(f));
    }
    return rows;
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 3;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[i + 1]));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    LimitStylePictureCache(); // as the program's application object does

    // ---- the market dialog ----
    ListServer server({{kLevelsCode, levelsReply()}, {kNewsCode, newsReply()}, {kCircuitCode, circuitReply()}});
    std::string firstLevels;
    {
        const std::vector<mt::LevelsRow> rows = mt::ParseLevels(levelsReply());
        firstLevels = mt::LevelsTitle(rows.front().cells[0]);
    }
    Series levels, news, circuit;
    for (int r = 0; r < runs; ++r) {
        // Every row, enabled, and the first row's levels drawn.
        runDialog(app, 11, server, levels, [&](CMarketTurnOver& d) {
            return d.grid() && d.grid()->isEnabled() && d.grid()->model().rowTotal() == kLevelsRows &&
                   d.chart()->title().toStdString() == firstLevels;
        });
        // Every announcement under its scrip's group.
        runDialog(app, 9, server, news, [](CMarketTurnOver& d) {
            const ui::GridModel* m = d.newsGrid() ? &d.newsGrid()->model() : nullptr;
            return m && m->childrenOf(ui::GridModel::kRoot).size() == size_t(kNewsScrips) &&
                   m->ownerTopRows().size() == size_t(kNewsItems);
        });
        runDialog(app, 10, server, circuit, [](CMarketTurnOver& d) {
            return d.grid() && d.grid()->model().rowTotal() == kCircuitRows;
        });
    }

    // ---- the risk report window ----
    tb::BrokerOptions o;
    o.securities = 3000;
    o.keepAliveMs = 0;
    tb::TestBroker broker(o);
    std::string error;
    if (!broker.start(&error)) {
        std::fprintf(stderr, "the test broker did not start: %s\n", error.c_str());
        return 2;
    }
    signIn(broker);
    publishMaster(broker.universe());
    const std::vector<std::vector<std::string>> positions = openPositions(broker.universe());
    broker.riskDesk().editBook("ABC12", [&](tb::RiskBook& b) { b.positions = positions; });
    Series risk;
    for (int r = 0; r < runs; ++r) {
        auto view = std::make_unique<CNetPosition>();
        view->resize(1400, 800);
        view->show();
        app.processEvents();
        ui::GridModel& m = view->grid(CNetPosition::Open)->model();
        // Every position and the total row, the window no longer waiting.
        const auto complete = [&] {
            return !view->isBusy() && m.rowTotal() == kPositions + 1 &&
                   ActiveClientRiskArrays().positions.size() == size_t(kPositions);
        };
        const Figures f = measure(app, [&] { view->OnInitialUpdate(13); }, complete);
        const bool whole = complete();
        risk.all = risk.all && whole;
        if (!whole)
            std::fprintf(stderr, "open positions show %d rows\n", m.rowTotal());
        risk.add(f, bareFill(app, *view->grid(CNetPosition::Open), ownerRows(m)));
        view.reset();
        app.processEvents();
    }
    broker.stop();
    RootInternetSession().setConnectTo({});

    std::printf("bench_lists (median of %d)\n", runs);
    benchverdict::Verdict verdict("bench_lists");
    const auto report = [&](const std::string& what, const Series& s, const std::string& rows) {
        verdict.atMost(what + " shown", median(s.ms), kLimitMs, "ms");
        verdict.atMost(what + ", longest UI stall", median(s.stall), kStallLimitMs, "ms");
        verdict.figure(what + ", longest UI stall beside the bare grid fill", median(s.stall), median(s.bare), "ms",
                       "the same rows filled into a grid at once");
        verdict.require(what + " shows every row", s.all, rows + " a run");
    };
    report("support and resistance, 5,000 rows", levels, std::to_string(kLevelsRows) + " rows");
    report("announcement news, 2,000 items over 500 scrips", news, std::to_string(kNewsItems) + " items");
    report("circuit breaker, 2,000 rows", circuit, std::to_string(kCircuitRows) + " rows");
    report("risk report, 200 open positions", risk, std::to_string(kPositions) + " positions and the total");
    return verdict.finish();
}
