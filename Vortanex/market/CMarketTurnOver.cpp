#include "market/CMarketTurnOver.h"

#include "app/base/ActivityStamp.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/ProgramPaths.h"
#include "app/base/TextFormat.h"
#include "frame/FrameThemes.h"
#include "frame/controls/CMyListCtrl.h"
#include "market/MarketChart.h"
#include "server/RequestServer.h"
#include "server/ServerAccess.h"

#include "pf/clock.h"
#include "pf/threads.h"
#include "ui/commands.h"
#include "ui/grid_ranges.h"
#include "ui/modal_host.h"
#include "ui/prompter.h"
#include "ui/ticker.h"
#include "ui/ui_thread.h"

#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QPointer>
#include <QVBoxLayout>

#include <atomic>
#include <cstdio>
#include <map>

struct CMarketTurnOver::Alive {
    std::atomic<bool> open{true};
};

namespace market_turn_over_detail {
namespace {

std::map<int, CMarketTurnOver*>& openDialogs()
{
    static std::map<int, CMarketTurnOver*> s;
    return s;
}

ui::FormSpec turnoverSpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = CMarketTurnOver::kTemplateId;
    spec.name = "CMarketTurnOver";
    spec.caption = "Market Turnover";
    spec.width = 231;
    spec.height = 282;
    spec.controls = {
        {CMarketTurnOver::kSelectorLabel, ControlKind::Label, "Exchange :  ", {9, 17, 36, 8}},
        {CMarketTurnOver::kSelector, ControlKind::Combo, "", {48, 16, 66, 30}},
        {CMarketTurnOver::kRefresh, ControlKind::Button, "Refresh", {116, 15, 51, 14}},
        {CMarketTurnOver::kSave, ControlKind::Button, "Save", {170, 15, 51, 14}},
        {CMarketTurnOver::kList, ControlKind::Static, "", {7, 33, 214, 57}},
        {CMarketTurnOver::kChart, ControlKind::Static, "", {3, 97, 224, 166}},
        {CMarketTurnOver::kStatus, ControlKind::Label, "", {3, 265, 25, 8}},
        {CMarketTurnOver::kNote, ControlKind::Label, "*Note : Approximate Values for pictorial representation only",
         {41, 265, 186, 8}},
        {CMarketTurnOver::kBand, ControlKind::Combo, "", {115, 16, 48, 46}},
    };
    return spec;
}

ui::MenuItem item(int id, const char* text)
{
    ui::MenuItem m;
    m.id = id;
    m.text = text;
    return m;
}

QWidget* embed(QWidget* holder, QWidget* child)
{
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(child);
    return child;
}

} // namespace
} // namespace market_turn_over_detail

CMarketTurnOver::CMarketTurnOver(int mode, QWidget* parent)
    : ui::Form(market_turn_over_detail::turnoverSpec(), parent), m_mode(mode), m_alive(std::make_shared<Alive>())
{
    if (QWidget* holder = control(kList)) {
        m_list = new CMyListCtrl(holder);
        market_turn_over_detail::embed(holder, m_list);
    }
    if (QWidget* holder = control(kChart)) {
        m_chart = new MarketChart(holder);
        market_turn_over_detail::embed(holder, m_chart);
    }
    m_ticker = new ui::Ticker(this);
    m_ticker->onTick = [this](int id) {
        if (id == kFirstQuotesTimer)
            checkFirstQuotes();
        else
            CheckRefreshHold();
    };
    onClick(kRefresh, [this] { OnRefresh(); });
    onClick(kSave, [this] { OnSave(); });
    onChanged(kSelector, [this] { OnSelectorChange(); });
    onChanged(kBand, [this] { GetCircuitBreakerDet(); });
    showControl(kBand, false);
    if (m_chart) {
        connect(m_chart, &MarketChart::pointHovered, this, [this](int point) { OnChartHover(point); });
        connect(m_chart, &MarketChart::pointReleased, this,
                [this](int point, Qt::MouseButton button) { OnChartRelease(point, button); });
    }
    if (m_list) {
        m_list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint&) { OnListRightClick(); });
    }
    if (m_mode == 6 || m_mode == 8)
        m_reload = SecurityReload::instance().add(
            "market dialog", [this](const SecurityTable& before, SecurityTable& after) { return followReload(before, after); });
}

CMarketTurnOver::~CMarketTurnOver()
{
    m_alive->open.store(false);
    releaseFeed();
    auto it = market_turn_over_detail::openDialogs().find(m_mode);
    if (it != market_turn_over_detail::openDialogs().end() && it->second == this)
        market_turn_over_detail::openDialogs().erase(it);
}

void CMarketTurnOver::setDetails(const mt::TurnoverRecord& record) { m_details = record; }

CMarketTurnOver* CMarketTurnOver::instance(int mode)
{
    const auto it = market_turn_over_detail::openDialogs().find(mode);
    return it == market_turn_over_detail::openDialogs().end() ? nullptr : it->second;
}

CMarketTurnOver* CMarketTurnOver::Open(int mode, QWidget* parent, const std::string& initial,
                                       const mt::TurnoverMap* map, ServerAccess* server)
{
    SetAccessTime();
    if (CMarketTurnOver* open = instance(mode))
        return open; // one dialog per slot: the request is ignored
    auto* dlg = new CMarketTurnOver(mode, parent);
    if (map)
        dlg->setTurnoverMap(*map);
    dlg->setServer(server);
    dlg->setInitialSelection(initial.empty() && (mode == 6 || mode == 8) ? kInitialIndex : initial);
    market_turn_over_detail::openDialogs()[mode] = dlg;
    // Closed by any path (Cancel, Escape, the close box): the slot is
    // cleared and the dialog freed.
    connect(dlg, &QDialog::finished, dlg, [dlg] {
        auto it = market_turn_over_detail::openDialogs().find(dlg->mode());
        if (it != market_turn_over_detail::openDialogs().end() && it->second == dlg)
            market_turn_over_detail::openDialogs().erase(it);
        dlg->deleteLater();
    });
    ui::modalHost().showModeless(*dlg);
    return dlg;
}

void CMarketTurnOver::onInit()
{
    try {
        if (IsDarkTheme() && m_list)
            m_list->ResetSortState(8);
        if (m_mode == 1) {
            m_list->model().setColumns({"Category", "Volume (In Crores)", "No of Stocks"});
            m_list->setColumnWidth(0, 117);
            m_list->setColumnWidth(1, 111);
            m_list->setColumnWidth(2, 82);
            showControl(kSave, false);
            setWindowTitle("Market Turnover");
            move(200, 200);
        } else if (m_mode == 2) {
            m_list->model().setColumns({"Index", "Total Turnover"});
            m_list->setColumnWidth(0, 102);
            m_list->setColumnWidth(1, 95);
            setComboItems(kSelector, {"NSE", "BSE"});
            setComboIndex(kSelector, 0);
            setText(kNote,
                    "*Note : Approximate Values for pictorial representation only. Right click on Indices for more details");
            showControl(kStatus, false);
            showControl(kSelectorLabel, false);
            setWindowTitle("Indices Turnover");
            setGeometry(200, 200, 500, 500);
            control(kSelector)->setGeometry(3, 3, 100, 20);
            control(kRefresh)->setGeometry(105, 3, 60, 20);
            control(kSave)->setGeometry(170, 3, 60, 20);
            control(kList)->setGeometry(0, 30, 200, 380);
            control(kChart)->setGeometry(205, 30, 295, 380);
            control(kNote)->setGeometry(5, 420, 495, 50);
        } else if (m_mode == 5) {
            setWindowTitle(QString::fromStdString(m_details.name));
            m_list->model().setColumns({"Turnover Data", "UP", "DOWN", "NEUTRAL"});
            const int widths[] = {105, 62, 62, 62};
            for (int c = 0; c < 4; ++c)
                m_list->setColumnWidth(c, widths[c]);
            for (int id : {kRefresh, kSave, kSelector, kSelectorLabel, kStatus, kNote})
                showControl(id, false);
            setGeometry(200, 200, 300, 400);
            control(kChart)->setGeometry(0, 0, 296, 296);
            control(kList)->setGeometry(0, 300, 296, 100);
            fillRows(mt::IndexDetailRows(m_details));
            m_chart->setPyramid(QString::fromStdString(m_details.name),
                                {{"UP", m_details.upVolume},
                                 {"DOWN", m_details.downVolume},
                                 {"NEUTRAL", m_details.neutralVolume}});
            WriteLog(1, "Exit : CMarketTurnOver::DrawFullScreenChart");
            return;
        } else if (m_mode == 6 || m_mode == 8) {
            m_list->setContextMenuPolicy(Qt::CustomContextMenu);
            if (!m_map.empty()) {
                researchSetup(); // opened from an indices-turnover dialog
                return;
            }
        } else if (m_mode == 7) {
            InitIndicesTracker();
            return;
        } else if (m_mode == 9) {
            InitAnnouncementNews();
            return;
        } else if (m_mode == 10) {
            InitCircuitBreaker();
            return;
        } else if (m_mode == 11) {
            InitSupportResistance();
            return;
        }
        GetMarketTurnOverData();
    } catch (...) {
        WriteLog(1, "Exception : CMarketTurnOver::OnInitDialog");
    }
}

void CMarketTurnOver::GetMarketTurnOverData()
{
    if (m_busy || (m_mode != 1 && m_mode != 2 && m_mode != 6 && m_mode != 8))
        return;
    m_busy = true;
    for (int id : {kRefresh, kSave, kSelector})
        enable(id, false);
    const std::string request = mt::TurnoverRequest(m_mode);
    QPointer<CMarketTurnOver> self(this);
    std::shared_ptr<Alive> alive = m_alive;
    ServerAccess* server = m_server;
    const bool started = pf::Worker::start("MarketTurnOver", [self, alive, server, request] {
        std::string reply;
        int status = 0;
        if (server) {
            ServerReply r = server->requestServer(0, 7000, request);
            status = r.status;
            reply = std::move(r.body);
        } else {
            long length = 0;
            status = RequestServer(0, 7000, request, reply, length);
        }
        if (!alive->open.load())
            return;
        ui::UiThread::post([self, status, reply] {
            if (self)
                self->ApplyTurnover(status, reply);
        });
    });
    if (!started) {
        m_busy = false;
        for (int id : {kRefresh, kSave, kSelector})
            enable(id, true);
    }
}

void CMarketTurnOver::ApplyTurnover(int httpStatus, const std::string& reply)
{
    m_busy = false;
    enable(kSelector, true);
    enable(kSave, true);
    if (m_mode == 1 || m_mode == 2) {
        // Refresh waits 30 s of the program clock after every load.
        m_refreshAt = pf::clock().nowMillis() + kRefreshHoldMs;
        enable(kRefresh, false);
        m_ticker->start(1, 1000);
    } else {
        enable(kRefresh, true); // "Rate Refresh" only re-reads the quotes
    }
    try {
        if (httpStatus == 407) {
            MyMessageBox("Proxy authentication failed", "Internet Error", MsgOk | MsgIconWarning);
            return;
        }
        if (httpStatus != 200) {
            MsgBoxInfoCaption(
                formatText("Internet Connectivity Error [%d]. Pls contact System Administrator", httpStatus),
                "Internet Error");
            return;
        }
        const mt::TurnoverReply r = mt::ParseTurnoverReply(reply, m_mode);
        if (!r.boxText.empty()) {
            if (r.boxCaption == "Vortanex")
                MsgBoxInfo(r.boxText);
            else
                MsgBoxInfoCaption(r.boxText, r.boxCaption);
        }
        if (r.countsAsLoad && !r.ok) {
            ++m_loads;
            return;
        }
        if (!r.ok)
            return;
        const std::vector<std::string> names = mt::MergeTurnover(m_map, r.records);
        if (m_mode == 1 && m_loads == 0) {
            setComboItems(kSelector, names);
            if (m_selected.empty() && !names.empty())
                m_selected = names.front();
        }
        setText(kStatus, "");
        if (m_mode == 6 || m_mode == 8) {
            ++m_loads;
            researchSetup();
            return;
        }
        if (m_mode == 1) {
            const std::vector<std::string> items = comboItems(kSelector);
            for (size_t i = 0; i < items.size(); ++i)
                if (items[i] == m_selected)
                    setComboIndex(kSelector, static_cast<int>(i));
            DisplayTurnoverData(m_selected);
        } else {
            setComboIndex(kSelector, 0);
            m_selected = "NSE";
            DisplayTurnoverData(m_selected);
        }
        drawChart();
        ++m_loads;
    } catch (...) {
        WriteLog(1, "Exception GetMarketTurnOverData");
    }
}

void CMarketTurnOver::fillRows(const std::vector<mt::GridRow>& rows)
{
    ui::GridModel& model = m_list->model();
    model.clearRows();
    for (const mt::GridRow& r : rows) {
        const int id = model.addRow();
        for (size_t c = 0; c < r.cells.size(); ++c)
            model.setText(id, static_cast<int>(c), QString::fromStdString(r.cells[c]));
        if (r.image >= 0)
            model.setIcon(id, 0, r.image);
    }
}

void CMarketTurnOver::DisplayTurnoverData(const std::string& name)
{
    if (!m_list)
        return;
    if (m_mode == 1) {
        const std::vector<mt::GridRow> rows = mt::MarketTurnoverRows(m_map, name);
        if (rows.empty())
            WriteLog(1, formatText("me %s not found", name.c_str()));
        fillRows(rows);
    } else if (m_mode == 2) {
        fillRows(mt::IndicesTurnoverRows(m_map, name == "BSE" ? 2 : 1));
    } else if (m_mode == 6) {
        DisplayScanner(name);
    }
}

void CMarketTurnOver::drawChart()
{
    if (!m_chart)
        return;
    if (m_mode == 1) {
        const auto it = m_map.find(m_selected);
        if (it == m_map.end())
            return;
        std::vector<MarketChart::Slice> slices;
        for (const mt::Slice& s : mt::PieSlices(it->second))
            slices.push_back({QString::fromStdString(s.name), s.value});
        m_chart->setPie(QString::fromStdString(m_selected + " Market Turnover"), slices,
                        mt::PieRotation(it->second));
    } else if (m_mode == 2) {
        const int exchange = m_selected == "BSE" ? 2 : 1;
        std::vector<QString> categories;
        std::vector<MarketChart::BarSeries> series = {{"UP", {}}, {"DOWN", {}}, {"NEUTRAL", {}}};
        for (const auto& [name, r] : m_map) {
            if (r.exchangeId != exchange)
                continue;
            categories.push_back(QString::fromStdString(name));
            series[0].values.push_back(r.upVolume);
            series[1].values.push_back(r.downVolume);
            series[2].values.push_back(r.neutralVolume);
        }
        m_chart->setStackedBars(exchange == 1 ? "NSE INDICES TurnOver" : "BSE INDICES TurnOver", categories, series);
    }
}

void CMarketTurnOver::OnSelectorChange()
{
    const std::vector<std::string> items = comboItems(kSelector);
    const int at = comboIndex(kSelector);
    if (at < 0 || static_cast<size_t>(at) >= items.size())
        return;
    m_selected = items[static_cast<size_t>(at)];
    switch (m_mode) {
    case 6:
        setText(kStatus, "Showing data for Index " + m_selected);
        DisplayScanner(m_selected);
        DrawScannerBubbleChart();
        return;
    case 8:
        setText(kStatus, "Showing Market Cluster for Index " + m_selected);
        DrawMarketCluster();
        return;
    case 9: GetAnnouncementNewsDet(m_selected); return;
    case 10: GetCircuitBreakerDet(); return;
    case 11:
        m_levelsClicked = false;
        GetSupportResistanceDet(m_selected);
        return;
    default: break;
    }
    DisplayTurnoverData(m_selected);
    drawChart();
}

void CMarketTurnOver::OnRefresh()
{
    SetAccessTime();
    if (m_mode == 6 || m_mode == 8) {
        // "Rate Refresh": the selector's index again with the live quotes.
        const std::vector<std::string> items = comboItems(kSelector);
        const int at = comboIndex(kSelector);
        if (at < 0 || static_cast<size_t>(at) >= items.size())
            return;
        m_selected = items[static_cast<size_t>(at)];
        if (m_mode == 6) {
            DisplayScanner(m_selected);
            DrawScannerBubbleChart();
            // Every stock is listed again: the status no longer names a band.
            setText(kStatus, mt::kScannerHint);
        } else {
            DrawMarketCluster();
        }
        return;
    }
    if (m_mode == 11) {
        m_levelsClicked = false;
        const std::vector<std::string> items = comboItems(kSelector);
        const int at = comboIndex(kSelector);
        GetSupportResistanceDet(at >= 0 && static_cast<size_t>(at) < items.size() ? items[static_cast<size_t>(at)]
                                                                                 : "BSE");
        return;
    }
    if (pf::clock().nowMillis() < m_refreshAt)
        return;
    GetMarketTurnOverData();
}

void CMarketTurnOver::CheckRefreshHold()
{
    if (m_busy || pf::clock().nowMillis() < m_refreshAt) {
        enable(kRefresh, false);
        return;
    }
    m_ticker->stop(1);
    enable(kRefresh, true);
}

int CMarketTurnOver::OnListRightClick()
{
    if (m_mode == 6 && m_list && !ui::selectedRowIds(*m_list).empty()) {
        SetAccessTime();
        OnScannerRowRightClick();
        return 0;
    }
    if (m_mode != 2 || !m_list || ui::selectedRowIds(*m_list).empty())
        return 0;
    SetAccessTime();
    ui::MenuSpec menu;
    menu.items = {market_turn_over_detail::item(kTurnoverDetails, "Turnover details"), market_turn_over_detail::item(kMarketScanner, "Market Scanner"),
                  market_turn_over_detail::item(kMarketCluster, "Market Cluster")};
    const QPoint at = QCursor::pos();
    const int command = ui::prompter().pickMenuCommand(menu, at.x(), at.y());
    if (command == kTurnoverDetails)
        OnTurnoverDetails();
    else if (command == kMarketScanner)
        OpenMarketScanner();
    else if (command == kMarketCluster)
        OpenMarketCluster();
    return command;
}

void CMarketTurnOver::OnTurnoverDetails()
{
    const std::vector<int> rows = ui::selectedRowIds(*m_list);
    if (rows.empty())
        return;
    const std::string name = m_list->model().text(rows.front(), 0).toStdString();
    const auto it = m_map.find(name);
    if (it == m_map.end())
        return;
    CMarketTurnOver details(5, this);
    details.setDetails(it->second);
    ui::modalHost().run(details);
}

bool CMarketTurnOver::SaveTo(int command, const std::string& path)
{
    if (command == kSaveChart) {
        if (!m_chart || !m_chart->exportImage(QString::fromStdString(path))) {
            MsgBoxStyle("Unable to open file to write", MsgOk | MsgIconWarning);
            return false;
        }
        MsgBoxOk("Image Saved successfully");
        return true;
    }
    if (m_mode == 11) {
        if (!writeGridCsv(path)) {
            MsgBoxStyle("Unable to open file to write", MsgOk | MsgIconWarning);
            return false;
        }
        MsgBoxOk("File Saved successfully");
        return true;
    }
    if (!m_list || m_list->model().columns() == 0)
        return false;
    std::vector<std::string> captions;
    for (int c = 0; c < m_list->model().columns(); ++c)
        captions.push_back(m_list->model().columnName(c).toStdString());
    std::vector<std::vector<std::string>> rows;
    for (int id : m_list->model().preorder()) {
        std::vector<std::string> cells;
        for (int c = 0; c < m_list->model().columns(); ++c)
            cells.push_back(m_list->model().text(id, c).toStdString());
        rows.push_back(std::move(cells));
    }
    const std::string text = mt::GridCsv(captions, rows);
    FILE* f = std::fopen(path.c_str(), "w");
    bool ok = f != nullptr;
    if (f) {
        ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
        ok = std::fclose(f) == 0 && ok;
    }
    if (!ok) {
        MsgBoxStyle("Unable to open file to write", MsgOk | MsgIconWarning);
        return false;
    }
    MsgBoxOk("File Saved successfully");
    return true;
}

std::optional<std::pair<int, std::string>> PickReportSave(const QWidget& window, QPoint at, bool withGrid,
                                                          const char* gridFilter)
{
    constexpr int kGrid = CMarketTurnOver::kSaveGrid, kChart = CMarketTurnOver::kSaveChart;
    ui::MenuSpec menu;
    if (withGrid)
        menu.items.push_back(market_turn_over_detail::item(kGrid, "Save Grid to cs&v"));
    menu.items.push_back(market_turn_over_detail::item(kChart, "Save &Chart to bmp"));
    const int command = ui::prompter().pickMenuCommand(menu, at.x(), at.y());
    if (command != kChart && (command != kGrid || !withGrid))
        return std::nullopt;
    ui::FilePrompt prompt;
    prompt.caption = "Save As";
    if (command == kGrid) {
        prompt.filter = gridFilter;
        prompt.defaultSuffix = "csv";
    } else {
        prompt.filter = "Bitmap Files (*.bmp);;Png Files (*.png);;All Files (*)";
        prompt.defaultSuffix = "bmp";
    }
    prompt.initialPath = (ProgramPaths().root() / window.windowTitle().toStdString()).string();
    std::optional<std::string> path = ui::prompter().pickSavePath(prompt);
    if (!path)
        return std::nullopt;
    return std::make_pair(command, std::move(*path));
}

void CMarketTurnOver::OnSave()
{
    try {
        // The cluster has no grid.
        if (const auto choice = PickReportSave(*this, QCursor::pos(), m_mode != 8,
                                               "Comma separated Files (*.csv);;Text Files (*.txt);;All Files (*)"))
            SaveTo(choice->first, choice->second);
    } catch (...) {
        WriteLog(0, formatText("Exception WriteGridDatatoFile:[0], reqCode %ld ", static_cast<long>(m_mode)));
    }
}

void CMarketTurnOver::closeEvent(QCloseEvent* event)
{
    WriteLog(0, "Entry : CMarketTurnOver::OnClose()");
    auto it = market_turn_over_detail::openDialogs().find(m_mode);
    if (it != market_turn_over_detail::openDialogs().end() && it->second == this)
        market_turn_over_detail::openDialogs().erase(it);
    static const std::map<int, const char*> closing = {
        {1, "exchange turnover On Close"}, {2, "index turnover On Close"},  {6, "dynamics On Close"},
        {7, "turnover On Close"},          {8, "cluster On Close"},         {9, "Announcement News On Close"},
        {10, "Circuit Breaker On Close"},  {11, "Support & Resistance On Close"}};
    const auto said = closing.find(m_mode);
    WriteLog(1, said == closing.end() ? "On Close" : said->second);
    if (m_mode == 11)
        m_levelsClicked = false;
    releaseFeed();
    WriteLog(0, "Exit : CMarketTurnOver::OnClose()");
    ui::Form::closeEvent(event);
}

void CMarketTurnOver::keyPressEvent(QKeyEvent* event)
{
    // Escape closes the dialog as its close box does: without a window
    // manager the dialog has no close box, and it has no Close button.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        close();
        return;
    }
    ui::Form::keyPressEvent(event);
}

void InstallMarketDialogs(ui::Commands& commands, QWidget* mainWindow)
{
    QPointer<QWidget> main(mainWindow);
    commands.add(1256, [main] { CMarketTurnOver::Open(1, main); });
    commands.add(1268, [main] { CMarketTurnOver::Open(2, main); });
    commands.add(1274, [main] { CMarketTurnOver::Open(6, main); });
    commands.add(1277, [main] { CMarketTurnOver::Open(7, main); });
    commands.add(1290, [main] { CMarketTurnOver::Open(8, main); });
    commands.add(1403, [main] { CMarketTurnOver::Open(9, main); });
    commands.add(1404, [main] { CMarketTurnOver::Open(10, main); });
    commands.add(1405, [main] { CMarketTurnOver::Open(11, main); });
}
