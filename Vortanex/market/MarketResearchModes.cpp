// The market dialog's market scanner (mode 6), indices tracker (mode 7) and
// market cluster (mode 8).
#include "market/CMarketTurnOver.h"

#include "app/base/ActivityStamp.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/TextFormat.h"
#include "frame/controls/CMyListCtrl.h"
#include "market/MarketChart.h"
#include "market/MarketFeed.h"
#include "server/FeedSubscriptions.h"
#include "server/MarketLookups.h"
#include "server/RequestServerAccess.h"
#include "server/SecurityTable.h"
#include "watch/base/WatchlistTable.h"

#include "pf/clock.h"
#include "pf/threads.h"
#include "ui/grid_ranges.h"
#include "ui/text_fit.h"
#include "ui/ticker.h"
#include "ui/ui_thread.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QStyle>
#include <QTreeWidget>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>

// The scanner's or cluster's stocks as the feed sees them: a window of the
// open-window table that shows no list of its own, so the subscription
// rebuild takes its securities once each and drops them when it goes.
struct CMarketTurnOver::Feed final : FeedWindow {
    bool isClosing() const override { return closing.load(std::memory_order_acquire); }
    std::vector<int> feedSecurities() const override
    {
        std::lock_guard lock(mutex);
        return securities;
    }
    std::atomic<bool> closing{false};
    mutable std::mutex mutex;
    std::vector<int> securities; // guarded by mutex
    int slot = -1;
};

// The tracker's index broadcasts, put by the feed threads.
struct CMarketTurnOver::IndexBox {
    std::shared_ptr<IndexTicks> ticks = std::make_shared<IndexTicks>();
};

namespace market_research_modes_detail {
namespace {

constexpr int kIndexTimer = 2;

ServerAccess& programServer()
{
    static RequestServerAccess access;
    return access;
}

// The index of the watch list of this name (-1 none).
int listNamed(const std::string& name)
{
    WatchlistTable& table = WatchlistTable::instance();
    for (int i = 0; i < table.count(); ++i) {
        const WatchlistRecord r = table.record(i);
        if (name == r.name)
            return i;
    }
    return -1;
}

double changeOf(const IndexRecord& r) { return r.values[6] / 100.0; }

} // namespace
} // namespace market_research_modes_detail

CMarketTurnOver* CMarketTurnOver::openResearch(int mode)
{
    if (!m_list)
        return nullptr;
    const std::vector<int> rows = ui::selectedRowIds(*m_list);
    if (rows.empty())
        return nullptr;
    const std::string name = m_list->model().text(rows.front(), 0).toStdString();
    const auto it = m_map.find(name);
    if (it == m_map.end())
        return nullptr;
    if (market_research_modes_detail::listNamed(it->second.name) < 0) {
        MsgBoxStyle("Index Details not available", MsgOk | MsgIconWarning);
        return nullptr;
    }
    if (instance(mode)) {
        MsgBoxStyle(mode == 6 ? "Only one Market scanner window can be opened at a time from here"
                              : "Only one Market Cluster window can be opened at a time from here",
                    MsgOk | MsgIconWarning);
        return nullptr;
    }
    return Open(mode, this, name, &m_map, m_server);
}

void CMarketTurnOver::researchSetup()
{
    if (m_mode == 6)
        InitMarketScanner();
    else if (m_mode == 8)
        InitMarketCluster();
}

void CMarketTurnOver::InitMarketScanner()
{
    ui::GridModel& model = m_list->model();
    model.clearRows();
    model.setColumns({"Name", "LTP", "% Change", "Bid Prc", "Ask Prc"});
    m_list->setColumnWidth(0, 322);
    for (int c = 1; c < 5; ++c)
        m_list->setColumnWidth(c, 62);
    control(kChart)->setGeometry(0, 30, 595, 175);
    control(kList)->setGeometry(0, 210, 595, 205);
    initIndexPicker(" Market Scanner");
    DisplayScanner(m_initial);
    setText(kStatus, mt::kScannerHint);
    DrawScannerBubbleChart();
}

bool CMarketTurnOver::indexStocks(const std::string& name, std::vector<mt::IndexStock>& stocks)
{
    stocks.clear();
    const int list = market_research_modes_detail::listNamed(name);
    if (list < 0) {
        MsgBoxStyle("Index Details Not available", MsgOk | MsgIconWarning);
        return false;
    }
    const WatchlistRecord record = WatchlistTable::instance().record(list);
    if (CountWatchRows(record) == 0) {
        // The list's rows are fetched once, off the UI thread; the mode's
        // fill runs again when they are in.
        if (!m_listLoading) {
            m_listLoading = true;
            QPointer<CMarketTurnOver> self(this);
            ServerAccess* server = m_server;
            const bool started = pf::Worker::start("MarketIndexList", [self, server, list] {
                Get_Watchlist_Details(server ? *server : market_research_modes_detail::programServer(), list, 0, "");
                ui::UiThread::post([self] {
                    if (!self)
                        return;
                    self->m_listLoading = false;
                    if (self->m_mode == 6) {
                        self->DisplayScanner(self->m_selected);
                        self->DrawScannerBubbleChart();
                    } else if (self->m_mode == 8) {
                        self->DrawMarketCluster();
                    }
                });
            });
            if (!started)
                m_listLoading = false;
        }
        return true;
    }
    std::shared_ptr<SecurityTable> table = SecurityTable::current();
    for (const WatchRowEntry& row : record.rows) {
        if (!WatchRowCounts(row))
            continue;
        mt::IndexStock s;
        if (table && table->valid(row.securityIndex)) {
            const SecurityRecord& sec = table->row(row.securityIndex);
            const QuoteData q = sec.quote();
            s.security = row.securityIndex;
            s.key = std::string(sec.displayKey().view());
            s.bid = q.quote[0] / 100.0;
            s.ask = q.quote[2] / 100.0;
            s.last = q.quote[4] / 100.0;
            s.change = q.quote[10] / 100.0;
        }
        stocks.push_back(std::move(s));
    }
    std::vector<int> securities;
    for (const mt::IndexStock& s : stocks)
        if (s.security >= 0)
            securities.push_back(s.security);
    subscribe(securities);
    return true;
}

void CMarketTurnOver::subscribe(const std::vector<int>& securities)
{
    FeedSubscriptions& subs = FeedSubscriptions::instance();
    if (!m_feed) {
        auto feed = std::make_shared<Feed>();
        feed->slot = subs.getClientDlg();
        if (feed->slot < 0)
            return;
        subs.setWindow(feed->slot, feed, kWindowOtherWatch, -1);
        m_feed = feed;
    }
    {
        std::lock_guard lock(m_feed->mutex);
        if (m_feed->securities == securities)
            return;
        m_feed->securities = securities;
    }
    subs.Update_Feeds_Token();
}

void CMarketTurnOver::releaseFeed()
{
    if (m_indexBox) {
        MarketFeed::setIndexSink(MarketFeed::IndicesTracker, nullptr);
        m_indexBox.reset();
    }
    if (!m_feed)
        return;
    m_feed->closing.store(true, std::memory_order_release);
    FeedSubscriptions& subs = FeedSubscriptions::instance();
    subs.RemoveWatchInfoDlgRef(m_feed->slot);
    subs.releaseSlot(m_feed->slot);
    subs.Update_Feeds_Token();
    m_feed.reset();
}

std::vector<int> CMarketTurnOver::feedSecurities() const { return m_feed ? m_feed->feedSecurities() : std::vector<int>{}; }

void CMarketTurnOver::DisplayScanner(const std::string& name)
{
    m_list->model().clearRows();
    m_rowSecurities.clear();
    const auto it = m_map.find(name);
    if (it == m_map.end()) {
        m_bucketFilter = false;
        return;
    }
    WriteLog(0, formatText("DisplayTurnoverData : [%s] [%s]", name.c_str(), it->second.name.c_str()));
    std::vector<mt::IndexStock> stocks;
    if (!indexStocks(it->second.name, stocks)) {
        m_bucketFilter = false;
        return;
    }
    setWindowTitle(QString::fromStdString(it->second.label + " Market Scanner"));
    const mt::ScannerFill fill = mt::FillScanner(stocks, m_bucketFilter ? &m_band : nullptr);
    if (m_bucketFilter) {
        // The prices have moved since the bubbles were counted: they are
        // counted again from the prices the list shows, so the bubble of the
        // band says how many stocks its list has.
        m_buckets = mt::FillScanner(stocks, nullptr).buckets;
        DrawScannerBubbleChart();
    } else {
        m_buckets = fill.buckets;
        // The stocks subscribed just now have no quote until the feed sends
        // their first: without a second fill the scanner would count only
        // those some other window had asked for before.
        std::vector<int> waiting;
        for (const mt::IndexStock& s : stocks)
            if (s.security >= 0 && s.last == 0)
                waiting.push_back(s.security);
        awaitFirstQuotes(std::move(waiting));
    }
    m_rowSecurities = fill.securities;
    fillRows(fill.rows);
    m_bucketFilter = false;
}

SecurityReload::Outcome CMarketTurnOver::followReload(const SecurityTable& before, const SecurityTable& after)
{
    const auto again = [&](std::vector<int>& securities, bool keepGone) {
        std::vector<int> kept;
        for (int s : securities) {
            const int found = ReresolveSecurity(before, after, s);
            if (found >= 0 || keepGone)
                kept.push_back(found);
        }
        securities = std::move(kept);
    };
    // A row keeps its place: its security, or -1 when gone (its menu then
    // finds the security by the row's display key, or shows none).
    again(m_rowSecurities, true);
    again(m_awaitingQuotes, false);
    if (m_security >= 0)
        m_security = ReresolveSecurity(before, after, m_security);
    if (m_feed) {
        std::lock_guard lock(m_feed->mutex);
        again(m_feed->securities, false); // the feed's lists are rebuilt after every holder
    }
    if (m_mode == 8 && m_chart && !m_chart->points().empty()) {
        std::vector<MarketChart::Point> points;
        double largest = 0;
        for (MarketChart::Point p : m_chart->points()) {
            p.tag = ReresolveSecurity(before, after, p.tag);
            if (p.tag < 0)
                continue;
            largest = std::max(largest, p.x);
            points.push_back(std::move(p));
        }
        m_chart->setCluster(points, largest);
    }
    return {};
}

void CMarketTurnOver::awaitFirstQuotes(std::vector<int> securities)
{
    m_awaitingQuotes = std::move(securities);
    if (m_awaitingQuotes.empty()) {
        m_ticker->stop(kFirstQuotesTimer);
        return;
    }
    m_awaitUntil = pf::clock().nowMillis() + kFirstQuotesMs;
    m_ticker->start(kFirstQuotesTimer, 500);
}

void CMarketTurnOver::checkFirstQuotes()
{
    if (m_mode != 6 || m_awaitingQuotes.empty() || pf::clock().nowMillis() >= m_awaitUntil) {
        m_awaitingQuotes.clear();
        m_ticker->stop(kFirstQuotesTimer);
        return;
    }
    const std::shared_ptr<SecurityTable> table = SecurityTable::current();
    const bool arrived = table && std::any_of(m_awaitingQuotes.begin(), m_awaitingQuotes.end(), [&](int s) {
                             return table->valid(s) && table->row(s).quote().quote[4] != 0;
                         });
    if (!arrived)
        return;
    // As "Rate Refresh" would: the whole index again, its bubbles counted
    // from the rows listed.
    DisplayScanner(m_selected);
    DrawScannerBubbleChart();
}

void CMarketTurnOver::DrawScannerBubbleChart()
{
    std::vector<MarketChart::Point> points;
    for (const mt::Bubble& b : mt::ScannerBubbles(m_buckets)) {
        MarketChart::Point p;
        p.x = b.x;
        p.y = b.y;
        p.size = b.size;
        p.label = QString::fromStdString(b.label);
        points.push_back(p);
    }
    m_chart->setBubbles("% Change", points);
}

void CMarketTurnOver::InitMarketCluster()
{
    control(kChart)->setGeometry(0, 30, 595, 380);
    showControl(kList, false);
    initIndexPicker(" Market Cluster");
    setText(kStatus, mt::kClusterHint);
    DrawMarketCluster();
}

void CMarketTurnOver::initIndexPicker(const char* titleSuffix)
{
    control(kSelector)->setGeometry(3, 3, 200, 20);
    control(kRefresh)->setGeometry(205, 3, 100, 20);
    setText(kRefresh, "Rate Refresh");
    control(kSave)->setGeometry(310, 3, 80, 20);
    control(kStatus)->setGeometry(0, 420, 550, 50);
    for (int id : {kSelectorLabel, kNote})
        showControl(id, false);
    setGeometry(200, 200, 600, 480);
    std::vector<std::string> names;
    for (const auto& [name, r] : m_map)
        if (!name.empty())
            names.push_back(name);
    setComboItems(kSelector, names);
    if (m_initial.empty() && !names.empty())
        m_initial = names.back();
    const int at = mt::FirstStartingWith(names, m_initial);
    if (at >= 0)
        setComboIndex(kSelector, at);
    m_selected = at >= 0 ? names[static_cast<size_t>(at)] : m_initial;
    setWindowTitle(QString::fromStdString(m_initial + titleSuffix));
}

void CMarketTurnOver::DrawMarketCluster()
{
    const std::vector<std::string> items = comboItems(kSelector);
    const int at = comboIndex(kSelector);
    if (at < 0 || static_cast<size_t>(at) >= items.size()) {
        m_chart->setCluster({}, 0);
        return;
    }
    const auto it = m_map.find(items[static_cast<size_t>(at)]);
    if (it == m_map.end())
        return;
    std::vector<mt::IndexStock> stocks;
    if (!indexStocks(it->second.name, stocks))
        return;
    setWindowTitle(QString::fromStdString(it->second.name + " Market Cluster"));
    m_buckets.clear();
    double largest = 0;
    std::vector<MarketChart::Point> points;
    for (const mt::ClusterPoint& c : mt::ClusterPoints(stocks, largest)) {
        MarketChart::Point p;
        p.x = c.x;
        p.y = c.y;
        p.tag = c.security;
        p.label = QString::fromStdString(c.label);
        points.push_back(p);
    }
    m_chart->setCluster(points, largest);
}

void CMarketTurnOver::OnChartHover(int point)
{
    if (m_mode == 6) {
        if (point < 0 || static_cast<size_t>(point) >= m_chart->points().size()) {
            setText(kStatus, mt::kScannerHint);
            return;
        }
        m_band = static_cast<int>(std::lround(m_chart->points()[static_cast<size_t>(point)].x));
        setText(kStatus, mt::ScannerBandHint(m_band));
    } else if (m_mode == 8 && point < 0) {
        setText(kStatus, mt::kClusterHint);
    }
}

void CMarketTurnOver::OnChartRelease(int point, Qt::MouseButton button)
{
    if (point < 0 || static_cast<size_t>(point) >= m_chart->points().size())
        return;
    const MarketChart::Point& p = m_chart->points()[static_cast<size_t>(point)];
    if (m_mode == 6) {
        m_band = static_cast<int>(std::lround(p.x));
        m_bucketFilter = true;
        // The list shows the band the user chose until they ask for all again.
        awaitFirstQuotes({});
        const std::vector<std::string> items = comboItems(kSelector);
        const int at = comboIndex(kSelector);
        if (at >= 0 && static_cast<size_t>(at) < items.size())
            m_selected = items[static_cast<size_t>(at)];
        DisplayScanner(m_selected);
        setText(kStatus, mt::ScannerBandShowing(m_band));
    } else if (m_mode == 8) {
        std::shared_ptr<SecurityTable> table = SecurityTable::current();
        if (!table || !table->valid(p.tag))
            return;
        setText(kStatus, "Right click to get details for " + std::string(table->row(p.tag).displayKey().view()));
        if (button == Qt::RightButton)
            ShowScripMenu(p.tag);
    }
}

void CMarketTurnOver::OnScannerRowRightClick()
{
    const std::vector<int> rows = ui::selectedRowIds(*m_list);
    if (rows.empty())
        return;
    const int position = m_list->model().positionOf(rows.front());
    // The row's own security; the display key and the index's exchange find
    // it when the rows were re-sorted.
    int security = position >= 0 && static_cast<size_t>(position) < m_rowSecurities.size()
        ? m_rowSecurities[static_cast<size_t>(position)]
        : -1;
    const std::string key = m_list->model().text(rows.front(), 0).toStdString();
    std::shared_ptr<SecurityTable> table = SecurityTable::current();
    if (!table || !table->valid(security) || key != table->row(security).displayKey().view()) {
        std::string exchange = "NN";
        for (const IndexRecord& r : IndexTable::instance().entries())
            if (m_selected == r.name)
                exchange = r.exchange;
        security = Search_ScripKey(key, exchange);
    }
    m_security = security;
    if (security >= 0)
        ShowScripMenu(security);
}

// ---- indices tracker ---------------------------------------------------------

void CMarketTurnOver::InitIndicesTracker()
{
    setGeometry(200, 200, 500, 300);
    setWindowTitle("Indices Tracker");
    for (int id : {kRefresh, kSave, kSelector, kSelectorLabel, kList, kNote, kStatus})
        showControl(id, false);
    control(kChart)->setGeometry(155, 3, 345, 265);
    const std::vector<IndexRecord> indices = IndexTable::instance().entries();
    m_trackerSlots = mt::DefaultTrackerSlots(static_cast<int>(indices.size()));
    QStringList names;
    for (const IndexRecord& r : indices)
        names << QString::fromUtf8(r.name);

    m_props = new QTreeWidget(this);
    m_props->setObjectName("TrackerProperties");
    m_props->setColumnCount(2);
    m_props->setHeaderLabels({"Property", "Value"});
    m_props->setGeometry(0, 3, 150, 235);
    auto* group = new QTreeWidgetItem(m_props, QStringList{"Indices"});
    m_slotCombos.clear();
    for (int i = 0; i < mt::kTrackerSlots; ++i) {
        auto* item = new QTreeWidgetItem(group, QStringList{QString::number(i + 1)});
        item->setToolTip(0, "Index Data for the Indices Meter");
        auto* combo = new QComboBox(m_props);
        combo->addItems(names); // a choice of the table's names only
        combo->setEditable(false);
        const int index = m_trackerSlots[static_cast<size_t>(i)];
        combo->setCurrentIndex(index);
        m_props->setItemWidget(item, 1, combo);
        connect(combo, &QComboBox::activated, this, [this, i, combo](int) {
            OnTrackerSlotChange(i, combo->currentText().toStdString());
        });
        m_slotCombos.push_back(combo);
    }
    m_props->expandAll();
    // Every index name reads whole in its box, and the group's caption in
    // its column: the list is as wide as they need (with the list's frame
    // and scroll bar), and the chart and the window move over by what it
    // takes beyond the layout's.
    const int nameWidth = std::max(60, m_props->indentation() + 12 +
                                           m_props->fontMetrics().horizontalAdvance(group->text(0)));
    m_props->header()->resizeSection(0, nameWidth);
    int valueWidth = 90;
    for (QComboBox* combo : m_slotCombos) {
        combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        valueWidth = std::max(valueWidth, combo->sizeHint().width());
    }
    m_props->header()->resizeSection(1, valueWidth);
    ui::fitHeaderSections(*m_props->header());
    const int listWidth = std::max(150, m_props->header()->sectionSize(0) + m_props->header()->sectionSize(1) +
                                            2 * m_props->frameWidth() +
                                            m_props->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_props));
    const int more = listWidth - 150;
    m_props->setGeometry(0, 3, listWidth, 235);
    control(kChart)->setGeometry(155 + more, 3, 345, 265);
    resize(500 + more, 300);
    auto* description = new QLabel("Index Data for the Indices Meter", this);
    description->setGeometry(0, 240, listWidth, 28);
    description->setWordWrap(true);
    m_props->show();
    description->show();

    m_indexBox = std::make_shared<IndexBox>();
    MarketFeed::setIndexSink(MarketFeed::IndicesTracker, m_indexBox->ticks);
    m_ticker->start(market_research_modes_detail::kIndexTimer, 500);
    auto previous = m_ticker->onTick;
    m_ticker->onTick = [this, previous](int id) {
        if (id == market_research_modes_detail::kIndexTimer)
            drainIndexTicks();
        else if (previous)
            previous(id);
    };
    DrawIndicesTracker();
}

void CMarketTurnOver::DrawIndicesTracker()
{
    std::vector<double> changes;
    for (const IndexRecord& r : IndexTable::instance().entries())
        changes.push_back(market_research_modes_detail::changeOf(r));
    std::vector<QString> labels{QString()};
    for (int i = 1; i <= mt::kTrackerSlots; ++i)
        labels.push_back(QString::number(i));
    m_chart->setArea("% Change", labels, mt::TrackerValues(m_trackerSlots, changes));
}

void CMarketTurnOver::OnTrackerSlotChange(int slot, const std::string& indexName)
{
    if (slot < 0 || slot >= static_cast<int>(m_trackerSlots.size()))
        return;
    const std::vector<IndexRecord> indices = IndexTable::instance().entries();
    for (size_t i = 0; i < indices.size(); ++i)
        if (indexName == indices[i].name) {
            m_trackerSlots[static_cast<size_t>(slot)] = static_cast<int>(i);
            break;
        }
    DrawIndicesTracker();
}

void CMarketTurnOver::UpdateIndicesTracker(const IndexRecord& index)
{
    if (m_mode != 7 || !m_chart)
        return;
    for (int point : mt::TrackerPointsOf(m_trackerSlots, index.number))
        m_chart->setPointValue(point, market_research_modes_detail::changeOf(index));
}

void CMarketTurnOver::drainIndexTicks()
{
    if (!m_indexBox)
        return;
    m_indexBox->ticks->drain([this](int, IndexRecord& r) { UpdateIndicesTracker(r); });
}
