// The market dialog's lists from the market-data host: announcement news
// (mode 9), the circuit breaker (mode 10) and support and resistance (mode
// 11), and the request helper every research mode uses.
#include "market/CMarketTurnOver.h"

#include "app/base/ActivityStamp.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/TextFormat.h"
#include "frame/controls/CAnnouNewsReportCtrl.h"
#include "market/MarketChart.h"
#include "server/RequestServer.h"
#include "server/ServerAccess.h"

#include "pf/clock.h"
#include "pf/threads.h"
#include "ui/grid_ranges.h"
#include "ui/grid_view.h"
#include "ui/ui_thread.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTreeView>

#include <cstdio>
#include <optional>

namespace market_list_modes_detail {
namespace {

constexpr int kNewsCode = 8000;
constexpr int kCircuitCode = 8001;
constexpr int kLevelsCode = 8002;

// The circuit breaker's "% Change" cells: a bar from the left as long as the
// change's share of the 20 % band, green for the upper band, red for the lower.
class DataBarDelegate final : public QStyledItemDelegate {
public:
    DataBarDelegate(QObject* parent, const bool* upper) : QStyledItemDelegate(parent), m_upper(upper) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const int percent = mt::DataBarPercent(index.data().toString().toDouble(), *m_upper);
        if (percent > 0) {
            QRect bar = option.rect.adjusted(1, 2, -1, -2);
            bar.setWidth(bar.width() * percent / 100);
            painter->fillRect(bar, *m_upper ? QColor(0, 130, 0, 150) : QColor(255, 55, 55, 150));
        }
        QStyledItemDelegate::paint(painter, option, index);
    }

private:
    const bool* m_upper;
};

const char* const kNewsNote = "*Note : Approximate Values for pictorial representation only. Click on Scrip for Chart.";

} // namespace
} // namespace market_list_modes_detail

void CMarketTurnOver::showBusy(bool on)
{
    if (on)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

struct CMarketTurnOver::ListFill {
    // Made on the UI thread with the grid's columns and groups, filled on the
    // worker; no view watches it until the grid takes its rows.
    ui::GridModel rows;
    int skipped = 0;                    // short records left out
    std::optional<mt::LevelsRow> first; // support and resistance: the first row, for its chart
};

void CMarketTurnOver::fetch(int transCode, const std::string& request, const ui::GridModel& like,
                            std::function<void(ListFill&, const std::string& reply)> build,
                            std::function<void(CMarketTurnOver&, int, ListFill&)> done)
{
    ++m_requests;
    showBusy(true);
    // A newer choice (exchange, band) sends again at once; a slower earlier
    // reply must not overwrite it.
    const uint64_t ticket = m_latest.next();
    // The reply becomes rows on the worker: a list of thousands of rows would
    // hold the UI thread for its inserts; the grid takes them whole instead.
    auto fill = std::make_shared<ListFill>();
    fill->rows.setAutoFlush(false);
    fill->rows.setColumns(like.columnNames());
    fill->rows.setGroupColumns(like.groupColumns());
    QPointer<CMarketTurnOver> self(this);
    ServerAccess* server = m_server;
    const bool started = pf::Worker::start("MarketDialog", [self, server, transCode, request, fill, build, done,
                                                            ticket]() mutable {
        std::string reply;
        int status = 0;
        if (server) {
            ServerReply r = server->requestServer(0, transCode, request);
            status = r.status;
            reply = std::move(r.body);
        } else {
            long length = 0;
            status = RequestServer(0, transCode, request, reply, length);
        }
        if (status == 200) {
            try {
                build(*fill, reply);
            } catch (...) {
                // An unreadable reply shows as an empty list.
                WriteLog(1, "Exception reading the market dialog's reply");
                fill->rows.clearRows();
                fill->first.reset();
            }
        }
        // The rows go with the note: the model is freed on the UI thread.
        ui::UiThread::post([self, status, fill = std::move(fill), done, ticket] {
            if (!self)
                return;
            self->showBusy(--self->m_requests > 0);
            if (!self->m_latest.isLatest(ticket, "market dialog"))
                return;
            try {
                done(*self, status, *fill);
            } catch (...) {
                WriteLog(1, "Exception in the market dialog's reply");
            }
        });
    });
    if (!started) {
        showBusy(--m_requests > 0);
        WriteLog(0, "The market dialog's request could not start");
    }
}

bool CMarketTurnOver::replyUsable(int status)
{
    if (status == 407) {
        MyMessageBox("Proxy authentication failed", "Internet Error", MsgOk | MsgIconWarning);
        return false;
    }
    if (status != 200) {
        MsgBoxInfoCaption(formatText("Internet Connectivity Error [%d]. Pls contact System Administrator", status),
                          "Internet Error");
        return false;
    }
    return true;
}

void CMarketTurnOver::layoutListGrid()
{
    QWidget* grid = m_news ? static_cast<QWidget*>(m_news) : static_cast<QWidget*>(m_grid);
    if (!grid || m_mode == 11)
        return;
    grid->setGeometry(0, 30, width(), height() - 30);
}

// ---- announcement news -------------------------------------------------------

void CMarketTurnOver::InitAnnouncementNews()
{
    setComboItems(kSelector, {"BSE", "NSE"});
    setComboIndex(kSelector, 0);
    control(kSelectorLabel)->setGeometry(5, 4, 80, 20);
    control(kSelector)->setGeometry(85, 3, 60, 20);
    setGeometry(200, 200, 400, 500);
    setWindowTitle("Announcement News");
    m_news = new CAnnouNewsReportCtrl(this);
    m_news->setObjectName("NewsGrid");
    // The hidden key column names the groups ("Scrip: ABC (2)").
    m_news->model().setColumns({"Scrip", "Date", "News"});
    m_news->setColumnWidth(1, 80);
    m_news->setColumnWidth(2, 320);
    m_news->setGroupColumns({0});
    m_news->SetGroupColumn(0);
    m_news->setGroupByBoxVisible(false);
    // The announcement's text is the row's preview line, under its date.
    m_news->setPreviewShown(true);
    for (int id : {kSave, kRefresh, kNote, kStatus, kChart, kList})
        showControl(id, false);
    layoutListGrid();
    m_news->show();
    GetAnnouncementNewsDet("BSE");
}

void CMarketTurnOver::GetAnnouncementNewsDet(const std::string& exchange)
{
    if (!m_news)
        return;
    m_news->model().clearRows();
    fetch(
        market_list_modes_detail::kNewsCode, mt::NewsRequest(exchange), m_news->model(),
        [](ListFill& fill, const std::string& reply) {
            ui::GridModel& model = fill.rows;
            for (const mt::NewsItem& n : mt::ParseNews(reply, &fill.skipped)) {
                const int id = model.addRow();
                model.setText(id, 0, QString::fromStdString(n.key));
                model.setText(id, 1, QString::fromStdString(n.date));
                model.setPreview(id, QString::fromStdString(n.text));
            }
            model.regroup();
        },
        [](CMarketTurnOver& self, int status, ListFill& fill) {
            if (!self.replyUsable(status) || !self.m_news)
                return;
            self.m_news->takeRows(fill.rows);
            if (fill.skipped)
                WriteLog(0, formatText("GetAnnouncementNewsDet : %d short records skipped", fill.skipped));
            // One closed group per key.
            self.m_news->expandAll(false);
        });
}

// ---- circuit breaker ---------------------------------------------------------

void CMarketTurnOver::InitCircuitBreaker()
{
    setComboItems(kSelector, {"BSE", "NSE"});
    setComboIndex(kSelector, 0);
    control(kSelectorLabel)->setGeometry(5, 4, 80, 20);
    control(kSelector)->setGeometry(85, 3, 60, 20);
    setComboItems(kBand, {"Upper", "Lower"});
    setComboIndex(kBand, 0);
    showControl(kBand, true);
    control(kBand)->setGeometry(150, 3, 60, 20);
    setGeometry(200, 200, 650, 500);
    setWindowTitle("Circuit Breaker");
    m_grid = new ui::GridView(this);
    m_grid->setObjectName("CircuitGrid");
    QStringList columns;
    for (const std::string& c : mt::kCircuitColumns)
        columns << QString::fromStdString(c);
    m_grid->model().setColumns(columns);
    // Wide enough for the prices of the dearest stocks.
    const int widths[] = {100, 100, 40, 70, 70, 70, 70, 70, 70, 70};
    for (int c = 0; c < 10; ++c)
        m_grid->setColumnWidth(c, widths[c]);
    m_grid->tree()->setItemDelegateForColumn(1, new market_list_modes_detail::DataBarDelegate(m_grid, &m_circuitUpper));
    for (int id : {kSave, kRefresh, kNote, kStatus, kChart, kList})
        showControl(id, false);
    layoutListGrid();
    m_grid->show();
    GetCircuitBreakerDet();
}

void CMarketTurnOver::GetCircuitBreakerDet()
{
    if (m_mode != 10 || !m_grid)
        return;
    m_grid->model().clearRows();
    const bool bse = comboIndex(kSelector) <= 0;
    const bool upper = comboIndex(kBand) <= 0;
    const std::string request = mt::CircuitRequest(bse ? "BSE" : "NSE", upper);
    WriteLog(0, request);
    fetch(
        market_list_modes_detail::kCircuitCode, request, m_grid->model(),
        [](ListFill& fill, const std::string& reply) {
            ui::GridModel& model = fill.rows;
            for (const mt::CircuitRow& r : mt::ParseCircuit(reply)) {
                const int id = model.addRow();
                for (size_t c = 0; c < r.cells.size(); ++c)
                    model.setText(id, static_cast<int>(c), QString::fromStdString(r.cells[c]));
            }
        },
        [upper](CMarketTurnOver& self, int status, ListFill& fill) {
            if (!self.replyUsable(status) || !self.m_grid)
                return;
            self.m_circuitUpper = upper;
            self.m_grid->takeRows(fill.rows);
            self.m_grid->tree()->viewport()->update();
        });
}

int CMarketTurnOver::barPercent(int rowId) const
{
    if (!m_grid)
        return 0;
    return mt::DataBarPercent(m_grid->model().text(rowId, 1).toDouble(), m_circuitUpper);
}

// ---- support and resistance ---------------------------------------------------

void CMarketTurnOver::InitSupportResistance()
{
    m_levelsClicked = false;
    for (int id : {kSelectorLabel, kList})
        showControl(id, false);
    setComboItems(kSelector, {"BSE", "NSE"});
    setComboIndex(kSelector, 0);
    setWindowTitle("Support & Resistance");
    m_grid = new ui::GridView(this);
    m_grid->setObjectName("LevelsGrid");
    QStringList columns;
    for (const std::string& c : mt::kLevelsColumns)
        columns << QString::fromStdString(c);
    m_grid->model().setColumns(columns);
    m_grid->setColumnWidth(0, 150);
    for (int c = 1; c < 9; ++c)
        m_grid->setColumnWidth(c, 60);
    control(kChart)->setGeometry(0, 30, 595, 175);
    m_grid->setGeometry(0, 210, 595, 205);
    control(kSelector)->setGeometry(3, 3, 200, 20);
    control(kRefresh)->setGeometry(205, 3, 100, 20);
    setText(kRefresh, "Refresh");
    control(kSave)->setGeometry(310, 3, 80, 20);
    control(kStatus)->setGeometry(0, 420, 550, 50);
    setGeometry(200, 200, 600, 480);
    control(kNote)->setGeometry(5, 420, 495, 50);
    setText(kNote, market_list_modes_detail::kNewsNote);
    m_grid->tree()->installEventFilter(this);
    m_grid->tree()->viewport()->installEventFilter(this);
    connect(m_grid->tree()->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { ShowSelectedLevels(); });
    m_grid->show();
    GetSupportResistanceDet("BSE");
}

void CMarketTurnOver::GetSupportResistanceDet(const std::string& exchange)
{
    if (m_mode != 11 || !m_grid)
        return;
    m_grid->model().clearRows();
    m_grid->setEnabled(false);
    fetch(
        market_list_modes_detail::kLevelsCode, mt::LevelsRequest(exchange), m_grid->model(),
        [](ListFill& fill, const std::string& reply) {
            ui::GridModel& model = fill.rows;
            const std::vector<mt::LevelsRow> rows = mt::ParseLevels(reply);
            for (const mt::LevelsRow& r : rows) {
                const int id = model.addRow();
                for (size_t c = 0; c < r.cells.size(); ++c)
                    model.setText(id, static_cast<int>(c), QString::fromStdString(r.cells[c]));
            }
            if (!rows.empty())
                fill.first = rows.front();
        },
        [](CMarketTurnOver& self, int status, ListFill& fill) {
            if (!self.m_grid)
                return;
            self.m_grid->setEnabled(true);
            if (!self.replyUsable(status))
                return;
            self.m_grid->takeRows(fill.rows);
            self.m_chart->clear();
            if (fill.first) {
                self.m_grid->tree()->clearSelection();
                const mt::LevelsRow& first = *fill.first;
                self.DrawSupportResistanceChart(first.s1, first.s2, first.r1, first.r2, first.cells[0]);
            }
        });
}

void CMarketTurnOver::DrawSupportResistanceChart(double s1, double s2, double r1, double r2, const std::string& name)
{
    const QColor green(0, 150, 0), red(220, 30, 30);
    std::vector<MarketChart::Point> points(4);
    const double values[] = {s1, s2, r1, r2};
    for (size_t i = 0; i < 4; ++i) {
        points[i].y = values[i];
        points[i].colour = i < 2 ? green : red;
        points[i].label = QString::number(values[i], 'f', 2);
    }
    m_chart->setLevels(QString::fromStdString(mt::LevelsTitle(name)), {"S1", "S2", "R1", "R2"}, points);
}

void CMarketTurnOver::ShowSelectedLevels()
{
    if (!m_grid)
        return;
    const std::vector<int> rows = ui::selectedRowIds(*m_grid);
    if (rows.empty())
        return;
    const ui::GridModel& m = m_grid->model();
    const auto num = [&m, &rows](int c) { return m.text(rows.front(), c).toDouble(); };
    DrawSupportResistanceChart(num(4), num(5), num(6), num(7), m.text(rows.front(), 0).toStdString());
}

int CMarketTurnOver::Select_Row_ByChar(char key)
{
    if (!m_grid)
        return -1;
    try {
        const std::string before = m_typeAhead.text();
        const std::string& text = m_typeAhead.press(key, pf::clock().nowSeconds());
        if (text.size() > 1)
            WriteLog(0, "Select_Row_ByChar : " + before);
        const std::vector<int> order = m_grid->shownRows();
        std::vector<std::string> names;
        for (int id : order)
            names.push_back(m_grid->model().text(id, 0).toStdString());
        const int at = mt::FindByPrefix(names, text);
        if (at < 0)
            return -1;
        const int id = order[static_cast<size_t>(at)];
        m_grid->selectRow(id);
        m_grid->tree()->scrollTo(m_grid->tree()->currentIndex());
        return id;
    } catch (...) {
        WriteLog(0, "Exception CMarketTurnOver in Select_Row_ByChar");
        return -1;
    }
}

bool CMarketTurnOver::eventFilter(QObject* watched, QEvent* event)
{
    if (m_mode == 11 && m_grid && (watched == m_grid->tree() || watched == m_grid->tree()->viewport())) {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            const int k = key->key();
            // Letters and '[' and '\' search the names as typed.
            if ((k >= Qt::Key_A && k <= Qt::Key_Z) || k == Qt::Key_BracketLeft || k == Qt::Key_Backslash) {
                Select_Row_ByChar(static_cast<char>(k));
                QMetaObject::invokeMethod(this, [this] { ShowSelectedLevels(); }, Qt::QueuedConnection);
                return true;
            }
            QMetaObject::invokeMethod(this, [this] { ShowSelectedLevels(); }, Qt::QueuedConnection);
        } else if (event->type() == QEvent::MouseButtonPress) {
            m_levelsClicked = true;
            QMetaObject::invokeMethod(this, [this] { ShowSelectedLevels(); }, Qt::QueuedConnection);
        }
    }
    return ui::Form::eventFilter(watched, event);
}

bool CMarketTurnOver::writeGridCsv(const std::string& path)
{
    if (!m_grid || m_grid->model().columns() == 0)
        return true;
    const ui::GridModel& m = m_grid->model();
    std::vector<std::string> captions;
    for (int c = 0; c < m.columns(); ++c)
        captions.push_back(m.columnName(c).toStdString());
    std::vector<std::vector<std::string>> rows;
    for (int id : m.preorder()) {
        std::vector<std::string> cells;
        for (int c = 0; c < m.columns(); ++c)
            cells.push_back(m.text(id, c).toStdString());
        rows.push_back(std::move(cells));
    }
    const std::string text = mt::GridCsv(captions, rows);
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

void CMarketTurnOver::resizeEvent(QResizeEvent* event)
{
    ui::Form::resizeEvent(event);
    layoutListGrid();
}
