#include "market/MarketFeed.h"
#include "server/SecurityTable.h"

#include "market/CScripLastTick.h"

#include "app/base/ActivityStamp.h"
#include "app/base/FigureText.h"
#include "app/base/LogWriter.h"
#include "app/base/TextFormat.h"
#include "frame/FrameThemes.h"
#include "frame/controls/CMyListCtrl.h"

#include "ui/modal_host.h"
#include "ui/ticker.h"

#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>
#include <ctime>

struct CScripLastTick::Box {
    std::shared_ptr<TradeTicks> ticks = std::make_shared<TradeTicks>();
};

namespace scrip_last_tick_detail {
namespace {

CScripLastTick* g_pScripLastTick = nullptr; // UI thread

ui::FormSpec lastTickSpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = CScripLastTick::kTemplateId;
    spec.name = "CScripLastTick";
    spec.caption = "Scrip Movement";
    spec.width = 330;
    spec.height = 200;
    spec.controls = {
        {-1, ControlKind::Label, "Trade Qty >= ", {4, 6, 50, 10}},
        {CScripLastTick::kFilterEdit, ControlKind::Edit, "0", {56, 4, 60, 12}, ui::EditRules{false, 127, "", false}},
        {CScripLastTick::kFilterButton, ControlKind::Button, "Set Filter", {120, 4, 50, 14}},
        {CScripLastTick::kList, ControlKind::Static, "", {4, 22, 322, 174}},
    };
    return spec;
}

double unsignedZero(double v)
{
    return v == 0 ? 0.0 : v;
}

} // namespace
} // namespace scrip_last_tick_detail

CScripLastTick::CScripLastTick(QWidget* parent)
    : ui::Form(scrip_last_tick_detail::lastTickSpec(), parent), m_box(std::make_shared<Box>())
{
    setAttribute(Qt::WA_DeleteOnClose);
    scrip_last_tick_detail::g_pScripLastTick = this;
    m_reload = SecurityReload::instance().add("last trades", [this](const SecurityTable&, SecurityTable&) {
        followTable();
        return SecurityReload::Outcome{};
    });
    if (QWidget* holder = control(kList)) {
        auto* layout = new QVBoxLayout(holder);
        layout->setContentsMargins(0, 0, 0, 0);
        m_list = new CMyListCtrl(holder);
        layout->addWidget(m_list);
    }
    m_ticker = new ui::Ticker(this);
    m_ticker->onTick = [this](int) { OnTimer(); };
    onClick(kFilterButton, [this] { OnFilter(); });
    MarketFeed::setLastTradesSink(m_box->ticks);
}

CScripLastTick::~CScripLastTick()
{
    if (scrip_last_tick_detail::g_pScripLastTick == this) {
        scrip_last_tick_detail::g_pScripLastTick = nullptr;
        MarketFeed::setLastTradesSink(nullptr);
    }
}

CScripLastTick* CScripLastTick::instance()
{
    return scrip_last_tick_detail::g_pScripLastTick;
}

CScripLastTick* CScripLastTick::Open(QWidget* parent)
{
    if (CScripLastTick* open = instance()) {
        open->show();
        open->raise();
        open->activateWindow();
        return open;
    }
    auto* window = new CScripLastTick(parent);
    ui::modalHost().showModeless(*window);
    return window;
}

void CScripLastTick::onInit()
{
    try {
        SetAccessTime();
        if (m_list) {
            m_list->model().setColumns({"Security Name", "ME", "LTP", "Trade Qty", "Trade Value", "Trade Time"});
            const int widths[6] = {150, 50, 80, 80, 80, 120};
            for (int c = 0; c < 6; ++c)
                m_list->setColumnWidth(c, widths[c]);
            m_list->ResetSortState(IsDarkTheme() ? 8 : 0);
        }
        m_filter = 0;
        setText(kFilterEdit, "0");
        m_ticker->start(kTimerId, kTimerMs);
    } catch (...) {
    }
}

void CScripLastTick::followTable()
{
    // After a security re-download the rows' security indices name other
    // securities: the list starts again with the new table's trades.
    const auto table = SecurityTable::current();
    if (table.get() != m_tableSeen) {
        if (m_tableSeen && m_list) {
            m_list->model().clearRows();
            m_box->ticks->clear();
            WriteLog(0, "Last trades emptied: the security file was downloaded again");
        }
        m_tableSeen = table.get();
    }
}

void CScripLastTick::OnTimer()
{
    followTable();
    std::vector<std::pair<int, LastTradeTick>> batch;
    m_box->ticks->drain([&](int security, LastTradeTick& t) { batch.emplace_back(security, t); });
    // The box lists securities by their first update; the list wants the
    // latest trade on top, so the batch goes in by arrival of its last update.
    std::sort(batch.begin(), batch.end(),
              [](const auto& a, const auto& b) { return a.second.sequence < b.second.sequence; });
    for (const auto& [security, trade] : batch)
        UpdateList(security, trade);
}

int CScripLastTick::UpdateList(int security, const LastTradeTick& trade)
{
    try {
        if (!m_list || trade.quantity < m_filter)
            return 0;
        const auto table = SecurityTable::current();
        if (!table || !table->valid(security))
            return 0;
        const SecurityRecord& rec = table->row(security);
        ui::GridModel& m = m_list->model();
        for (int id : m.childrenOf(ui::GridModel::kRoot))
            if (const int* s = m.rowDataAs<int>(id); s && *s == security) {
                m.removeRow(id);
                break;
            }
        const int row = m.insertRow(0);
        m.setRowData(row, security);
        const DisplayKey key = rec.displayKey();
        m.setText(row, 0, QString::fromUtf8(key.view().data(), int(key.view().size())));
        m.setText(row, 1, QString::fromUtf8(rec.market_exchange.view().data(), int(rec.market_exchange.view().size())));
        // A currency's price and value have four decimals.
        const int currency = rec.currency != 0 ? 1 : 0;
        m.setText(row, 2, QString::fromStdString(securityFigureText(trade.lastPrice / 100, currency)));
        m.setText(row, 3, QString::fromStdString(formatText("%0.lf", scrip_last_tick_detail::unsignedZero(trade.quantity))));
        m.setText(row, 4, QString::fromStdString(securityFigureText(trade.quantity * trade.lastPrice / 100, currency)));
        const time_t when = static_cast<time_t>(trade.time);
        struct tm t {};
        localtime_r(&when, &t);
        m.setText(row, 5, QString::fromStdString(formatText("%02d-%02d-%d %02d:%02d:%02d", t.tm_mday, t.tm_mon + 1,
                                                            t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec)));
    } catch (...) {
        WriteLog(0, "Exception in UpdateList(SLT)");
    }
    return 0;
}

void CScripLastTick::OnFilter()
{
    const std::string typed = text(kFilterEdit).substr(0, 127);
    m_filter = std::atoi(typed.c_str());
    if (m_filter >= 1) {
        WriteLog(3, formatText("OnFilter :%d", m_filter));
        if (m_list)
            m_list->model().clearRows();
    }
}

void CScripLastTick::MyUpdate(int code)
{
    (void)code;
    if (!m_list)
        return;
    m_list->ApplyFont();
    m_list->update();
}

void CScripLastTick::reject()
{
    OnCancel();
}

void CScripLastTick::OnCancel()
{
    if (m_closed)
        return;
    m_closed = true;
    m_ticker->stopAll();
    if (scrip_last_tick_detail::g_pScripLastTick == this) {
        scrip_last_tick_detail::g_pScripLastTick = nullptr;
        MarketFeed::setLastTradesSink(nullptr);
    }
    ui::Form::reject();
    close();
}
