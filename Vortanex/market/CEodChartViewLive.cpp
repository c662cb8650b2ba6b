// The chart view's live side: trades from the feed drained into the live bar,
// the bar rolled on the timer, and the chart kept on its security when the
// security table is downloaded again.

// The server's header before Qt's, as in the view's main file.
#include "server/SecurityTable.h"

#include "market/CEodChartView.h"

#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"

#include "ui/ticker.h"

#include <algorithm>
#include <cmath>

// --- live --------------------------------------------------------------------

bool CEodChartView::followTable()
{
    const auto table = SecurityTable::current();
    if (table.get() == m_tableSeen || m_security < 0 || (m_kind != kChartEod && m_kind != kChartIntraday))
        return true;
    m_tableSeen = table.get();
    const int found = table ? table->searchWToken(m_wtoken) : -1;
    if (found < 0) {
        WriteLog(0, "Chart closed: token " + std::to_string(m_wtoken) + " is no longer in the master");
        FreeAllVariables();
        MsgBoxOk("The security of this chart is no longer available.");
        QWidget* frame = parentWidget() ? parentWidget() : this;
        QMetaObject::invokeMethod(frame, &QWidget::close, Qt::QueuedConnection);
        return false;
    }
    m_security = found;
    std::vector<int> securities;
    if (m_kind == kChartIntraday)
        securities.push_back(found);
    int kept = 0;
    for (int i = 0; i < m_comparedCount; ++i) {
        ChartSeriesSlot& s = m_slots[size_t(i)];
        const int again = table->searchWToken(s.spare);
        if (again < 0)
            continue; // a compared security gone from the master leaves the chart
        s.security = again;
        securities.push_back(again);
        if (kept != i)
            m_slots[size_t(kept)] = s;
        ++kept;
    }
    for (int i = kept; i < m_comparedCount; ++i)
        m_slots[size_t(i)] = ChartSeriesSlot{};
    m_comparedCount = kept;
    m_feed->setSecurities(securities);
    if (m_slot >= 0) {
        FeedSubscriptions::instance().setWindow(m_slot, m_feed, ChartSlotType(m_kind), found);
        FeedSubscriptions::instance().Update_Feeds_Token();
    }
    return true;
}

void CEodChartView::DrainFeed()
{
    if (m_closing || !followTable())
        return;
    for (const ChartTrade& t : m_feed->take())
        UpdateRTFeed(t);
}

void CEodChartView::UpdateRTFeed(const ChartTrade& t)
{
    try {
        if (!ChartDayOf(services().now()).holds(t.time)) {
            WriteLog(1, "Live trade at " + std::to_string(t.time) + " outside the chart's day refused");
            return;
        }
        const double date = ChartDateOfEpoch(t.time);
        if (m_kind == kChartIntraday && t.source == ChartTrade::Security) {
            for (int i = 0; i < m_comparedCount; ++i) {
                ChartSeriesSlot& s = m_slots[size_t(i)];
                if (s.security != t.id)
                    continue;
                chartfeed f;
                f.stamp = double(t.time);
                f.date = date;
                f.close = t.price;
                f.volume = t.quantity;
                s.bars.push_back(f);
                s.values[1] = t.price;
            }
            if (t.id != m_security)
                return;
        } else if (!(m_kind == kChartIndex && t.source == ChartTrade::Index && t.id == m_indexFeedCode)) {
            return;
        }
        chartfeed f;
        f.stamp = double(t.time);
        f.date = date;
        f.close = t.price;
        f.volume = m_kind == kChartIntraday ? t.quantity : 0;
        m_queue.push_back(f);
        UpdateAllDataforIntradayFeeds(date, t.price, f.volume, t.time);
    } catch (...) {
        WriteLog(0, "Exception in UpdateRTFeed [0]:Type [" + std::to_string(m_kind) + "]");
    }
}

void CEodChartView::UpdateAllDataforIntradayFeeds(double chartDate, double price, double quantity, int64_t time)
{
    if (m_interval <= 0 || !(m_style == 500 || m_style == 501 || m_style == 502 || m_style == 503 || m_style == 506))
        return;
    if (m_barLength <= 1) {
        // Tick by tick: every trade is a point of its own, no bars to roll.
        ChartBar b;
        b.date = chartDate;
        b.open = b.high = b.low = b.close = price;
        b.volume = quantity;
        appendBar(b, m_kind == kChartIntraday);
        m_control->redraw();
        return;
    }
    if (!m_liveValid) {
        // The first trade of a chart without history opens its first bar.
        const int64_t start = sessionStart();
        const int64_t len = std::max<int64_t>(m_barLength, 1);
        m_barEnd = time < start ? start + len : start + ((time - start) / len + 1) * len;
        m_live = chartfeed{};
        m_live.open = m_live.high = m_live.low = m_live.close = price;
        m_live.volume = quantity;
        m_live.date = ChartDateOfEpoch(m_barEnd);
        m_liveValid = true;
        drawLiveBar();
        StartChartTimer();
        return;
    }
    if (time >= m_barEnd) {
        rollLiveBar(time);
        m_live.open = m_live.high = m_live.low = m_live.close = price;
        m_live.volume = quantity;
    } else {
        m_live.close = price;
        m_live.high = std::max(m_live.high, price);
        m_live.low = std::min(m_live.low, price);
        m_live.volume += quantity;
    }
    drawLiveBar();
    if (!liveTimerRunning())
        StartChartTimer();
}

void CEodChartView::drawLiveBar()
{
    ChartBar b;
    b.date = m_live.date;
    b.open = m_live.open;
    b.high = m_live.high;
    b.low = m_live.low;
    b.close = m_live.close;
    b.volume = m_live.volume;
    for (int i = 0; i < m_comparedCount; ++i)
        b.compared.push_back(m_slots[size_t(i)].values[1] > 0 ? m_slots[size_t(i)].values[1] : std::nan(""));
    appendBar(b, m_kind == kChartIntraday);
    m_control->redraw();
}

void CEodChartView::rollLiveBar(int64_t until)
{
    const int64_t len = std::max<int64_t>(m_barLength, 1);
    // More than a day of empty bars (a terminal left open overnight) jumps.
    if (until - m_barEnd > 86400)
        m_barEnd += (until - m_barEnd) / len * len;
    while (until >= m_barEnd) {
        m_barEnd += len;
        const double close = m_live.close;
        m_live.open = m_live.high = m_live.low = m_live.close = close;
        m_live.volume = 0;
        m_live.date = ChartDateOfEpoch(m_barEnd);
        if (until >= m_barEnd)
            drawLiveBar();
        if (++m_liveBars % 50 == 0)
            syncScrollRange();
    }
}

bool CEodChartView::liveTimerRunning() const
{
    return m_ticker->running(kLiveTimer);
}

void CEodChartView::StartChartTimer()
{
    if (m_ticker->running(kLiveTimer)) {
        m_ticker->stop(kLiveTimer);
    }
    m_ticker->start(kLiveTimer, 1000);
    WriteLog(0, "Timer started with " + std::to_string(m_interval) + " interval time for ChartNo:" +
                    std::to_string(m_slot) + " Security" + m_displayName);
    AppendLiveBar();
}

void CEodChartView::AppendLiveBar()
{
    if (!m_liveValid)
        return;
    const int64_t now = services().now();
    if (now < m_barEnd)
        return;
    if (!services().feedConnected()) {
        StopChartTimer();
        return;
    }
    rollLiveBar(now);
    drawLiveBar();
}

void CEodChartView::StopChartTimer()
{
    if (m_ticker->running(kLiveTimer)) {
        m_ticker->stop(kLiveTimer);
        WriteLog(0, "Charting stopped because feeds disconnected");
    }
}
