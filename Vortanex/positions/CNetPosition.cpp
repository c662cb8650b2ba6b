#include "positions/CNetPosition.h"
#include "positions/CNetPositionDetail.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "frame/FrameThemes.h"
#include "frame/controls/CFilterGridCtrl.h"
#include "frame/OrderFormOpener.h"
#include "frame/OrderFormService.h"
#include "orders/OrderMessages.h"
#include "orders/PositionRecords.h"
#include "positions/DlgPledgeUnpleged.h"
#include "positions/NetPositionFeed.h"
#include "positions/PositionMath.h"
#include "frame/PositionServices.h"
#include "server/RiskArrays.h"
#include "server/SecurityTable.h"
#include "watch/base/TextSplit.h"
#include "ui/grid_header_items.h"
#include "ui/grid_ranges.h"
#include "ui/grid_view.h"
#include "ui/modal_host.h"
#include "ui/prompter.h"

#include "pf/clock.h"
#include "pf/shell.h"
#include "server/ServerRequests.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>
#include <set>
#include <stdexcept>

namespace {

CNetPosition* g_pNetPosition = nullptr;

std::vector<int> segmentIds()
{
    std::vector<int> ids;
    for (int i = 0; i < pv_user_info.segment_count && i < static_cast<int>(pv_user_info.segments.size()); ++i)
        ids.push_back(pv_user_info.segments[static_cast<size_t>(i)].id);
    return ids;
}

std::string activeCode()
{
    ClientInfo* c = ActiveClientEntry();
    return c ? std::string(FixedTextView(c->client_code)) : std::string();
}

std::string csvCell(const QString& text)
{
    return CsvField(text.toStdString());
}

// A grid of the window with locked columns: the user can neither hide nor
// move them (the limits' description column).
class RiskGrid final : public ui::GridView {
public:
    using ui::GridView::GridView;
    void setColumnLocked(int column) { m_locked.insert(column); }

protected:
    bool canHideColumn(int column) const override
    {
        return !m_locked.count(column) && ui::GridView::canHideColumn(column);
    }
    bool canMoveColumn(int column) const override
    {
        return !m_locked.count(column) && ui::GridView::canMoveColumn(column);
    }

private:
    std::set<int> m_locked;
};

} // namespace

using namespace netposition_detail;

CNetPosition* CNetPosition::Instance()
{
    return g_pNetPosition;
}

CNetPosition::CNetPosition(QWidget* parent)
    : QWidget(parent), m_feed(std::make_shared<NetPositionFeed>()), m_handover(std::make_shared<RiskHandover>())
{
    setObjectName(QStringLiteral("CNetPosition"));
    m_reload = SecurityReload::instance().add("positions", [this](const SecurityTable&, SecurityTable&) {
        m_reload.reset();
        Close_Window();
        return SecurityReload::Outcome{true, "positions"};
    });
    auto* clientLabel = new QLabel(QStringLiteral("Client :"), this);
    clientLabel->setObjectName(QStringLiteral("1155"));
    clientLabel->setGeometry(8, 12, 50, 20);
    m_client = new QLineEdit(this);
    m_client->setObjectName(QStringLiteral("1017"));
    m_client->setGeometry(60, 10, 100, 22);
    m_client->installEventFilter(this);
    m_refresh = new QPushButton(QStringLiteral("Refresh"), this);
    m_refresh->setObjectName(QStringLiteral("1082"));
    m_refresh->setGeometry(170, 9, 80, 24);
    m_misCutoffLabel = new QLabel(QStringLiteral("MIS Cut-off"), this);
    m_misCutoffLabel->setObjectName(QStringLiteral("1558"));
    m_misCutoff = new QLabel(this);
    m_misCutoff->setObjectName(QStringLiteral("1559"));
    m_misPlLabel = new QLabel(QStringLiteral("MIS Proft Loss"), this);
    m_misPlLabel->setObjectName(QStringLiteral("1560"));
    m_misPl = new QLabel(this);
    m_misPl->setObjectName(QStringLiteral("1316"));
    m_mis1561 = new QPushButton(this);
    m_mis1561->setObjectName(QStringLiteral("1561"));
    m_get = new QPushButton(QStringLiteral("Get"), this);
    m_get->setObjectName(QStringLiteral("1562"));
    m_additional = new QPushButton(QStringLiteral("Additional Margin"), this);
    m_additional->setObjectName(QStringLiteral("1563"));
    layoutBand();
    setMisBandVisible(false);
    m_additional->hide();

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("1057"));
    createGrids();

    connect(m_refresh, &QPushButton::clicked, this, [this] { OnRefresh(); });
    // The window's keys work wherever the focus is: on Refresh and on the
    // tab bar too, where it lands after every report.
    for (QWidget* w : {static_cast<QWidget*>(m_refresh), static_cast<QWidget*>(m_tabs->tabBar()),
                       static_cast<QWidget*>(m_tabs), static_cast<QWidget*>(m_get),
                       static_cast<QWidget*>(m_additional)})
        if (w)
            w->installEventFilter(this);
    connect(m_get, &QPushButton::clicked, this, [this] {
        m_get->setEnabled(false);
        setMisBandVisible(true);
        GetMisDataFromLimit();
        m_get->setEnabled(true);
    });
    connect(m_additional, &QPushButton::clicked, this, [this] { OnAdditionalMargin(); });
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int tab) { OnSelchangeTab1(tab); });
    m_timer = new QTimer(this);
    m_timer->setInterval(100);
    connect(m_timer, &QTimer::timeout, this, [this] { OnTimer(); });
}

CNetPosition::~CNetPosition()
{
    detachNotes();
    // The frame closes the view: layouts first, then the arrays.
    try {
        SaveGridState();
        FreeAllVariables();
    } catch (...) {
        WriteLog(0, "Exception in OnDestroy Risk Report");
    }
    m_feed->setClosing();
    if (g_pNetPosition == this)
        g_pNetPosition = nullptr;
}

void CNetPosition::layoutBand()
{
    m_misCutoffLabel->setGeometry(270, 12, 70, 20);
    m_misCutoff->setGeometry(340, 12, 70, 20);
    m_misPlLabel->setGeometry(420, 12, 90, 20);
    m_misPl->setGeometry(510, 12, 80, 20);
    m_mis1561->setGeometry(595, 9, 10, 24);
    m_get->setGeometry(610, 9, 50, 24);
    m_additional->setGeometry(670, 9, 130, 24);
}

void CNetPosition::setMisBandVisible(bool visible)
{
    for (QWidget* w : {static_cast<QWidget*>(m_misCutoffLabel), static_cast<QWidget*>(m_misCutoff),
                       static_cast<QWidget*>(m_misPlLabel), static_cast<QWidget*>(m_misPl),
                       static_cast<QWidget*>(m_mis1561), static_cast<QWidget*>(m_get)})
        w->setVisible(visible);
}

QWidget* CNetPosition::control(int id) const
{
    return findChild<QWidget*>(QString::number(id));
}

ui::GridView* CNetPosition::grid(int dataIndex) const
{
    return dataIndex >= 0 && dataIndex < 5 ? m_grids[dataIndex] : nullptr;
}

std::string CNetPosition::gridStateName(int dataIndex) const
{
    const std::string user(FixedTextView(pv_user_info.user_id));
    switch (dataIndex) {
    case Open: return user + "_OpenPosGrid";
    case Holdings: return user + "_SellFromExisting";
    case Unbilled: return user + "_PrevPosGrid";
    case Todays: return user + "_TodaysPositionGrid";
    default: return {};
    }
}

void CNetPosition::createGrids()
{
    auto make = [this](int dataIndex, const QStringList& columns, int headerLines, int frozen) {
        ui::GridView* g = nullptr;
        if (dataIndex == Holdings)
            g = new CFilterGridCtrl(m_tabs);
        else
            g = new RiskGrid(m_tabs);
        g->setObjectName(QStringLiteral("grid%1").arg(dataIndex));
        g->setHeaderLineCount(headerLines);
        g->model().setColumns(columns);
        g->setFrozenColumns(frozen);
        g->tree()->setSelectionMode(QAbstractItemView::ExtendedSelection);
        g->setContextMenuPolicy(Qt::NoContextMenu);
        g->tree()->installEventFilter(this);
        m_grids[dataIndex] = g;
        return g;
    };
    make(Limits,
         {"Available Funds Description", "+", "Cash", "Futures & Option Sell", "Options Buy",
          "Futures & Option Sell", "Options Buy", "Futures & Option Sell", "Options Buy", "Futures & Option Sell",
          "Options Buy", "Combine Limits", "Cash Buy", "Cash Sell", "Derivative", "Options"},
         1, 2);
    static_cast<RiskGrid*>(m_grids[Limits])->setColumnLocked(0);
    // Columns hidden by the login's switches.
    const auto off = [](int p) { return LoginFlagAt(p) != '1'; };
    ui::GridView* limits = m_grids[Limits];
    if (off(0) && off(8))
        limits->setColumnHidden(2, true);
    if (off(1) && off(10)) {
        limits->setColumnHidden(3, true);
        limits->setColumnHidden(4, true);
    }
    if (off(10)) {
        limits->setColumnHidden(5, true);
        limits->setColumnHidden(6, true);
    }
    if (off(13) || off(53)) {
        limits->setColumnHidden(7, true);
        limits->setColumnHidden(8, true);
    }
    if (off(52)) {
        limits->setColumnHidden(9, true);
        limits->setColumnHidden(10, true);
    }
    make(Todays,
         {"Security", "Exch", "DeliveryType", "LTP", "Buy Traded\nQty/Lot", "Buy Traded\nVal", "Buy Average\nRate",
          "Sell Traded\nQty/Lot", "Sell Traded\nVal", "Sell Average\nRate", "Net Trd\nQty/Lot", "Net Trd\nValue",
          "Buy Open\nQty/Lot", "Buy Open\nVal", "Buy Open\nAverage Rate", "Sell Open\nQty/Lot", "Sell Open\nVal",
          "Sell Open\nAverage Rate", "Realized\nP/L", "Premium", "UnRealised\nP/L", "RBI Ref. Rate", "Total P/L"},
         2, 4);
    make(Open,
         {"Security", "ME", "LTP", "Buy Opn Qty/Lot", "Buy Opn Val", "Sell Opn Qty/Lot", "Sell Opn Val",
          "Net Trd Qty/Lot", "Net Trd Value", "Average Rate", "Prev. Stock", "Prev. Stk Val", "UnRealised P/L",
          "Actual P/L", "Premium", "Delv. Mark", "Multiple", "Avg. Cost Price", "RBI Ref. Rate", "MarginType",
          "Utilization", "Spread Benefit"},
         1, 3);
    make(Unbilled,
         {"Security", "Payin Date", "Value\n(A)", "Multiple\n(B)", "Source", "Margin Utilised\n(C = A/B)",
          "BNST Credit\n(D)", "Total\n(C - D)", "BNST Hold Value"},
         2, 0);
    make(Holdings,
         {"Security", "Delv. Mark", "LTP", "Total Stock", "Open Qty", "Open Value", "Traded Qty", "Traded Value",
          "Stock Bal.", "Stk Val. Prc", "Sec Val.", "Real Val.", "BNST Credit", "Hold Stock", "Hair Cut",
          "Avg. Cost Price", "Unrealised PL @ Avg Cost Price"},
         1, 4);
    const std::vector<int> widths[5] = {
        {300, 30, 100, 150, 100, 150, 100, 150, 100, 150, 100, 150, 150, 150, 150, 150},
        {120, 65, 65, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 100},
        {120, 80, 80, 60, 60, 80, 60, 80, 60, 80, 80, 80, 80, 80, 80, 80, 80},
        {150, 80, 80, 80, 50, 120, 100, 80, 80},
        {180, 60, 100, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 80, 100, 80, 80}};
    for (int d = 0; d < 5; ++d)
        for (size_t c = 0; c < widths[d].size(); ++c)
            m_grids[d]->setColumnWidth(static_cast<int>(c), widths[d][c]);
    for (int d : {Open, Holdings, Unbilled, Todays})
        m_grids[d]->loadLayout(gridStateName(d));
    for (int d : {Open, Unbilled, Todays})
        m_grids[d]->setRowHeaderWidth(30);
    // The holdings' value filters: a group's key is its security's token (the
    // grand total's is the always-shown key), its names the delivery marks.
    auto* holdings = static_cast<CFilterGridCtrl*>(m_grids[Holdings]);
    holdings->SetRowKeyReader([holdings](int rowId) -> std::optional<FilterRowData> {
        const HoldingRowData* d = holdings->model().rowDataAs<HoldingRowData>(rowId);
        if (!d)
            return std::nullopt;
        return FilterRowData{d->token, QString::fromStdString(d->delivery_marks)};
    });
    holdings->EnableValueFilter();
    holdings->SetFilterTakenOverByOwner(true);
    connect(holdings, &CFilterGridCtrl::filterCommand, this, [this](int command) {
        if (command == CFilterGridCtrl::kApplyFilterCommand)
            OnApplyFilter1();
    }, Qt::QueuedConnection);
    // The live grids publish their cell changes on the window's timer only:
    // one layout per period however many ticks arrive.
    m_grids[Open]->model().setAutoFlush(false);
    m_grids[Todays]->model().setAutoFlush(false);
    // Header items over column ranges, in a band above the grids' headers.
    auto band = [this](int dataIndex, int lines) {
        auto* page = new QWidget(m_tabs);
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        auto* items = new ui::GridHeaderItems(*m_grids[dataIndex], lines, page);
        layout->addWidget(items);
        layout->addWidget(m_grids[dataIndex]);
        m_headerItems[dataIndex] = items;
        m_pages[dataIndex] = page;
        return items;
    };
    ui::GridHeaderItems* limitsItems = band(Limits, 1);
    limitsItems->AddHeaderItem(0, 0, 1, QStringLiteral("Details of Margin Available"));
    limitsItems->AddHeaderItem(0, 2, 2, QStringLiteral("NSE/BSE"));
    limitsItems->AddHeaderItem(0, 3, 4, QStringLiteral("NSE F&O - Equity"));
    limitsItems->AddHeaderItem(0, 5, 6, QStringLiteral("NSE Currency"));
    limitsItems->AddHeaderItem(0, 7, 8, QStringLiteral("NCDEX Commodity"));
    limitsItems->AddHeaderItem(0, 9, 10, QStringLiteral("MCX Commodity"));
    band(Open, 1)->AddHeaderItem(0, 0, 21,
                                 QStringLiteral("For Maxivane orders, Values in Buy Open Val and Sell Open Val  is showing "
                                                "margin utilization value of Open Orders / Positions."),
                                 Qt::AlignLeft);
    ui::GridHeaderItems* todaysItems = band(Todays, 1);
    todaysItems->AddHeaderItem(0, 4, 9, QStringLiteral("Current Trading Days Trades"));
    todaysItems->AddHeaderItem(0, 10, 11, QStringLiteral("Net Incl. All"));
    todaysItems->AddHeaderItem(0, 12, 17, QStringLiteral("Current Open Orders"));
    todaysItems->AddHeaderItem(0, 20, 20, QStringLiteral("Mark To Market"));
    const std::vector<std::string>& captions = RiskTabCaptions();
    const int tabData[5] = {Limits, Todays, Open, Unbilled, Holdings};
    for (int t = 0; t < 5; ++t) {
        const int d = tabData[t];
        m_tabs->addTab(m_pages[d] ? m_pages[d] : static_cast<QWidget*>(m_grids[d]),
                       qs(captions[static_cast<size_t>(t)]));
    }
}

void CNetPosition::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_tabs->setGeometry(2, 45, std::max(0, width() - 4), std::max(0, height() - 47));
}

void CNetPosition::OnInitialUpdate(int windowType)
{
    try {
        WriteLog(3, "Entry in CNetPosition::OnInitialUpdate");
        SetAccessTime();
        g_pNetPosition = this;
        NetPositionFeedLink::setOpenFeed(m_feed);
        m_busy = false;
        m_redrawPending = false;
        m_shownReport = 0;
        setWindowTitle(QStringLiteral("Net Position"));
        m_client->clear();
        SelectReportTab(std::clamp(windowType - 11, 0, 4));
        if (!dealerAtOwnSlot()) {
            m_client->setText(qs(activeCode()));
            m_client->setReadOnly(true);
            m_refresh->setFocus();
            m_tabReady = true;
            OnRefresh();
        } else {
            m_client->setFocus();
        }
        m_openGridSum = 0;
        m_tabReady = true;
        m_timer->start();
    } catch (const std::exception& e) {
        WriteLog(0, formatText("SException in CNetPosition::OnInitialUpdate : [%s]", e.what()));
    } catch (...) {
        WriteLog(0, "Exception in CNetPosition::OnInitialUpdate ");
    }
}

void CNetPosition::OnRefresh()
{
    m_openGridSum = 0;
    if (!dealerAtOwnSlot()) {
        m_client->setText(qs(activeCode()));
        m_client->setReadOnly(true);
        m_refresh->setFocus();
    } else {
        m_client->setReadOnly(false);
        m_client->setFocus();
    }
    m_shownReport = std::max(0, DataIndexOfCaption(m_tabs->tabText(m_tabs->currentIndex()).toStdString()));
    try {
        OnRiskRefresh(m_shownReport);
    } catch (...) {
        WriteLog(0, "Exception in OnRiskRefresh(CNP)");
    }
}

void CNetPosition::OnSelchangeTab1(int tab)
{
    m_shownReport = std::max(0, DataIndexOfCaption(m_tabs->tabText(tab).toStdString()));
    const QString text = m_client->text().trimmed();
    if (!text.isEmpty() && m_tabReady) {
        SetAccessTime();
        m_redrawPending = false;
        try {
            OnRiskRefresh(m_shownReport);
        } catch (...) {
            WriteLog(0, "Exception in OnRiskRefresh(CNP)");
        }
    } else {
        m_tabReady = true;
        m_client->setFocus();
    }
}

void CNetPosition::SelectReportTab(int captionNumber)
{
    if (captionNumber < 0 || captionNumber > 4)
        throw std::invalid_argument("SelectReportTab: caption number out of range");
    const std::string& caption = RiskTabCaptions()[static_cast<size_t>(captionNumber)];
    for (int t = 0; t < m_tabs->count(); ++t) {
        if (m_tabs->tabText(t).toStdString() != caption)
            continue;
        m_shownReport = DataIndexOfCaption(caption);
        m_tabs->setCurrentIndex(t);
        m_client->setFocus();
        return;
    }
}

const std::string& CNetPosition::clientText() const
{
    m_clientText = m_client->text().trimmed().toStdString();
    return m_clientText;
}

void CNetPosition::OnRiskRefresh(int dataIndex)
{
    WriteLog(3, "Risk refresh");
    setMisBandVisible(false);
    m_additional->hide();
    if (RefuseWhileLocked("View Limits & Positions."))
        return;
    SetAccessTime();
    if (m_busy)
        return;
    const int type = RiskTypeOfDataIndex(dataIndex);
    if (type < 0)
        return;
    m_refresh->setEnabled(false);
    if (type == kRiskLimits) {
        setWindowTitle(QStringLiteral("Net Position"));
        if (LoginFlagAt(59) == '1')
            m_additional->show();
    }
    ClientInfo* active = ActiveClientEntry();
    RiskClient client;
    const bool ok = ChooseRiskClient(pv_user_info.client_index, pv_user_info.user_type,
                                     active ? std::string(FixedTextView(active->client_code)) : std::string(),
                                     active ? std::string(FixedTextView(active->user_id)) : std::string(),
                                     m_client->text().toStdString(), std::string(FixedTextView(pv_user_info.session_id)),
                                     client);
    if (!ok) {
        MsgBoxOk("Please enter proper Client for the Risk Report");
        m_refresh->setEnabled(true);
        m_client->setFocus();
        return;
    }
    m_busy = true;
    if (active) {
        char* field = type == kRiskLimits ? active->limits_client
            : type == kRiskHoldings       ? active->holdings_client
                                          : active->positions_client;
        std::memset(field, 0, 11);
        std::strncpy(field, client.code.c_str(), 10);
    }
    OrderUserMessage(3, ' ', RiskDownloadingLine(type, client.code));
    if (type == kRiskLimits || type == kRiskPositions || type == kRiskHoldings)
        m_grids[dataIndex]->setEnabled(false);
    if (type == kRiskHoldings)
        m_grids[Holdings]->tree()->clearSelection();
    if (type == kRiskUnbilled)
        EnableControls(false);
    RiskJob job;
    job.type = type;
    job.client = client.code;
    job.clientText = clientText();
    job.text = RiskRequestText(type, client, std::string(FixedTextView(pv_user_info.user_id)));
    job.encrypt = pv_user_info.encrypt;
    job.segmentIds = segmentIds();
    m_tabs->setEnabled(false);
    if (!StartRiskReport(std::move(job), ref(), m_handover)) {
        m_busy = false;
        EnableControls(true);
    }
}

void CNetPosition::EnableControls(bool enable)
{
    m_grids[Unbilled]->setEnabled(enable);
    m_grids[Todays]->setEnabled(enable);
    m_refresh->setEnabled(enable);
    m_tabs->setEnabled(enable);
    m_busy = !enable;
}

void CNetPosition::onNote(const ui::Note& note)
{
    if (note.id != ui::NoteId::RiskReport)
        return;
    OnUpdateNetPositionReport(note.w, note.l, note.text);
}

void CNetPosition::store(RiskOutcome& out)
{
    ClientInfo* active = ActiveClientEntry();
    for (const std::string& line : out.bar_lines)
        OrderUserMessage(3, ' ', line);
    if (out.has_mis_texts) {
        m_misCutoff->setText(qs(out.mis_cutoff_text));
        m_misPl->setText(qs(out.mis_profit_loss_text));
    }
    if (!active)
        return;
    ClientRiskArrays& arrays = RiskArraysOf(*active);
    if (out.store_limits)
        arrays.limits = std::move(out.limits);
    if (out.store_positions) {
        if (out.type == kRiskHoldings)
            arrays.holdings = std::move(out.positions);
        else
            arrays.positions = std::move(out.positions);
        PublishActiveRiskRecords();
    }
    if (out.store_todays)
        arrays.todays_positions = std::move(out.todays);
    if (out.store_unbilled)
        arrays.unbilled_positions = std::move(out.unbilled);
    if (out.has_unbilled_texts) {
        m_grids[Unbilled]->setProperty("totalText", qs(out.unbilled_total_text));
        m_grids[Unbilled]->setProperty("holdValueText", qs(out.unbilled_hold_value_text));
    }
    renewFeedSecurities();
}

void CNetPosition::renewFeedSecurities()
{
    std::vector<int> securities;
    if (ClientInfo* active = ActiveClientEntry()) {
        const ClientRiskArrays& a = RiskArraysOf(*active);
        for (const PositionRecord& p : a.positions)
            securities.push_back(p.sec_index);
        for (const TodaysPositionRecord& t : a.todays_positions)
            securities.push_back(t.sec_index);
    }
    m_feed->setSecurities(std::move(securities));
}

void CNetPosition::emptyShownGrid()
{
    if (ui::GridView* g = grid(m_shownReport)) {
        g->model().clearRows();
        g->setEnabled(true);
    }
    if (m_shownReport == Open)
        m_openTotalRow = -1;
    if (m_shownReport == Todays)
        m_todaysTotalRow = -1;
}

void CNetPosition::OnUpdateNetPositionReport(intptr_t wParam, intptr_t lParam, const std::string& text)
{
    try {
        std::optional<RiskOutcome> out = m_handover->take();
        if (out) {
            store(*out);
            if (!out->box.empty()) {
                if (out->box_caption.empty())
                    MsgBoxInfo(out->box);
                else
                    MsgBoxInfoCaption(out->box, out->box_caption);
            }
        }
        if (wParam == kRiskNoteMis) {
            m_tabs->setEnabled(true);
            m_refresh->setEnabled(true);
        } else if (wParam == kRiskNoteFailed || wParam == kRiskNoteRefused || wParam == kRiskNoteSession) {
            emptyShownGrid();
            m_grids[Unbilled]->setEnabled(true);
            m_grids[Todays]->setEnabled(true);
            m_tabs->setEnabled(true);
            m_refresh->setEnabled(true);
            if (wParam == kRiskNoteRefused)
                MsgBoxInfo(text);
        } else {
            if (wParam == kRiskLimits)
                m_limitsSegmentCount = static_cast<int>(lParam);
            Get_Data(static_cast<int>(wParam));
        }
        m_refresh->setFocus();
        m_busy = false;
    } catch (...) {
        WriteLog(0, formatText("Exception in OnUpdateNetPositionReport while processing msg for : %ld - %ld",
                               static_cast<long>(wParam), static_cast<long>(lParam)));
        m_busy = false;
        EnableControls(true);
    }
}

bool CNetPosition::Get_Data(int type)
{
    const int before = m_shownReport;
    m_shownReport = DataIndexOfRiskType(type);
    switch (type) {
    case kRiskLimits: OnDisplayCompleteLimitsGrid(); break;
    case kRiskPositions: OnDisplayPositions(m_shownReport); break;
    case kRiskHoldings: OnDisplaySellFromExisting(); break;
    case kRiskUnbilled: FillUnbilledPositionGrid(); break;
    case kRiskTodays: FillTodaysPositionGrid(); break;
    default: break;
    }
    if (ui::GridView* g = grid(m_shownReport))
        g->setEnabled(true);
    m_tabs->setEnabled(true);
    m_refresh->setEnabled(true);
    m_refresh->setFocus();
    WriteLog(3, "Exit Get_Data");
    return before != m_shownReport;
}

// --- live prices ---

void CNetPosition::OnTimer()
{
    // Ticks that arrived since the last period, each security once.
    m_feed->ticks().drain([this](int security, char tick) { UpdateLTP(security, tick); });
    if (!m_redrawPending)
        return;
    m_redrawPending = false;
    if (m_busy)
        return;
    if (m_shownReport == Open)
        m_grids[Open]->model().flush();
    else if (m_shownReport == Todays)
        m_grids[Todays]->model().flush();
}

void CNetPosition::UpdateLTP(int security, int tick)
{
    int step = 1;
    try {
        if (m_shownReport != Open && m_shownReport != Todays)
            return;
        if (tick == 30 || tick == 40)
            return;
        step = 2;
        if (m_busy)
            return;
        const RiskSecurityFacts s = factsOf(security);
        if (m_shownReport == Todays)
            SetTodaysPositionLTP(security);
        else
            updateOpenGridLtp(security, s, tick);
    } catch (const std::exception& e) {
        WriteLog(0, formatText("SException in UpdateLTP [%d] : [%s]", step, e.what()));
    } catch (...) {
        WriteLog(0, formatText("Exception in UpdateLTP [%d]", step));
    }
}

// --- settings, closing ---

void CNetPosition::MyUpdate(int kind)
{
    try {
        (void)kind;
        if (m_shownReport == Limits && !m_busy)
            OnRefresh();
        else if (m_shownReport == Holdings)
            m_grids[Holdings]->model().touchAll();
    } catch (...) {
        WriteLog(0, "Exception in Net Position MyUpdate");
    }
}

void CNetPosition::Close_Window()
{
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->close();
    else
        close();
}

void CNetPosition::SaveGridState()
{
    for (int d : {Todays, Unbilled, Holdings, Open})
        m_grids[d]->saveLayout(gridStateName(d));
}

void CNetPosition::FreeAllVariables()
{
    WriteLog(3, "Entry CNetPosition::FreeAllVariables");
    m_timer->stop();
    m_feed->setClosing();
    if (NetPositionFeedLink::openFeed() == m_feed)
        NetPositionFeedLink::setOpenFeed(nullptr);
    if (g_pNetPosition == this)
        g_pNetPosition = nullptr;
    FreeAllRiskArrays();
    PublishActiveRiskRecords();
    WriteLog(3, "Exit CNetPosition::FreeAllVariables");
}

// --- commands ---

int CNetPosition::currentRowId(int dataIndex) const
{
    ui::GridView* g = grid(dataIndex);
    return g ? ui::currentRowId(*g) : -1;
}

int CNetPosition::selectedRangeCount(int dataIndex) const
{
    ui::GridView* g = grid(dataIndex);
    return g ? static_cast<int>(ui::selectedRanges(*g).size()) : 0;
}

int CNetPosition::otherExchangeIndex(int secIndex) const
{
    const auto table = SecurityTable::current();
    if (!table || !table->valid(secIndex))
        return -1;
    const SecurityRecord& r = table->row(secIndex);
    if (r.derivative || r.commodity || r.currency)
        return -1;
    const std::string exch(r.market_exchange.view());
    if (exch != "NN" && exch != "BN")
        return -1;
    return table->searchSymbol(r.symbol.view(), exch == "NN" ? "BN" : "NN", r.inst_type.view());
}

double CNetPosition::priceBySide(int secIndex, char side, bool testZero) const
{
    const auto table = SecurityTable::current();
    if (!table || !table->valid(secIndex))
        return 0;
    const QuoteData q = table->row(secIndex).quote();
    const double paise = side == 'B' ? q.quote[2] : q.quote[0];
    if (testZero && paise == 0)
        return 0;
    return paise / 100.0;
}

namespace {

bool requireActiveClient()
{
    ClientInfo* c = ActiveClientEntry();
    if (!c || !c->active) {
        MsgBoxInfoCaption("Please Activate a Client", "Input Error");
        return false;
    }
    return true;
}

} // namespace

void CNetPosition::OnPositionSquareoff()
{
    SetAccessTime();
    try {
        if (!requireActiveClient())
            return;
        if (selectedRangeCount(Open) != 1) {
            MsgBoxInfoCaption("Please select one Position only", "Input Error");
            return;
        }
        const int row = currentRowId(Open);
        const int* index = row >= 0 ? m_grids[Open]->model().rowDataAs<int>(row) : nullptr;
        const auto& positions = ActiveClientRiskArrays().positions;
        if (!index || *index < 0 || *index >= static_cast<int>(positions.size()))
            return;
        const PositionRecord& p = positions[static_cast<size_t>(*index)];
        if (p.product_code == 7) {
            MsgBoxInfoCaption("DDS Position can't be squared off from here.", "Input Error");
            return;
        }
        OrderFormParams params;
        params.index = *index;
        params.side = p.net_qty > 0 ? 'S' : 'B';
        params.orderMark = -1;
        params.companionIndex = otherExchangeIndex(p.sec_index);
        params.price = priceBySide(p.sec_index, params.side, true);
        OpenOrderForm(params, this, 7);
    } catch (...) {
        WriteLog(0, "Exception in OnPositionSquareoff");
    }
}

void CNetPosition::OnPositionPlaceOrder()
{
    SetAccessTime();
    int step = 0;
    try {
        if (!requireActiveClient())
            return;
        step = 1;
        if (m_shownReport == Open) {
            if (selectedRangeCount(Open) != 1) {
                MsgBoxInfoCaption("Please select one Position only", "Input Error");
                return;
            }
            const int row = currentRowId(Open);
            const int* index = row >= 0 ? m_grids[Open]->model().rowDataAs<int>(row) : nullptr;
            const auto& positions = ActiveClientRiskArrays().positions;
            if (!index || *index < 0 || *index >= static_cast<int>(positions.size()))
                return;
            const PositionRecord& p = positions[static_cast<size_t>(*index)];
            // A new order for the position's security: the form's holdings
            // mode would read a holding at a position's index.
            OrderFormParams params;
            params.index = p.sec_index;
            params.side = p.net_qty > 0 ? 'S' : 'B';
            params.orderMark = p.product_code;
            params.companionIndex = otherExchangeIndex(p.sec_index);
            params.price = 0;
            OpenOrderForm(params, this, 1);
        } else if (m_shownReport == Holdings) {
            if (selectedRangeCount(Holdings) != 1) {
                MsgBoxInfoCaption("Please select one Stock only", "Input Error");
                return;
            }
            step = 2;
            const int row = currentRowId(Holdings);
            const HoldingRowData* d = row >= 0 ? m_grids[Holdings]->model().rowDataAs<HoldingRowData>(row) : nullptr;
            const auto& holdings = ActiveClientRiskArrays().holdings;
            const PositionRecord* held = HoldingOfRow(d, holdings);
            if (!held)
                return;
            const PositionRecord& h = *held;
            OrderFormParams params;
            params.index = d->holding_index;
            params.orderMark = -1;
            params.companionIndex = otherExchangeIndex(h.sec_index);
            if (d->total_flag) {
                const int qty = m_grids[Holdings]->model().text(row, 8).toInt();
                WriteLog(0, formatText("Total Row clicked [%d] with Qty [%d]", d->holding_index, qty));
                params.side = qty >= 0 ? 'S' : 'B';
                params.quantity = qty;
            } else {
                WriteLog(0, formatText("Individual Row clicked [%d]", d->holding_index));
                params.side = h.stock_balance >= 0 ? 'S' : 'B';
                WriteLog(0, formatText("stock balance [%d], buysellIndicator [%c]", h.stock_balance, params.side));
            }
            params.price = priceBySide(h.sec_index, params.side, true);
            OpenOrderForm(params, this, 8);
        }
    } catch (const std::exception& e) {
        WriteLog(0, formatText("SException in OnPositionPlaceOrder [%d] : [%s]", step, e.what()));
    } catch (...) {
        WriteLog(0, formatText("Exception in OnPositionPlaceOrder ; ActiveClientIdx %d, at %d", pv_user_info.client_index,
                               step));
    }
}

void CNetPosition::OnMenuTodaysposPlaceOrder()
{
    SetAccessTime();
    try {
        if (!requireActiveClient())
            return;
        if (selectedRangeCount(Todays) != 1) {
            MsgBoxInfoCaption("Please select one Position only", "Input Error");
            return;
        }
        const int row = currentRowId(Todays);
        if (row < 0) {
            MsgBoxInfoCaption("No Row Data Found", "Input Error");
            return;
        }
        const TodaysPositionRecord* rec = nullptr;
        for (const TodaysPositionRecord& r : ActiveClientRiskArrays().todays_positions)
            if (r.grid_row == row) {
                rec = &r;
                break;
            }
        if (!rec) {
            MsgBoxInfoCaption("No Ref Data Found", "Input Error");
            return;
        }
        if (rec->product_code == 7) {
            MsgBoxInfoCaption("DDS Position can't be squared off from here.", "Input Error");
            return;
        }
        OrderFormParams params;
        params.index = rec->sec_index;
        params.side = rec->buy_traded_qty > rec->sell_traded_qty ? 'S' : 'B';
        params.quantity = std::abs(rec->net_qty);
        params.orderMark = rec->product_code;
        params.clientCode = clientText();
        params.companionIndex = otherExchangeIndex(rec->sec_index);
        params.price = priceBySide(rec->sec_index, params.side, false);
        WriteLog(0, displayKey(rec->sec_index));
        OpenOrderForm(params, this, 14);
    } catch (...) {
        WriteLog(0, "Exception in OnMenuTodaysposPlaceOrder");
    }
}

void CNetPosition::OnPositionBasketOrder()
{
    SetAccessTime();
    try {
        if (!requireActiveClient())
            return;
        BasketService* basket = InstalledBasketService();
        if (!basket) {
            MsgBoxOk("Basket Order is not available in this version.");
            return;
        }
        ClientInfo* active = ActiveClientEntry();
        const bool dealer = dealerAtOwnSlot();
        if (m_shownReport == Open) {
            const auto ranges = ui::selectedRanges(*m_grids[Open]);
            if (ranges.empty()) {
                MsgBoxInfoCaption("Please select at least one position.", "Input Error");
                return;
            }
            if (ui::selectionCount(ranges) > 5) {
                MsgBoxInfoCaption("You can select max of 5 orders", "Input Error");
                return;
            }
            basket->reset();
            basket->setClient(dealer ? std::string(FixedTextView(active->positions_client))
                                     : std::string(FixedTextView(active->client_code)));
            const auto& positions = ActiveClientRiskArrays().positions;
            const auto table = SecurityTable::current();
            int legs = 0;
            for (int row : ui::selectedRowIds(*m_grids[Open])) {
                if (legs >= 5)
                    break;
                const int* index = m_grids[Open]->model().rowDataAs<int>(row);
                if (!index || *index < 0 || *index >= static_cast<int>(positions.size()))
                    continue;
                const PositionRecord& p = positions[static_cast<size_t>(*index)];
                if (p.product_code == 5 || p.product_code == 7 || p.product_code == 8 || p.margin_type == "P")
                    continue;
                BasketLeg leg;
                leg.sec_index = p.sec_index;
                leg.product_code = p.product_code;
                leg.side = p.net_qty > 0 ? 'S' : p.net_qty < 0 ? 'B' : ' ';
                leg.price = leg.side == ' ' ? 0 : priceBySide(p.sec_index, leg.side, true);
                leg.quantity = table && table->valid(p.sec_index)
                    ? PositionMath::BasketLegQuantity(p.net_qty, TableRiskSecurities().facts(p.sec_index))
                    : std::abs(static_cast<long long>(p.net_qty));
                basket->setLeg(legs++, leg);
            }
            basket->refreshOrShow();
        } else if (m_shownReport == Holdings) {
            const auto ranges = ui::selectedRanges(*m_grids[Holdings]);
            const int count = ui::selectionCount(ranges);
            WriteLog(0, formatText("Tab :%d, Sel Pos :%d, Tot Pos :%d", m_shownReport, count,
                                   m_grids[Holdings]->model().rowTotal()));
            if (count < 1 || count > 10) {
                MsgBoxInfoCaption("You can select max of 5 Stocks", "Input Error");
                return;
            }
            basket->reset();
            basket->setClient(dealer ? std::string(FixedTextView(active->holdings_client))
                                     : std::string(FixedTextView(active->client_code)));
            const auto& holdings = ActiveClientRiskArrays().holdings;
            ui::GridModel& m = m_grids[Holdings]->model();
            const std::vector<int> selected = ui::selectedRowIds(*m_grids[Holdings]);
            int prevToken = -1, prevType = -1, groupToken = -1, legs = 0;
            for (int row : m.preorder()) {
                if (std::find(selected.begin(), selected.end(), row) == selected.end()) {
                    prevToken = prevType = -1;
                    continue;
                }
                const HoldingRowData* d = m.rowDataAs<HoldingRowData>(row);
                const PositionRecord* held = HoldingOfRow(d, holdings);
                if (!held)
                    continue;
                const PositionRecord& h = *held;
                if (d->total_flag)
                    groupToken = d->token;
                else if (d->token == groupToken)
                    continue;
                if (h.token == prevToken && h.product_code == prevType)
                    continue;
                prevToken = h.token;
                prevType = h.product_code;
                if (legs >= 5) {
                    MsgBoxInfoCaption("You can select max of 5 Stocks", "Input Error");
                    basket->destroy();
                    return;
                }
                const int qty = d->total_flag ? m.text(row, 8).toInt() : h.stock_balance;
                BasketLeg leg;
                leg.sec_index = h.sec_index;
                leg.product_code = 0;
                leg.quantity = std::abs(qty);
                leg.side = qty >= 0 ? 'S' : 'B';
                leg.price = 0;
                WriteLog(0, formatText("total row :%d,value %d,%d,%d", d->total_flag ? 1 : 0, qty, d->holding_index,
                                       h.stock_balance));
                basket->setLeg(legs++, leg);
            }
            basket->refreshOrShow();
        }
    } catch (...) {
        WriteLog(0, "Exception in OnPositionBasketOrder");
    }
}

void CNetPosition::OnTodaysPositionBasketOrder()
{
    SetAccessTime();
    try {
        if (!requireActiveClient())
            return;
        const std::vector<int> selected = ui::selectedRowIds(*m_grids[Todays]);
        if (selected.empty() || selected.size() > 5) {
            MsgBoxInfoCaption("You can select max of 5 Positions and Minimum 1 Positions", "Input Error");
            return;
        }
        BasketService* basket = InstalledBasketService();
        if (!basket) {
            MsgBoxOk("Basket Order is not available in this version.");
            return;
        }
        basket->reset();
        basket->setClient(clientText());
        int legs = 0;
        for (int row : selected) {
            for (const TodaysPositionRecord& r : ActiveClientRiskArrays().todays_positions) {
                if (r.grid_row != row || legs >= 5)
                    continue;
                BasketLeg leg;
                leg.sec_index = r.sec_index;
                leg.product_code = r.product_code;
                leg.quantity = r.sec_index >= 0
                    ? PositionMath::BasketLegQuantity(r.net_qty, TableRiskSecurities().facts(r.sec_index))
                    : std::abs(static_cast<long long>(r.net_qty));
                leg.side = r.buy_traded_qty > r.sell_traded_qty ? 'S' : 'B';
                leg.price = priceBySide(r.sec_index, leg.side, true);
                basket->setLeg(legs++, leg);
            }
        }
        basket->refreshOrShow();
    } catch (...) {
        WriteLog(0, "Exception in OnTodaysPositionBasketOrder");
    }
}

void CNetPosition::OnPositionConverttodelivery()
{
    SetAccessTime();
    try {
        if (!requireActiveClient())
            return;
        if (m_shownReport != Open && m_shownReport != Todays)
            return;
        if (selectedRangeCount(m_shownReport) != 1) {
            MsgBoxInfoCaption("Please select one Position only", "Input Error");
            return;
        }
        const int row = currentRowId(m_shownReport);
        int secIndex = -1, net = 0, recordIndex = -1, product = 0;
        std::string exchange;
        if (m_shownReport == Open) {
            const int* index = row >= 0 ? m_grids[Open]->model().rowDataAs<int>(row) : nullptr;
            const auto& positions = ActiveClientRiskArrays().positions;
            if (!index || *index < 0 || *index >= static_cast<int>(positions.size()))
                return;
            const PositionRecord& p = positions[static_cast<size_t>(*index)];
            secIndex = p.sec_index;
            net = p.net_qty;
            recordIndex = *index;
            product = p.product_code;
            exchange = p.exchange;
        } else {
            if (row < 0) {
                MsgBoxInfoCaption("No Row Data Found", "Input Error");
                return;
            }
            const auto& todays = ActiveClientRiskArrays().todays_positions;
            for (size_t i = 0; i < todays.size(); ++i)
                if (todays[i].grid_row == row) {
                    recordIndex = static_cast<int>(i);
                    break;
                }
            if (recordIndex < 0) {
                MsgBoxInfoCaption("No Ref Data Found", "Input Error");
                return;
            }
            const TodaysPositionRecord& t = todays[static_cast<size_t>(recordIndex)];
            secIndex = t.sec_index;
            net = t.net_qty;
            product = t.product_code;
            exchange = t.exchange;
        }
        if (product != 5) {
            MsgBoxInfoCaption("Position other than Maxivane cannot be converted to Delivery.", "Input Error");
            return;
        }
        ConvertPositionService* convert = InstalledConvertPositionService();
        if (!convert) {
            MsgBoxOk("Convert to Delivery is not available in this version.");
            return;
        }
        convert->ShowConvertPositionForm(this, clientText(), secIndex, exchangeName(exchange), net,
                                         net < 1 ? 'S' : 'B', recordIndex, m_shownReport == Open ? 1 : 2);
    } catch (...) {
        WriteLog(0, "Exception in OnPositionConverttodelivery");
    }
}

void CNetPosition::OnShowColumnChooser()
{
    if (m_shownReport == Todays || m_shownReport == Holdings || m_shownReport == Open)
        m_grids[m_shownReport]->showColumnChooser();
}

void CNetPosition::OnSaveAsCsv()
{
    SetAccessTime();
    try {
        ui::FilePrompt prompt;
        prompt.filter = "CSV Files (*.csv)";
        prompt.defaultSuffix = "csv";
        const std::optional<std::string> path = ui::prompter().pickSavePath(prompt);
        if (!path || path->empty())
            return; // cancelled: nothing to save, nothing to report
        WriteLog(0, "File Path :" + *path);
        SaveShownGridCsv(*path);
    } catch (...) {
        WriteLog(0, "Exception in CNetPosition::OnSaveAsCsv");
    }
}

bool CNetPosition::SaveShownGridCsv(const std::string& path)
{
    if (m_shownReport != Open && m_shownReport != Holdings && m_shownReport != Todays)
        return false;
    ui::GridView* g = m_grids[m_shownReport];
    const ui::GridModel& m = g->model();
    std::string out;
    std::vector<int> columns;
    for (int c = 0; c < m.columns(); ++c)
        if (m_shownReport != Todays || !g->isColumnHidden(c))
            columns.push_back(c);
    for (size_t i = 0; i < columns.size(); ++i) {
        const QString name = m.columnName(columns[i]).replace(QLatin1Char('\n'), QLatin1Char(' '));
        if (m_shownReport == Todays)
            out += csvCell(name) + ",";
        else
            out += (i ? "," : "") + csvCell(name);
    }
    out += "\n";
    for (int row : m.preorder()) {
        if (m_shownReport == Open && (m.isGroup(row) || !g->isRowShown(row)))
            continue;
        std::string line;
        for (size_t i = 0; i < columns.size(); ++i)
            line += (i ? "," : "") + csvCell(m.text(row, columns[i]));
        out += line + "\n";
    }
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) {
        MsgBoxOk("Unable to Save File");
        return false;
    }
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    if (std::fclose(f) != 0 || !ok) {
        MsgBoxOk("Unable to Save File");
        return false;
    }
    return true;
}

void CNetPosition::Select_Row_ByChar(char ch)
{
    try {
        const long long now = pf::clock().nowSeconds();
        if (now - m_typeAheadStart <= 1) {
            m_typeAhead += ch;
        } else {
            m_typeAhead = std::string(1, ch);
            m_typeAheadStart = now;
        }
        if (m_shownReport < Open || m_shownReport > Todays)
            return;
        ui::GridView* g = m_grids[m_shownReport];
        const ui::GridModel& m = g->model();
        const QString prefix = QString::fromStdString(m_typeAhead);
        for (int row : m.preorder()) {
            if (m_shownReport != Holdings && m.isGroup(row))
                continue;
            if (m.text(row, 0).startsWith(prefix, Qt::CaseSensitive)) {
                ui::setCurrentRow(*g, row);
                return;
            }
        }
    } catch (...) {
        WriteLog(0, "Exception in CNetPosition :: Select_Row_ByChar");
    }
}

bool CNetPosition::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const bool shift = key->modifiers() & Qt::ShiftModifier;
    const bool ctrl = key->modifiers() & Qt::ControlModifier;
    if (key->key() == Qt::Key_F5 || (shift && key->key() == Qt::Key_R && watched != m_client)) {
        OnRefresh();
        return true;
    }
    // Letters typed into the client edit stay there: a dealer types codes.
    if (watched == m_client)
        return QWidget::eventFilter(watched, event);
    if (shift && !ctrl) {
        const int tab = key->key() == Qt::Key_L ? 0
            : key->key() == Qt::Key_D           ? 1
            : key->key() == Qt::Key_P           ? 2
            : key->key() == Qt::Key_U           ? 3
            : key->key() == Qt::Key_S           ? 4
                                                : -1;
        if (tab >= 0) {
            SelectReportTab(tab);
            return true;
        }
    }
    // Type-ahead belongs to the grids.
    if (qobject_cast<QAbstractButton*>(watched) || qobject_cast<QTabBar*>(watched) || watched == m_tabs)
        return QWidget::eventFilter(watched, event);
    if (!ctrl && key->key() >= 'A' && key->key() <= '\\' && !key->text().isEmpty()) {
        Select_Row_ByChar(key->text().at(0).toLatin1());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CNetPosition::contextMenuEvent(QContextMenuEvent* event)
{
    OnContextMenu(event->globalPos());
}

std::vector<CNetPosition::MenuEntry> CNetPosition::contextMenuEntries()
{
    std::vector<MenuEntry> menu;
    if (m_busy)
        return menu;
    m_shownReport = std::max(0, DataIndexOfCaption(m_tabs->tabText(m_tabs->currentIndex()).toStdString()));
    if (m_shownReport == Unbilled)
        return menu;
    auto add = [&menu](const std::string& text, bool enabled, std::function<void()> run) {
        menu.push_back({text, enabled, std::move(run)});
    };
    if (m_shownReport == Limits) {
        add("&Refresh", true, [this] { OnRefresh(); });
    } else if (m_shownReport == Open) {
        m_squareOffAllowed = false;
        m_orderAllowed = true;
        m_convertAllowed = false;
        const int row = currentRowId(Open);
        const int* index = row >= 0 ? m_grids[Open]->model().rowDataAs<int>(row) : nullptr;
        const auto& positions = ActiveClientRiskArrays().positions;
        if (index && *index >= 0 && *index < static_cast<int>(positions.size())) {
            const PositionRecord& p = positions[static_cast<size_t>(*index)];
            const int pc = p.product_code;
            if ((pc == 0 || pc == 4 || pc == 5 || pc == 6 || pc == 8 || pc == 12) && p.net_qty != 0)
                m_squareOffAllowed = true;
            m_convertAllowed = pc == 5 && p.net_qty != 0 && !factsOf(p.sec_index).currency;
        }
        add("&Refresh", true, [this] { OnRefresh(); });
        add("&Square-Off", m_squareOffAllowed, [this] { OnPositionSquareoff(); });
        add("&Basket Order", m_orderAllowed, [this] { OnPositionBasketOrder(); });
        add("Save as CS&V", true, [this] { OnSaveAsCsv(); });
        add("&Convert to Delivery", m_convertAllowed, [this] { OnPositionConverttodelivery(); });
        add("Show Column Chooser", true, [this] { OnShowColumnChooser(); });
    } else if (m_shownReport == Holdings) {
        m_squareOffAllowed = false;
        m_orderAllowed = true;
        m_pledge0Allowed = m_pledge1Allowed = false;
        bool placeOrder = true, basket = true;
        const auto& holdings = ActiveClientRiskArrays().holdings;
        const std::vector<int> selected = ui::selectedRowIds(*m_grids[Holdings]);
        if (selected.empty())
            placeOrder = false;
        for (int row : selected) {
            const HoldingRowData* d = m_grids[Holdings]->model().rowDataAs<HoldingRowData>(row);
            if (!d) {
                placeOrder = basket = false;
                continue;
            }
            if (d->token == kGrandTotalToken)
                return {}; // a selection with the grand total has no menu
            if (d->holding_index < 0)
                m_orderAllowed = false;
            else if (d->holding_index < static_cast<int>(holdings.size())) {
                const int type = holdings[static_cast<size_t>(d->holding_index)].product_code;
                m_pledge0Allowed = m_pledge0Allowed || type == 1;
                m_pledge1Allowed = m_pledge1Allowed || type == 9;
            }
        }
        if (m_pledge0Allowed && m_pledge1Allowed)
            m_pledge0Allowed = m_pledge1Allowed = false;
        add("&Refresh", true, [this] { OnRefresh(); });
        if (placeOrder)
            add("&Place Order", m_orderAllowed, [this] { OnPositionPlaceOrder(); });
        if (basket)
            add("&Basket Order", m_orderAllowed, [this] { OnPositionBasketOrder(); });
        add("Save as CS&V", true, [this] { OnSaveAsCsv(); });
        add("E&xpand All", true, [this] { OnExpandAll(); });
        add("C&ollapse All", true, [this] { OnCollapseAll(); });
        add("Sho&w Column Chooser", true, [this] { OnShowColumnChooser(); });
        const std::string funding = segmentNameOfId(4);
        add(formatText("Mark to %s", funding.c_str()), m_pledge0Allowed, [this] { ShowPledgeUnpledge(0); });
        add("Mark to Delivery", m_pledge1Allowed, [this] { ShowPledgeUnpledge(1); });
    } else if (m_shownReport == Todays) {
        const int row = currentRowId(Todays);
        m_convertAllowed = false;
        bool squareOff = row >= 0;
        if (row >= 0) {
            if (m_grids[Todays]->model().text(row, 10) == QStringLiteral("0"))
                squareOff = false;
            for (const TodaysPositionRecord& r : ActiveClientRiskArrays().todays_positions)
                if (r.grid_row == row)
                    m_convertAllowed = r.product_code == 5 && r.net_qty != 0 && !factsOf(r.sec_index).currency;
        }
        if (squareOff)
            add("&Square Off", true, [this] { OnMenuTodaysposPlaceOrder(); });
        add("Refresh", true, [this] { OnRefresh(); });
        add("Show Column Chooser", true, [this] { OnShowColumnChooser(); });
        add("Place Basket Order", true, [this] { OnTodaysPositionBasketOrder(); });
        if (m_grids[Todays]->model().rowTotal() > 0) {
            add("Save as CS&V", true, [this] { OnSaveAsCsv(); });
            if (row >= 0)
                add("&Convert to Delivery", m_convertAllowed, [this] { OnPositionConverttodelivery(); });
        }
    }
    return menu;
}

void CNetPosition::OnContextMenu(const QPoint& globalPos)
{
    SetAccessTime();
    int step = 0;
    try {
        const std::vector<MenuEntry> entries = contextMenuEntries();
        step = 1;
        if (entries.empty())
            return;
        QMenu menu(this);
        for (const MenuEntry& e : entries) {
            QAction* a = menu.addAction(QString::fromStdString(e.text));
            a->setEnabled(e.enabled);
            QObject::connect(a, &QAction::triggered, [run = e.run] {
                if (!RefuseWhileLocked("proceed."))
                    run();
            });
        }
        step = 2;
        menu.exec(globalPos);
    } catch (...) {
        WriteLog(0, formatText("Exception in OnContextMenu(CNP) at [%d]", step));
    }
}
