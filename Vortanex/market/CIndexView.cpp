#include "market/MarketFeed.h"
#include "server/FeedSubscriptions.h"
#include "server/SecurityTable.h"

#include "market/CIndexView.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/LogWriter.h"
#include "app/base/TextFormat.h"
#include "frame/CMainFrame.h"
#include "frame/controls/CMyGridCtrl.h"
#include "market/CIndicesDlg.h"
#include "market/IndexDisplay.h"
#include "market/MarketHooks.h"

#include "ui/document_area.h"
#include "ui/prompter.h"
#include "ui/rgb.h"
#include "ui/ticker.h"

#include <QContextMenuEvent>
#include <QAbstractProxyModel>
#include <QMdiSubWindow>
#include <QTreeView>

#include <cstring>

struct CIndexView::Box {
    std::shared_ptr<IndexTicks> ticks = std::make_shared<IndexTicks>();
};

namespace index_view_detail {
namespace {

CIndexView* g_indexView = nullptr; // UI thread

std::string fixed(const char* text, size_t size)
{
    return std::string(text, strnlen(text, size));
}

} // namespace
} // namespace index_view_detail

CIndexView::CIndexView(QWidget* parent) : QWidget(parent), m_box(std::make_shared<Box>())
{
    setObjectName("CIndexView");
    setWindowTitle("Indices Watchlist");
    m_ticker = new ui::Ticker(this);
    m_ticker->onTick = [this](int) { OnTimer(); };
}

CIndexView::~CIndexView()
{
    FreeAllVariables();
    // The subscription falls back to the bar's four indices.
    if (CIndicesDlg* bar = CIndicesDlg::instance())
        bar->RebuildIndexTokens();
}

CIndexView* CIndexView::instance()
{
    return index_view_detail::g_indexView;
}

void CIndexView::OnInitialUpdate()
{
    WriteLog(3, "Entry in CIndexView::OnInitialUpdate");
    try {
        index_view_detail::g_indexView = this;
        SetAccessTime();
        FeedSubscriptions& subs = FeedSubscriptions::instance();
        m_slot = subs.getClientDlg();
        if (m_slot < 0)
            return;
        subs.setWindow(m_slot, nullptr, 7, -1);
        m_grid = new CMyGridCtrl(this);
        m_grid->model().setColumns({"Name", "ME", "Icon", "Index Value", "High", "Low", "Open", "Close", "Net Chg",
                                    "% Change", "Yearly High", "Yearly Low"});
        const int widths[12] = {120, 65, 20, 80, 80, 80, 80, 80, 80, 80, 80, 80};
        for (int c = 0; c < 12; ++c)
            m_grid->setColumnWidth(c, widths[c]);
        m_grid->SetDataIconSet(0, 0);
        m_grid->setDefaultColours(ui::rgbOf(g_AppSettings.normal_text_colour),
                                  ui::rgbOf(g_AppSettings.normal_back_colour));
        m_menuEntries = false;
        MarketFeed::setIndexSink(MarketFeed::IndexView, m_box->ticks);
        OnRefresh();
        m_ticker->start(kTimerId, kTimerMs);
        m_grid->setGeometry(rect().adjusted(2, 2, -2, -2));
        m_grid->show();
    } catch (...) {
        WriteLog(0, "Exception while Getting Index Details...");
    }
    WriteLog(3, "Exit: CIndexView::OnInitialUpdate");
}

void CIndexView::OnRefresh()
{
    try {
        if (!m_grid)
            return;
        ui::GridModel& m = m_grid->model();
        m.clearRows();
        const std::vector<IndexRecord> indices = IndexTable::instance().entries();
        const auto table = SecurityTable::current();
        m_rowIds.assign(indices.size(), -1);
        std::string tokens;
        int count = 0;
        const ui::Rgb text = ui::rgbOf(g_AppSettings.normal_text_colour);
        for (size_t i = 0; i < indices.size(); ++i) {
            const IndexRecord& r = indices[i];
            const int row = m.addRow();
            const std::string exch = index_view_detail::fixed(r.exchange, sizeof r.exchange);
            m.setText(row, 0, QString::fromStdString(index_view_detail::fixed(r.name, sizeof r.name)));
            m.setText(row, 1, QString::fromStdString(IndexExchangeName(exch)));
            for (int v = 0; v < 9; ++v)
                m.setText(row, 3 + v, QString::fromStdString(IndexValueText(r.values[static_cast<size_t>(v)], exch)));
            for (int c = 0; c < 12; ++c)
                m.setTextColour(row, c, text);
            m.setIcon(row, 2, 45);
            m.setRowData(row, static_cast<int>(i));
            m_rowIds[i] = row;
            const int rowNumber = m.positionOf(row);
            IndexTable::instance().change(static_cast<int>(i),
                                          [rowNumber](IndexRecord& e) { e.gridRowNumber = rowNumber; });
            if (table && table->valid(r.securityIndex))
                tokens += std::to_string(table->row(r.securityIndex).wtoken) + ",";
            else
                tokens += "0,";
            ++count;
        }
        FeedSubscriptions::instance().SetIndexTokenList(tokens, count);
        UpdateTokensThread(1);
    } catch (...) {
        WriteLog(0, "Exception in CIndexView::OnRefresh");
    }
}

void CIndexView::UpdateIndex(int rowNumber, const IndexRecord& index)
{
    try {
        if (rowNumber < 0 || !m_grid || index.number < 0 || static_cast<size_t>(index.number) >= m_rowIds.size())
            return;
        const int row = m_rowIds[static_cast<size_t>(index.number)];
        if (row < 0)
            return;
        ui::GridModel& m = m_grid->model();
        const AppSettings& s = g_AppSettings;
        uint32_t back = s.normal_back_colour;
        const int h = IndexHighlight(index.values[6], s.gain_threshold, s.loss_threshold);
        if (h == 1)
            back = s.gain_colour;
        else if (h == 2)
            back = s.loss_colour;
        if (h != 0) {
            bool first = false;
            IndexTable::instance().change(index.number, [&first](IndexRecord& e) {
                first = e.flag == 0;
                e.flag = 1;
            });
            if (first)
                for (int c = 0; c < 3; ++c) {
                    m.setTextColour(row, c, ui::rgbOf(s.normal_text_colour));
                    m.setBackColour(row, c, ui::rgbOf(back));
                }
        }
        const std::string exch = index_view_detail::fixed(index.exchange, sizeof index.exchange);
        for (int v = 0; v < 9; ++v) {
            const short tick = index.ticks[static_cast<size_t>(v)];
            if (tick == 0)
                continue;
            const int col = 3 + v;
            if (tick == 1) {
                m.setTextColour(row, col, ui::rgbOf(s.normal_text_colour));
                m.setBackColour(row, col, ui::rgbOf(back));
            } else if (tick == 2) {
                m.setTextColour(row, col, ui::rgbOf(s.up_text_colour));
                m.setBackColour(row, col, ui::rgbOf(s.up_back_colour));
            } else if (tick == 3) {
                m.setTextColour(row, col, ui::rgbOf(s.down_text_colour));
                m.setBackColour(row, col, ui::rgbOf(s.down_back_colour));
            }
            m.setText(row, col, QString::fromStdString(IndexValueText(index.values[static_cast<size_t>(v)], exch)));
        }
        m.setIcon(row, 2, IndexDirectionIcon(index.ticks[5]));
        ++m_pendingRedraw;
    } catch (...) {
        WriteLog(0, "Exception in UpdateIndex");
    }
}

void CIndexView::OnTimer()
{
    m_box->ticks->drain([this](int, IndexRecord& r) {
        const int row = rowOf(r.number);
        UpdateIndex(row >= 0 && m_grid ? m_grid->model().positionOf(row) : -1, r);
    });
    if (m_pendingRedraw != 0 && m_grid) {
        m_pendingRedraw = 0;
        m_grid->model().flush();
    }
}

int CIndexView::rowOf(int indexNumber) const
{
    return indexNumber >= 0 && static_cast<size_t>(indexNumber) < m_rowIds.size()
               ? m_rowIds[static_cast<size_t>(indexNumber)]
               : -1;
}

int CIndexView::selectedIndex() const
{
    if (!m_grid)
        return -1;
    QModelIndex current = m_grid->tree()->currentIndex();
    if (auto* proxy = qobject_cast<QAbstractProxyModel*>(m_grid->tree()->model()))
        current = proxy->mapToSource(current);
    const int row = m_grid->model().rowIdOf(current);
    const int* n = row >= 0 ? m_grid->model().rowDataAs<int>(row) : nullptr;
    return n ? *n : -1;
}

void CIndexView::selectIndex(int indexNumber)
{
    const int row = rowOf(indexNumber);
    if (m_grid && row >= 0)
        m_grid->selectRow(row);
}

void CIndexView::contextMenuEvent(QContextMenuEvent* event)
{
    OnContextMenu(event->globalPos().x(), event->globalPos().y());
}

void CIndexView::OnContextMenu(int x, int y)
{
    try {
        SetAccessTime();
        const int n = selectedIndex();
        const std::vector<IndexRecord> indices = IndexTable::instance().entries();
        if (n >= 0 && static_cast<size_t>(n) < indices.size()) {
            const IndexRecord& r = indices[static_cast<size_t>(n)];
            const std::string exch = index_view_detail::fixed(r.exchange, sizeof r.exchange);
            if (exch == "MC")
                return; // no menu at all
            if (exch == "NN" || exch == "BN" || exch == "CN" || exch == "CM")
                m_menuEntries = r.code[0] != '\0';
            else
                m_menuEntries = false;
        }
        if (!m_menuEntries)
            return; // a menu without entries shows nothing
        ui::MenuSpec menu;
        menu.items = {{ID_INDEX_INTRADAY_CHART, "&Intraday Chart", false, true, {}},
                      {ID_INDEX_DERIVATIVE_CHAIN, "Derivative &Chain", false, true, {}}};
        const int chosen = ui::prompter().pickMenuCommand(menu, x, y);
        if (chosen == ID_INDEX_INTRADAY_CHART)
            OnIntraDayChart();
        else if (chosen == ID_INDEX_DERIVATIVE_CHAIN)
            OnDerivativeChain();
    } catch (...) {
        WriteLog(0, "Exception in OnContextMenu");
    }
}

void CIndexView::OnIntraDayChart()
{
    try {
        SetAccessTime();
        const int n = selectedIndex();
        if (n >= 0 && n < IndexTable::instance().count())
            OpenIndexChart(n);
    } catch (...) {
        WriteLog(0, "Exception in OnIntraDayChart");
    }
}

void CIndexView::OnDerivativeChain()
{
    try {
        SetAccessTime();
        const int n = selectedIndex();
        if (n >= 0 && n < IndexTable::instance().count())
            OpenIndexChain(n);
    } catch (...) {
        WriteLog(0, "Exception in OnDerivativeChain");
    }
}

void CIndexView::FreeAllVariables()
{
    if (m_closing)
        return;
    WriteLog(0, "Entry : CIndexView::FreeAllVariables");
    m_closing = true;
    m_ticker->stopAll();
    MarketFeed::setIndexSink(MarketFeed::IndexView, nullptr);
    if (index_view_detail::g_indexView == this)
        index_view_detail::g_indexView = nullptr;
    for (int i = 0; i < IndexTable::instance().count(); ++i)
        IndexTable::instance().change(i, [](IndexRecord& e) { e.gridRowNumber = -1; });
    if (m_slot >= 0) {
        FeedSubscriptions::instance().releaseSlot(m_slot);
        m_slot = -1;
    }
    WriteLog(0, "Exit : CIndexView::FreeAllVariables");
}

void CIndexView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    try {
        SetAccessTime();
        if (m_grid)
            m_grid->setGeometry(rect().adjusted(2, 2, -2, -2));
    } catch (...) {
        WriteLog(0, "Exception in CIndexView::OnSize");
    }
}

CIndexView* OpenIndexView(QWidget* frame)
{
    try {
        SetAccessTime();
        if (CIndexView* open = CIndexView::instance()) {
            if (auto* f = qobject_cast<CMainFrame*>(frame); f && f->Documents())
                f->Documents()->activateDocument(open);
            open->show();
            open->raise();
            return open;
        }
        auto* view = new CIndexView;
        view->setAttribute(Qt::WA_DeleteOnClose);
        if (auto* f = qobject_cast<CMainFrame*>(frame); f && f->Documents())
            f->Documents()->addDocument(view, "Indices Watchlist");
        else
            view->show();
        view->OnInitialUpdate();
        return view;
    } catch (...) {
        WriteLog(0, "Exception in OnReportIndicesUpdate");
        return nullptr;
    }
}
