#include "orders/CTradeView.h"

// Server and order headers come before any Qt header: some of their members
// are named like Qt's keyword macros.
#include "server/ExchangeCancel.h"
#include "server/RequestServer.h"
#include "server/SecurityTable.h"

#include "app/base/ActivityStamp.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "frame/CMainFrame.h"
#include "frame/FrameThemes.h"
#include "frame/controls/CMyReportCtrl.h"
#include "orders/ClientOrderStore.h"
#include "orders/OrderBookCommands.h"
#include "orders/OrderBookRules.h"
#include "orders/OrderMessages.h"
#include "orders/OrderReportRequest.h"
#include "server/OrderSecurity.h"
#include "frame/WindowOpeners.h"

#include "pf/threads.h"
#include "ui/document_area.h"
#include "ui/prompter.h"
#include "ui/rgb.h"
#include "ui/ui_thread.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

CTradeView* g_pTradeView = nullptr;

namespace trade_view_detail {
namespace {

constexpr uint32_t kBuyColour = 0x00C00000u;
constexpr uint32_t kSellColour = 0x000000C0u;
constexpr uint32_t kDarkBuyColour = 0x00FFB060u;
constexpr uint32_t kDarkSellColour = 0x006E6EFFu;

enum Column { kSecurity, kMarket, kClient, kOrderNo, kTradeNo, kXTradeNo, kBuySell, kQty, kPrice, kMark, kTime };
struct ColumnSpec {
    const char* caption;
    int width;
};
constexpr ColumnSpec kColumnSpecs[CTradeView::kColumns] = {
    {"Security", 120}, {"ME", 65},      {"Client", 80}, {"Order No", 120},      {"Trade No", 120},   {"X Trade No", 120},
    {"B/S", 40},       {"Qty/Lot", 80}, {"Price", 80},  {"Delivery Mark", 80}, {"Date Time", 100},
};

std::mutex g_downloadMutex;
std::condition_variable g_downloadDone;
int g_downloads = 0; // guarded by g_downloadMutex

QString qs(std::string_view text) { return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())); }

int securityOf(int token, const std::string& exchange) { return OrderSearchToken(token, exchange); }

int securityCount()
{
    const auto table = SecurityTable::current();
    return table ? table->count() : 0;
}

// The download on its worker: a fresh array handed to the view, which takes
// it only if it is still open.
void GetTradeReportThread(QPointer<CTradeView> view, int encryption, std::string text, std::string client,
                          std::shared_ptr<ExchangeCancel> cancel)
{
    TradeReportOutcome outcome;
    try {
        WriteLog(0, "Entry :GetTradeReportThread");
        std::string reply;
        long length = 0;
        const int status = RequestServer(encryption, kTradeBookTransCode, text, reply, length, cancel.get());
        if (cancel->cancelled()) {
            WriteLog(0, "Trade Report download cancelled: the book closed");
            return;
        }
        outcome = ReadTradeReportReply(status, reply, client, &securityOf);
    } catch (const std::exception& e) {
        WriteLog(0, "SException download Trade Report : [" + std::string(e.what()) + "]");
        outcome = {};
        outcome.kind = TradeReportOutcome::ErrorBox;
        outcome.text = "Unable to download Trade Report. Please Try Again...";
    } catch (...) {
        WriteLog(0, "Exception while getting Trade Report");
        outcome = {};
        outcome.kind = TradeReportOutcome::ErrorBox;
        outcome.text = "Unable to download Trade Report. Please Try Again...";
    }
    auto shared = std::make_shared<TradeReportOutcome>(std::move(outcome));
    ui::UiThread::post([view, shared] {
        if (view)
            view->takeResult(std::move(*shared));
    });
    WriteLog(0, "Exit :GetTradeReportThread");
}

// What a worker needs to make the grid's rows: the model to fill (made on the
// UI thread, touched by nobody else until the worker posts it back) and the
// trades of one download.
struct BuildJob {
    std::shared_ptr<ui::GridModel> model;
    std::shared_ptr<const std::vector<TradeInfo>> trades;
    int filter = -1;
    int securities = 0;
    bool dark = false;
};

// On the worker: one row per trade the filter keeps, then the groups.
void fillTradeRows(const BuildJob& job)
{
    try {
        ui::GridModel& m = *job.model;
        for (const TradeInfo& t : *job.trades) {
            if ((job.filter != -1 && t.sec_index != job.filter) || t.sec_index >= job.securities)
                continue;
            const int row = m.addRow();
            if (row < 0)
                continue;
            char number[64];
            m.setText(row, kSecurity, qs(t.security));
            m.setText(row, kMarket, qs(OrderMarketName(t.exchange, false)));
            m.setText(row, kClient, qs(t.client_code));
            std::snprintf(number, sizeof number, "%.0lf", t.order_no);
            m.setText(row, kOrderNo, QString::fromLatin1(number));
            std::snprintf(number, sizeof number, "%.0lf", t.trade_no);
            m.setText(row, kTradeNo, QString::fromLatin1(number));
            m.setText(row, kXTradeNo, qs(t.exch_trade_no));
            m.setText(row, kBuySell, qs(t.buy_sell));
            m.setText(row, kQty, QString::number(t.quantity));
            m.setValue(row, kQty, t.quantity);
            m.setText(row, kPrice, qs(TradePriceText(t)));
            m.setValue(row, kPrice, t.price);
            m.setText(row, kMark, qs(t.mark_name));
            m.setText(row, kTime, qs(t.time));
            const bool buy = !t.buy_sell.empty() && t.buy_sell[0] == 'B';
            const uint32_t colour = job.dark ? (buy ? kDarkBuyColour : kDarkSellColour) : (buy ? kBuyColour : kSellColour);
            for (int c = 0; c < CTradeView::kColumns; ++c)
                m.setTextColour(row, c, ui::rgbOf(colour));
            m.setRowData(row, t.row);
        }
        m.regroup();
    } catch (const std::exception& e) {
        WriteLog(0, "SException displaying Trade Report : [" + std::string(e.what()) + "]");
    } catch (...) {
        WriteLog(0, "Exception while displaying Trade Report");
    }
}

} // namespace
} // namespace trade_view_detail

CTradeView::CTradeView(QWidget* parent)
    : QWidget(parent)
    , m_trades(std::make_shared<const std::vector<TradeInfo>>())
{
    setObjectName(QStringLiteral("CTradeView"));
    auto* clientLabel = new QLabel(QStringLiteral("Client :"), this);
    clientLabel->setGeometry(8, 12, 50, 20);
    m_client = new QLineEdit(this);
    m_client->setObjectName(QStringLiteral("clientEdit"));
    m_client->setGeometry(60, 10, 90, 24);
    auto* prevLabel = new QLabel(QStringLiteral("Previous Trades :"), this);
    prevLabel->setGeometry(165, 12, 110, 20);
    m_previous = new QCheckBox(this);
    m_previous->setObjectName(QStringLiteral("previousTrades"));
    m_previous->setGeometry(278, 12, 20, 20);
    m_refresh = new QPushButton(QStringLiteral("Refresh"), this);
    m_refresh->setObjectName(QStringLiteral("refresh"));
    m_refresh->setGeometry(310, 10, 80, 24);
    connect(m_refresh, &QPushButton::clicked, this, [this] { OnTradeRefresh(); });
}

CTradeView::~CTradeView()
{
    if (m_grid)
        m_grid->saveLayout(gridStateName());
    if (g_pTradeView == this)
        g_pTradeView = nullptr;
}

void CTradeView::closeEvent(QCloseEvent* event)
{
    if (!m_closing && m_downloading) {
        WriteLog(0, formatText("RequestInit[%ld]ActiveFlag[%ld]", 1L, 0L));
        if (MyMessageBox("Trade data is currently being downloaded .. do you still want to close the Trade report?",
                         kProductCaption, MsgYesNo | MsgIconQuestion)
            != 6) {
            event->ignore();
            return;
        }
    }
    m_closing = true;
    // The download still out ends now; a reply already on its way is dropped.
    if (m_download)
        m_download->cancel();
    // Gone for the openers at once, even before the window is deleted.
    ++m_populateGen;
    m_awaitingSettle = false;
    if (g_pTradeView == this)
        g_pTradeView = nullptr;
    QWidget::closeEvent(event);
}

std::string CTradeView::gridStateName() const
{
    return std::string(FixedTextView(pv_user_info.user_id)) + "_TradeReportGrid";
}

void CTradeView::OnInitialUpdate(bool refresh)
{
    WriteLog(3, "Entry in CTradeView::OnInitialUpdate");
    g_pTradeView = this;
    m_grid = new CMyReportCtrl(this);
    connect(m_grid, &ui::GridView::expansionSettled, this, [this] {
        if (m_awaitingSettle)
            shown();
    });
    m_grid->setObjectName(QStringLiteral("tradeGrid"));
    QStringList names;
    for (const auto& c : trade_view_detail::kColumnSpecs)
        names << QString::fromLatin1(c.caption);
    m_grid->model().setColumns(names);
    for (int c = 0; c < kColumns; ++c)
        m_grid->setColumnWidth(c, trade_view_detail::kColumnSpecs[c].width);
    m_grid->setFrozenColumns(2);
    m_grid->setGroupColumns({trade_view_detail::kSecurity, trade_view_detail::kOrderNo});
    m_grid->setGroupByBoxVisible(true);
    m_grid->setFilterBarVisible(true);
    m_grid->setFilterBarEmptyText(QStringLiteral("<ALL>"));
    m_grid->loadLayout(gridStateName());
    m_grid->tree()->installEventFilter(this);
    m_grid->tree()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_grid->tree(), &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (m_busy)
            return;
        try {
            ui::MenuSpec menu;
            menu.items = {{32941, "Select Columns", false, true, {}}, {32942, "Expand All", false, true, {}},
                          {32943, "Collapse All", false, true, {}}, {33032, "Save as CS&V", false, true, {}},
                          {32896, "Trade S&ummary", false, true, {}}};
            const QPoint g = m_grid->tree()->viewport()->mapToGlobal(at);
            switch (ui::prompter().pickMenuCommand(menu, g.x(), g.y())) {
            case 32941: m_grid->showColumnChooser(); break;
            case 32942: m_grid->expandAll(true); break;
            case 32943: m_grid->expandAll(false); break;
            case 33032: OnSaveAsCsv(); break;
            case 32896: OnTradeSummary(); break;
            default: break;
            }
        } catch (...) {
            WriteLog(0, "Exception in CTradeView::OnContextMenu");
        }
    });
    if (ClientInfo* active = ActiveClientEntry())
        m_client->setText(trade_view_detail::qs(FixedTextView(active->client_code)));
    m_client->setReadOnly(true);
    m_client->setEnabled(false);
    MyUpdate(2);
    m_grid->show();
    resizeEvent(nullptr);
    setTitle();
    m_refresh->setFocus();
    if (refresh)
        OnTradeRefresh();
}

void CTradeView::setTitle()
{
    const QString title = m_secFilter == -1 ? QStringLiteral("Trade Report [All]") : QStringLiteral("Trade Report [Filtered]");
    setWindowTitle(title);
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->setWindowTitle(title);
}

void CTradeView::resizeEvent(QResizeEvent* event)
{
    if (event)
        QWidget::resizeEvent(event);
    if (m_grid)
        m_grid->setGeometry(2, 45, std::max(0, width() - 4), std::max(0, height() - 47));
}

void CTradeView::MyUpdate(int kind)
{
    try {
        if (!m_grid)
            return;
        if (kind == 1)
            return; // the grid takes the application font
        const bool dark = IsDarkTheme();
        m_grid->setDefaultColours(ui::defaultColour(),
                                  dark ? ui::fromQColor(palette().color(QPalette::Base)) : ui::rgbOf(0x00EBEBEBu));
    } catch (...) {
        WriteLog(0, "Exception in TradeView MyUpdate");
    }
}

void CTradeView::OnTradeRefresh()
{
    if (RefuseWhileLocked("View Trades."))
        return;
    SetAccessTime();
    download();
}

void CTradeView::download()
{
    if (m_busy)
        return;
    setTitle();
    ClientInfo* active = ActiveClientEntry();
    const std::string client = active ? std::string(FixedTextView(active->client_code)) : std::string();
    OrderUserMessage(3, ' ', "Downloading Trade Report for Client :" + client);
    TradeReportParams p;
    p.clientId = active ? std::string(FixedTextView(active->user_id)) : std::string(); // the client id
    p.userId = FixedTextView(pv_user_info.user_id);
    p.clientCode = client;
    p.previousTrades = m_previous->isChecked();
    const std::string text = BuildTradeReportRequest(p);
    ++m_populateGen;
    m_awaitingSettle = false;
    m_grid->model().clearRows();
    m_grid->model().setAutoFlush(true);
    m_grid->setEnabled(false);
    m_refresh->setEnabled(false);
    m_busy = true;
    m_downloading = true;
    {
        std::lock_guard lock(trade_view_detail::g_downloadMutex);
        ++trade_view_detail::g_downloads;
    }
    QPointer<CTradeView> self(this);
    const int enc = pv_user_info.encrypt;
    auto cancel = std::make_shared<ExchangeCancel>();
    m_download = cancel;
    const bool started = pf::Worker::start("GetTradeReportThread", [self, enc, text, client, cancel] {
        trade_view_detail::GetTradeReportThread(self, enc, text, client, cancel);
        std::lock_guard lock(trade_view_detail::g_downloadMutex);
        --trade_view_detail::g_downloads;
        trade_view_detail::g_downloadDone.notify_all();
    });
    if (!started) {
        std::lock_guard lock(trade_view_detail::g_downloadMutex);
        --trade_view_detail::g_downloads;
        m_busy = false;
        m_downloading = false;
        m_refresh->setEnabled(true);
        m_grid->setEnabled(true);
    }
    WriteLog(0, "Exit OnTradeRefresh");
}

void CTradeView::takeResult(TradeReportOutcome outcome)
{
    if (m_closing)
        return;
    m_downloading = false;
    // Busy until the grid shows the new trades (OnPopulate ends it).
    m_busy = true;
    m_previous->setChecked(false);
    switch (outcome.kind) {
    case TradeReportOutcome::Silent:
        m_trades = std::make_shared<const std::vector<TradeInfo>>();
        break;
    case TradeReportOutcome::ErrorBox:
        m_trades = std::make_shared<const std::vector<TradeInfo>>();
        OrderUserMessage(3, ' ', outcome.text);
        MsgBoxInfo(outcome.text);
        break;
    case TradeReportOutcome::Load:
        m_trades = std::make_shared<const std::vector<TradeInfo>>(std::move(outcome.trades));
        OrderUserMessage(3, ' ', outcome.text);
        break;
    }
    OnPopulate();
}

void CTradeView::OnPopulate()
{
    WriteLog(0, "Entry CTradeView::OnPopulate : Filter Sec Index [" + std::to_string(m_secFilter) + "]");
    const int generation = ++m_populateGen;
    m_awaitingSettle = false;
    m_grid->model().clearRows();
    // The rows are made on a worker in a model of the grid's columns and
    // groups that nothing shows yet; the grid takes them whole (one reset), so
    // a large report never holds the UI thread for its rows. A newer filling
    // or refresh drops an older one's rows unseen.
    auto built = std::make_shared<ui::GridModel>();
    built->setAutoFlush(false);
    built->setColumns(m_grid->model().columnNames());
    built->setGroupColumns(m_grid->model().groupColumns());
    trade_view_detail::BuildJob job{built, m_trades, m_secFilter, trade_view_detail::securityCount(), IsDarkTheme()};
    QPointer<CTradeView> self(this);
    {
        std::lock_guard lock(trade_view_detail::g_downloadMutex);
        ++trade_view_detail::g_downloads;
    }
    const bool started = pf::Worker::start("TradeReportRows", [self, job, generation]() mutable {
        trade_view_detail::fillTradeRows(job);
        job.trades.reset();
        ui::UiThread::post([self, built = std::move(job.model), generation] {
            if (self && self->m_populateGen == generation)
                self->showRows(*built);
        });
        std::lock_guard lock(trade_view_detail::g_downloadMutex);
        --trade_view_detail::g_downloads;
        trade_view_detail::g_downloadDone.notify_all();
    });
    if (!started) {
        {
            std::lock_guard lock(trade_view_detail::g_downloadMutex);
            --trade_view_detail::g_downloads;
        }
        trade_view_detail::fillTradeRows(job);
        showRows(*built);
    }
}

void CTradeView::showRows(ui::GridModel& built)
{
    try {
        m_grid->takeRows(built);
        // Thousands of groups open in slices: busy until the last is open.
        if (m_grid->isSettling()) {
            m_awaitingSettle = true;
            return;
        }
    } catch (const std::exception& e) {
        WriteLog(0, "SException displaying Trade Report : [" + std::string(e.what()) + "]");
    } catch (...) {
        WriteLog(0, "Exception while displaying Trade Report");
    }
    shown();
}

void CTradeView::shown()
{
    m_awaitingSettle = false;
    WriteLog(0, "Exit OnPopulate :Total Trades :" + std::to_string(m_trades->size()));
    populated();
}

void CTradeView::populated()
{
    m_busy = false;
    m_refresh->setEnabled(true);
    m_grid->setEnabled(true);
    if (m_followPending) {
        m_followPending = false;
        QTimer::singleShot(0, this, [this] { FollowNewTrades(); });
    }
}

void CTradeView::FollowNewTrades()
{
    // Not a user's command: a locked terminal keeps what it shows, silently.
    if (m_closing || IsTerminalLocked())
        return;
    if (m_busy) {
        m_followPending = true;
        return;
    }
    download();
}

void CTradeView::SetSecIndex(int securityIndex)
{
    WriteLog(0, "SetSecIndex: Sec Index [" + std::to_string(securityIndex) + "]");
    m_secFilter = securityIndex;
    OnTradeRefresh();
}

void CTradeView::ResetSecIndex()
{
    WriteLog(0, "ResetSecIndex : Resetting sec index");
    m_secFilter = -1;
    OnTradeRefresh();
}

void CTradeView::OnSaveAsCsv()
{
    try {
        ui::FilePrompt prompt;
        prompt.caption = "Save As";
        prompt.filter = "*.csv";
        prompt.defaultSuffix = "csv";
        prompt.confirmOverwrite = true;
        const auto path = ui::prompter().pickSavePath(prompt);
        WriteLog(3, "File Path :" + path.value_or(""));
        if (!path || path->empty() || !WriteGridCsv(*m_grid, *path))
            MsgBoxOk("Unable to Save File");
    } catch (...) {
        WriteLog(0, "Exception in CTradeView::OnSaveAsCsv");
    }
}

void CTradeView::OnTradeSummary()
{
    try {
        // The trades as the order summary reads orders: the rules are the same.
        std::vector<std::pair<OrderInfo, OrderSecurity>> rows;
        for (int rowId : m_grid->shownRows()) {
            if (m_grid->model().isGroup(rowId) || m_grid->model().isAutoGroup(rowId))
                continue;
            const int* index = m_grid->model().rowDataAs<int>(rowId);
            if (!index || *index < 0 || size_t(*index) >= m_trades->size())
                continue;
            const TradeInfo& t = (*m_trades)[size_t(*index)];
            OrderSecurity sec = OrderSecurityAt(t.sec_index);
            if (!sec.valid())
                continue;
            OrderInfo rec;
            CopyFixedText(rec.exchange, t.exchange);
            CopyFixedText(rec.buy_sell, t.buy_sell);
            rec.total_qty = t.quantity;
            rec.price = t.price;
            rec.order_no = t.order_no;
            rows.emplace_back(rec, std::move(sec));
        }
        MsgBoxInfoCaption(OrderSummaryText(SummariseOrders(rows)), "Trade Summary");
    } catch (...) {
        WriteLog(0, "Exception in OnTradeSummary");
    }
}

bool CTradeView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        try {
            const auto* key = static_cast<QKeyEvent*>(event);
            const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
            if (key->key() == Qt::Key_F5 && mods == Qt::NoModifier) {
                OnTradeRefresh();
                return true;
            }
            if (key->key() == Qt::Key_F8 && mods == Qt::NoModifier) {
                ResetSecIndex();
                return true;
            }
            if (key->key() == Qt::Key_T && mods == Qt::ShiftModifier) {
                OnTradeSummary();
                return true;
            }
            if (mods == Qt::ShiftModifier && (key->modifiers() & Qt::KeypadModifier)
                && (key->key() == Qt::Key_Plus || key->key() == Qt::Key_Minus)) {
                m_grid->expandAll(key->key() == Qt::Key_Plus);
                return true;
            }
        } catch (...) {
            WriteLog(0, "Exception in CTradeView::PreTranslateMessage");
        }
    }
    return QWidget::eventFilter(watched, event);
}

CTradeView* OpenTradeBook(int securityIndex)
{
    if (RefuseWhileLocked("View Trades."))
        return nullptr;
    SetAccessTime();
    // Every opener (F8, the order form's Shift+F8, the market watch) comes
    // through here, so the login's view rights are checked here once.
    if (const auto& rights = appWindowServices().viewRights; rights && !rights()) {
        MsgBoxOk("You don't have access to view Trade Report");
        return nullptr;
    }
    if (CTradeView* open = g_pTradeView) {
        if (CMainFrame* frame = g_pMainFrame.load(); frame && frame->Documents())
            frame->Documents()->activateDocument(open);
        open->SetSecIndex(securityIndex);
        return open;
    }
    ClientInfo* active = ActiveClientEntry();
    if (!active || !active->active) {
        MsgBoxOk("Activate Client for Trade Report");
        return nullptr;
    }
    auto* view = new CTradeView;
    view->SetSecIndexQuiet(securityIndex);
    if (CMainFrame* frame = g_pMainFrame.load(); frame && frame->Documents()) {
        frame->Documents()->addDocument(view, QStringLiteral("Trade Report [All]"));
    } else {
        view->setAttribute(Qt::WA_DeleteOnClose);
        view->resize(1100, 400);
        view->show();
    }
    view->OnInitialUpdate();
    return view;
}

bool WaitTradeReportDownloads(int timeoutMs)
{
    std::unique_lock lock(trade_view_detail::g_downloadMutex);
    return trade_view_detail::g_downloadDone.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                           [] { return trade_view_detail::g_downloads == 0; });
}
