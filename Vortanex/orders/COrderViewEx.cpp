#include "orders/COrderViewEx.h"

// Server and order headers come before any Qt header: some of their members
// are named like Qt's keyword macros.
#include "server/ExchangeCancel.h"
#include "server/RequestServer.h"
#include "server/SecurityTable.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "frame/CMainFrame.h"
#include "frame/FrameThemes.h"
#include "frame/controls/CMyReportCtrl.h"
#include "orders/OrderBookCommands.h"
#include "orders/OrderBookToolBar.h"
#include "orders/ClientOrderStore.h"
#include "orders/OrderConfirmation.h"
#include "orders/OrderInfo.h"
#include "orders/OrderMessages.h"
#include "orders/OrderReportRequest.h"
#include "server/OrderSecurity.h"

#include "pf/threads.h"
#include "ui/document_area.h"
#include "ui/grid_model.h"
#include "ui/ui_thread.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QTreeView>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <cstdio>
#include <cstdlib>

std::atomic<int> g_nPendingSecIndex {-1};
std::recursive_mutex g_csOrderReportUpdate;
std::recursive_mutex g_csOrderGridInsert;
std::recursive_mutex g_csOrderGridUpdate;
COrderViewEx* g_pOrderViewEx = nullptr;

namespace order_view_ex_detail {
namespace {

// Row text colours: buy orders blue, sell orders red (0x00BBGGRR); on the
// dark themes' background lighter shades of both, which stay readable.
constexpr uint32_t kBuyColour = 0x00C00000u;
constexpr uint32_t kSellColour = 0x000000C0u;
constexpr uint32_t kDarkBuyColour = 0x00FFB060u;  // RGB(96, 176, 255)
constexpr uint32_t kDarkSellColour = 0x006E6EFFu; // RGB(255, 110, 110)
constexpr uint32_t kGridColour = 0x00EBEBEBu;     // RGB(235, 235, 235)

enum Column {
    kSecurity,
    kMarket,
    kClient,
    kOrderNo,
    kExchOrderNo,
    kBuySell,
    kTotalQty,
    kPrice,
    kTrigger,
    kOpenQty,
    kStatus,
    kTime,
    kMark,
    kDisclosed,
    kUserId,
};

struct ColumnSpec {
    const char* caption;
    int width;
};
constexpr ColumnSpec kColumnSpecs[COrderViewEx::kColumns] = {
    {"Security", 120},
    {"ME", 65},
    {"Client", 80},
    {"Order No", 120},
    {"X Order No", 120},
    {"B/S", 40},
    {"Tot. Qty/Lot", 80},
    {"Price", 80},
    {"Tri. Price", 80},
    {"Open Qty/Lot", 80},
    {"Status", 50},
    {"Activity Time", 120},
    {"Delv. Mark", 80},
    {"Disc. Qty/Lot", 50},
    {"UserId", 80},
};

// The link through which the order store and the feed reach the book. It
// outlives every view: the store may ask it from any thread while a view
// closes, and then learns the book is gone instead of touching a freed window.
class BookLink final : public OrderBookLink {
public:
    bool isOpen() const override { return m_open.load(); }
    bool isIdle() const override { return !m_busy.load(); }
    std::string clientFilter() const override
    {
        std::lock_guard lock(m_mutex);
        return m_client;
    }
    void storeChanged(int code, int index, const std::string& text) override
    {
        ui::WindowRef ref;
        {
            std::lock_guard lock(m_mutex);
            ref = m_ref;
        }
        ui::mailbox::post(ref, ui::Note {ui::NoteId::OrderBook, code, index, text});
    }

    void open(ui::WindowRef ref)
    {
        {
            std::lock_guard lock(m_mutex);
            m_ref = std::move(ref);
            m_client.clear();
        }
        m_busy.store(false);
        m_open.store(true);
        SetOrderBookLink(this);
    }
    void close()
    {
        m_open.store(false);
        {
            std::lock_guard lock(m_mutex);
            m_ref = {};
            m_client.clear();
        }
        if (CurrentOrderBookLink() == this)
            SetOrderBookLink(nullptr);
    }
    void setBusy(bool busy) { m_busy.store(busy); }
    void setClient(const std::string& client)
    {
        std::lock_guard lock(m_mutex);
        m_client = client;
    }

private:
    std::atomic<bool> m_open {false};
    std::atomic<bool> m_busy {false};
    mutable std::mutex m_mutex;
    ui::WindowRef m_ref;  // guarded by m_mutex
    std::string m_client; // guarded by m_mutex
};

BookLink& bookLink()
{
    static BookLink link;
    return link;
}

// Running downloads, so that exit and tests can wait for them.
std::mutex g_downloadMutex;
std::condition_variable g_downloadDone;
int g_downloads = 0; // guarded by g_downloadMutex
// Ends the running downloads' exchanges (the exit); replaced once used.
std::shared_ptr<ExchangeCancel> g_downloadCancel; // guarded by g_downloadMutex

struct DownloadJob {
    ui::WindowRef book;
    int encryption = 0;
    std::string text;
    std::string client;
    std::shared_ptr<ExchangeCancel> cancel;
};

void post(const ui::WindowRef& book, int code, const std::string& text = {})
{
    ui::mailbox::post(book, ui::Note {ui::NoteId::OrderBook, code, 0, text});
}

// The download's body on its worker thread. It talks to the book only by
// posting notes to its weak reference: a book closed meanwhile gets nothing.
void GetOrderReportThreadEx(const DownloadJob& job)
{
    int step = 0;
    try {
        WriteLog(0, "Entry in GetOrderReportThreadEx");
        ResetOrderStoreCount(ActiveClientEntry());
        step = 1;
        std::string reply;
        long length = 0;
        const int status =
            RequestServer(job.encryption, kOrderBookTransCode, job.text, reply, length, job.cancel.get());
        if (job.cancel && job.cancel->cancelled()) {
            // The exit: the client table is about to go; nothing is written.
            WriteLog(0, "Order report download cancelled");
            return;
        }
        step = 2;
        OrderReportOutcome outcome = ReadOrderReportReply(status, reply, length);
        if (status == 200 && length <= 0)
            ResetOrderStoreCount(ActiveClientEntry());
        step = 3;
        switch (outcome.kind) {
        case OrderReportOutcome::Clear:
            post(job.book, 0);
            break;
        case OrderReportOutcome::ErrorBox:
            post(job.book, 4, outcome.text);
            break;
        case OrderReportOutcome::BarMessage:
            if (job.book.isAlive()) {
                post(job.book, 0);
                OrderUserMessage(3, ' ', outcome.text);
            }
            break;
        case OrderReportOutcome::Unidentified:
            ui::UiThread::post([text = outcome.text] { MsgBoxOk(text); });
            post(job.book, 0);
            break;
        case OrderReportOutcome::Load:
            // The store tells the book (rebuild, or clear after a failed
            // allocation) through the link, which reaches this same window.
            if (job.book.isAlive()) {
                FillOrderReport(ActiveClientEntry(), 1, outcome.count, outcome.rows, nullptr, job.client);
                // Closed while loading: the store is live only while its book is open.
                if (!job.book.isAlive())
                    ResetOrderStoreCount(ActiveClientEntry());
            }
            break;
        }
    } catch (const std::exception& e) {
        WriteLog(
            0, "SException in GetOrderReportThreadEx: [" + std::string(e.what()) + "][" + std::to_string(step) + "]");
        post(job.book, 0);
    } catch (...) {
        WriteLog(0, "Exception in GetOrderReportThreadEx 1");
        post(job.book, 0);
    }
}

bool startDownload(DownloadJob job)
{
    {
        std::lock_guard lock(g_downloadMutex);
        ++g_downloads;
        if (!g_downloadCancel || g_downloadCancel->cancelled())
            g_downloadCancel = std::make_shared<ExchangeCancel>();
        job.cancel = g_downloadCancel;
    }
    auto finished = [] {
        std::lock_guard lock(g_downloadMutex);
        --g_downloads;
        g_downloadDone.notify_all();
    };
    const bool started = pf::Worker::start("GetOrderReportThreadEx", [job = std::move(job), finished] {
        struct Done {
            decltype(finished) f;
            ~Done() { f(); }
        } done {finished};
        GetOrderReportThreadEx(job);
    });
    if (!started)
        finished();
    return started;
}

QString qs(std::string_view text) { return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())); }

QFont gridFont(const LogFontRecord& lf)
{
    QFont f;
    const std::string face(lf.face_name, strnlen(lf.face_name, sizeof lf.face_name));
    if (!face.empty())
        f.setFamily(QString::fromStdString(face));
    if (lf.height != 0)
        f.setPixelSize(std::abs(lf.height));
    if (lf.weight >= 600)
        f.setBold(true);
    f.setItalic(lf.italic != 0);
    return f;
}

// Prices of the currency segments show four decimals. The security's own
// flag decides when the security is known, its exchange code otherwise, the
// same way in every builder so that a refresh shows what an update showed.
bool fourDecimals(const OrderInfo& rec)
{
    if (rec.sec_index >= 0) {
        const OrderSecurity sec = OrderSecurityAt(rec.sec_index);
        if (sec.valid())
            return sec.currency != 0;
    }
    return IsCurrencyExchange(FixedTextView(rec.exchange));
}

int securityCount()
{
    const auto table = SecurityTable::current();
    return table ? table->count() : 0;
}

uint32_t rowColour(const OrderInfo& rec, bool dark)
{
    const bool buy = rec.buy_sell[0] == 'B';
    if (dark)
        return buy ? kDarkBuyColour : kDarkSellColour;
    return buy ? kBuyColour : kSellColour;
}

// One formatter for downloaded and live rows ("MCX-SX" in every builder
// too), so a refresh shows what an insert showed. Any thread that owns `m`.
void fillOrderRow(ui::GridModel& m, int rowId, const OrderInfo& rec, bool fromTable, bool dark)
{
    QString security = qs(FixedTextView(rec.security_name));
    if (fromTable) {
        const OrderSecurity sec = OrderSecurityAt(rec.sec_index);
        if (sec.valid())
            security = qs(sec.displayKey);
    }
    const OrderRowTexts t = FormatOrderRow(rec, fourDecimals(rec));
    m.setText(rowId, kSecurity, security);
    m.setText(rowId, kMarket, qs(t.market));
    m.setText(rowId, kClient, qs(FixedTextView(rec.client_code)));
    m.setText(rowId, kOrderNo, qs(t.orderNo));
    m.setText(rowId, kExchOrderNo, qs(FixedTextView(rec.exch_order_no)));
    m.setText(rowId, kBuySell, qs(t.buySell));
    m.setValue(rowId, kTotalQty, QVariant(static_cast<int>(rec.total_qty)));
    m.setText(rowId, kPrice, qs(t.price));
    m.setText(rowId, kTrigger, qs(t.trigger));
    m.setValue(rowId, kOpenQty, QVariant(static_cast<int>(rec.open_qty)));
    m.setText(rowId, kStatus, qs(FixedTextView(rec.status)));
    m.setText(rowId, kTime, qs(FixedTextView(rec.time)));
    m.setText(rowId, kMark, qs(t.mark));
    m.setValue(rowId, kDisclosed, QVariant(static_cast<int>(rec.disclosed)));
    m.setText(rowId, kUserId, qs(FixedTextView(rec.user_id)));
    const uint32_t colour = rowColour(rec, dark);
    for (int c = 0; c < COrderViewEx::kColumns; ++c)
        m.setTextColour(rowId, c, ui::rgbOf(colour));
}

// The rows of a whole report, made on a worker in a model nothing shows yet
// (made on the UI thread, touched by nobody else until it is posted back).
struct FillJob {
    std::shared_ptr<ui::GridModel> model;
    std::vector<OrderInfo> records; // the store as it was when the fill began
    int filter = -1;
    int securities = 0;
    bool dark = false;
    std::unordered_map<int, int> rowOf; // store index -> row id, made with the rows
};

void fillOrderRows(FillJob& job)
{
    ui::GridModel& m = *job.model;
    for (size_t i = 0; i < job.records.size(); ++i) {
        const OrderInfo& rec = job.records[i];
        try {
            if (rec.sec_index >= job.securities || (job.filter != -1 && rec.sec_index != job.filter))
                continue;
            const int rowId = m.addRow();
            if (rowId < 0) {
                WriteLog(0, "Error : Grid row NULL in order report");
                continue;
            }
            fillOrderRow(m, rowId, rec, false, job.dark);
            m.setRowData(rowId, static_cast<int>(i));
            job.rowOf[static_cast<int>(i)] = rowId;
        } catch (...) {
            WriteLog(0, "Exception while inserting order to grid");
        }
    }
    m.regroup();
}

} // namespace
} // namespace order_view_ex_detail

COrderViewEx::COrderViewEx(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("COrderViewEx"));
    auto* clientLabel = new QLabel(QStringLiteral("Client :"), this);
    clientLabel->setGeometry(8, 12, 50, 20);
    m_client = new QLineEdit(this);
    m_client->setObjectName(QStringLiteral("clientEdit"));
    m_client->setMaxLength(10);
    m_client->setGeometry(60, 10, 90, 24);
    auto* prevLabel = new QLabel(QStringLiteral("Previous Orders :"), this);
    prevLabel->setGeometry(165, 12, 110, 20);
    m_previous = new QCheckBox(this);
    m_previous->setObjectName(QStringLiteral("previousOrders"));
    m_previous->setGeometry(278, 12, 20, 20);
    m_refresh = new QPushButton(QStringLiteral("Refresh"), this);
    m_refresh->setObjectName(QStringLiteral("refresh"));
    m_refresh->setGeometry(310, 10, 80, 24);
    m_note = new QLabel(QStringLiteral("Order Price Zero indicates Market Order."), this);
    m_note->setGeometry(405, 12, 300, 20);
    connect(m_refresh, &QPushButton::clicked, this, [this] { OnOrderRefresh(); });
    auto* f5 = new QShortcut(QKeySequence(Qt::Key_F5), this);
    f5->setContext(Qt::WidgetWithChildrenShortcut);
    connect(f5, &QShortcut::activated, this, [this] {
        if (!m_busy)
            OnOrderRefresh();
    });
    auto* f3 = new QShortcut(QKeySequence(Qt::Key_F3), this);
    f3->setContext(Qt::WidgetWithChildrenShortcut);
    connect(f3, &QShortcut::activated, this, [this] {
        if (!m_busy)
            ResetSecIndex();
    });
}

COrderViewEx::~COrderViewEx()
{
    // The commands follow the grid's selection: they go before the grid does.
    delete m_commands;
    m_commands = nullptr;
    detachNotes();
    if (!m_closed)
        CloseOrderForm();
    if (g_pOrderViewEx == this)
        g_pOrderViewEx = nullptr;
}

std::string COrderViewEx::gridStateName() const
{
    return std::string(FixedTextView(pv_user_info.user_id)) + "_OrderReportGrid";
}

void COrderViewEx::OnInitialUpdate()
{
    try {
        WriteLog(3, "Entry in COrderViewEx::OnInitialUpdate");
        g_pOrderViewEx = this;
        SetAccessTime();
        m_grid = new CMyReportCtrl(this);
        m_grid->setObjectName(QStringLiteral("orderGrid"));
        m_grid->SetMode(1);
        m_grid->SetOrderFieldReader([](int index, int column) -> std::optional<double> {
            OrderInfo rec;
            if (!ReadStoredOrder(ActiveClientEntry(), index, rec))
                return std::nullopt;
            if (column == order_view_ex_detail::kOrderNo)
                return rec.order_no;
            if (column == order_view_ex_detail::kPrice)
                return rec.price;
            if (column == order_view_ex_detail::kTrigger)
                return rec.trigger;
            return std::nullopt;
        });
        applyColours();
        QStringList names;
        for (const auto& c : order_view_ex_detail::kColumnSpecs)
            names << QString::fromLatin1(c.caption);
        m_grid->model().setColumns(names);
        for (int c = 0; c < kColumns; ++c)
            m_grid->setColumnWidth(c, order_view_ex_detail::kColumnSpecs[c].width);
        fitHeaders();
        m_grid->setFrozenColumns(2);
        m_grid->setGroupByBoxVisible(true);
        const char type = pv_user_info.user_type;
        const bool dealer = type == 'A' || type == 'D';
        if (ClientInfo* active = ActiveClientEntry(); active && !dealer)
            m_client->setText(order_view_ex_detail::qs(FixedTextView(active->client_code)));
        m_client->setReadOnly(!dealer);
        m_secFilter = g_nPendingSecIndex.exchange(-1);
        m_grid->loadLayout(gridStateName());
        fitHeaders(); // a layout saved with narrower columns still shows whole captions
        m_shownClient.clear();
        m_ready = true;
        m_busy = false;
        order_view_ex_detail::bookLink().open(ref());
        setTitle();
        m_grid->show();
        m_grid->setFilterBarEmptyText(QStringLiteral("<ALL>"));
        m_grid->setFilterBarVisible(true);
        m_commands = new OrderBookCommands(this);
        m_commands->toolBar()->show();
        layoutGrid();
        WriteLog(3, "Exit: COrderViewEx::OnInitialUpdate");
    } catch (...) {
        WriteLog(0, "Exception in COrderViewEx::OnInitialUpdate");
    }
    OnOrderRefresh();
}

void COrderViewEx::setTitle()
{
    const QString title
        = m_secFilter == -1 ? QStringLiteral("Order Report [All]") : QStringLiteral("Order Report [Filtered]");
    setWindowTitle(title);
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->setWindowTitle(title);
}

void COrderViewEx::EnableControls(bool enable)
{
    m_refresh->setEnabled(enable);
    if (m_grid)
        m_grid->setEnabled(enable);
    m_ready = enable;
    m_busy = !enable;
    if (m_commands)
        m_commands->refreshToolBar();
    order_view_ex_detail::bookLink().setBusy(!enable);
    if (enable && m_followPending) {
        m_followPending = false;
        QTimer::singleShot(0, this, [this] { FollowNewOrders(); });
    }
}

void COrderViewEx::OnOrderRefresh()
{
    refresh(true);
}

void COrderViewEx::FollowNewOrders()
{
    // Not a user's command: a locked terminal keeps what it shows, silently.
    if (m_closed || IsTerminalLocked())
        return;
    if (m_busy || !m_ready) {
        m_followPending = true;
        return;
    }
    refresh(false);
}

void COrderViewEx::refresh(bool byUser)
{
    int step = 0;
    try {
        WriteLog(0, "OnOrderRefresh (COV): Entry");
        if (byUser && RefuseWhileLocked("View Orders."))
            return;
        if (m_busy || m_closed)
            return;
        if (byUser)
            SetAccessTime();
        if (!m_ready)
            return;
        step = 1;
        m_ready = false;
        EnableControls(false);
        const bool previous = m_previous->isChecked();
        g_nPrevOrdersFlag.store(previous ? 2 : 0);
        setTitle();
        g_OrderReportRequest = OrderReportRequestBlock {};
        ClearPendingConfirmations();
        step = 2;

        ClientInfo* active = ActiveClientEntry();
        const char type = pv_user_info.user_type;
        const bool dealerType = type == 'D' || type == 'A';
        OrderReportParams p;
        p.userId = FixedTextView(pv_user_info.user_id);
        p.previousOrders = previous;
        p.actingForClient = pv_user_info.client_index >= 1 && dealerType;
        std::string message;
        char line[160];
        if (pv_user_info.client_index == 0 && dealerType) {
            m_client->setReadOnly(false);
            m_client->setFocus();
            const std::string typed = m_client->text().trimmed().toStdString();
            p.account = FixedTextView(pv_user_info.session_id);
            if (typed.empty()) {
                p.allClients = true;
                m_shownClient.clear();
                std::snprintf(line, sizeof line, "Downloading Order Report for Dealer :%s",
                    active ? std::string(FixedTextView(active->user_id)).c_str() : "");
            } else if (IsValidDealerClient(typed)) {
                p.clientCode = typed;
                m_shownClient = typed;
                std::snprintf(line, sizeof line, "Downloading Order Report for Client :%s", typed.c_str());
            } else {
                MsgBoxOk("Please enter Valid Client");
                EnableControls(true);
                m_client->setFocus();
                m_ready = true;
                return;
            }
        } else {
            if (!active) {
                EnableControls(true);
                return;
            }
            const std::string code(FixedTextView(active->client_code));
            m_client->setReadOnly(true);
            m_client->setText(order_view_ex_detail::qs(code));
            p.account = FixedTextView(active->user_id);
            p.clientCode = code;
            m_shownClient = code;
            std::snprintf(line, sizeof line, "Downloading Order Report for Client :%s", code.c_str());
        }
        message = line;
        step = 3;
        OrderUserMessage(3, ' ', message);
        g_OrderReportRequest.code = kOrderBookTransCode;
        g_OrderReportRequest.text = BuildOrderReportRequest(p);
        g_OrderReportRequest.client = p.clientCode;
        order_view_ex_detail::bookLink().setClient(m_shownClient);
        step = 4;
        order_view_ex_detail::DownloadJob job;
        job.book = ref();
        job.encryption = pv_user_info.encrypt;
        job.text = g_OrderReportRequest.text;
        job.client = g_OrderReportRequest.client;
        if (!order_view_ex_detail::startDownload(std::move(job))) {
            clearRows();
            idleTail();
        }
        WriteLog(0, "Exit OnOrderRefresh");
    } catch (const std::exception& e) {
        WriteLog(
            0, "SException in Exit OnOrderRefresh: [" + std::string(e.what()) + "] line no " + std::to_string(step));
    } catch (...) {
        WriteLog(0, "Exception in OnOrderRefresh : line no " + std::to_string(step));
    }
}

void COrderViewEx::SetSecIndex()
{
    const int pending = g_nPendingSecIndex.exchange(-1);
    WriteLog(0, "SetSecIndex (COV): Sec Index [" + std::to_string(pending) + "]");
    m_secFilter = pending;
    OnOrderRefresh();
}

void COrderViewEx::ResetSecIndex()
{
    WriteLog(0, "ResetSecIndex : Resetting sec index");
    m_secFilter = -1;
    OnOrderRefresh();
}

void COrderViewEx::MyUpdate(int code)
{
    try {
        if (!m_grid)
            return;
        if (code == 1) {
            m_grid->setGridFont(order_view_ex_detail::gridFont(g_AppSettings.grid_font));
            fitHeaders();
        } else {
            applyColours();
            // The rows take the theme's buy and sell colours.
            for (const auto& [index, rowId] : m_rowOf) {
                OrderInfo rec;
                if (!ReadStoredOrder(ActiveClientEntry(), index, rec))
                    continue;
                for (int c = 0; c < kColumns; ++c)
                    m_grid->model().setTextColour(rowId, c, ui::rgbOf(order_view_ex_detail::rowColour(rec, IsDarkTheme())));
            }
            m_grid->model().touchAll();
            layoutGrid();
        }
    } catch (...) {
        WriteLog(0, "Exception in OrderView MyUpdate");
    }
}

bool COrderViewEx::CloseOrderForm()
{
    if (m_closed)
        return true;
    WriteLog(0, "In CloseOrderForm (Orders)");
    m_closed = true;
    // A download still running must find the book gone now, not when the
    // window is finally deleted.
    detachNotes();
    order_view_ex_detail::bookLink().close();
    ClearPendingConfirmations();
    ResetOrderStoreCount(ActiveClientEntry());
    if (g_pOrderViewEx == this)
        g_pOrderViewEx = nullptr;
    if (m_grid)
        m_grid->saveLayout(gridStateName());
    return true;
}

void COrderViewEx::closeEvent(QCloseEvent* event)
{
    if (CloseOrderForm())
        event->accept();
    else
        event->ignore();
}

void COrderViewEx::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    SetAccessTime();
    layoutGrid();
}

void COrderViewEx::applyColours()
{
    // RGB(235, 235, 235) behind the rows in the light themes; a dark theme's
    // own list colour in the dark ones, under the lighter row colours.
    const QPalette app = QApplication::palette();
    const bool dark = IsDarkTheme();
    const QColor base = dark ? app.color(QPalette::Base) : ui::toQColor(ui::rgbOf(order_view_ex_detail::kGridColour));
    m_grid->setDefaultColours(ui::defaultColour(), ui::fromQColor(base));
    // A selected row shows the theme's highlight with a text colour chosen
    // against it, never the row's blue or red on a blue selection.
    QPalette p = m_grid->palette();
    const QColor highlight = app.color(QPalette::Highlight);
    const QColor selectedText = highlight.lightness() < 140 ? QColor(Qt::white) : QColor(Qt::black);
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Highlight, highlight);
        p.setColor(group, QPalette::HighlightedText, selectedText);
    }
    m_grid->setPalette(p);
}

void COrderViewEx::fitHeaders()
{
    // Every caption whole: a column is at least as wide as its caption in the
    // header's font, with room for the sort mark.
    const QHeaderView* header = m_grid->findChild<QHeaderView*>();
    const QFontMetrics fm = header ? header->fontMetrics() : m_grid->fontMetrics();
    for (int c = 0; c < kColumns; ++c) {
        const int needed = fm.horizontalAdvance(QString::fromLatin1(order_view_ex_detail::kColumnSpecs[c].caption)) + 28;
        if (m_grid->columnWidth(c) < needed)
            m_grid->setColumnWidth(c, needed);
    }
}

int COrderViewEx::headerWidthNeeded(int column) const
{
    const QHeaderView* header = m_grid ? m_grid->findChild<QHeaderView*>() : nullptr;
    if (!header || column < 0 || column >= kColumns)
        return 0;
    return header->fontMetrics().horizontalAdvance(QString::fromLatin1(order_view_ex_detail::kColumnSpecs[column].caption));
}

void COrderViewEx::layoutGrid()
{
    // The client band, toolbar 214 under it, then the grid.
    int top = 45;
    if (OrderBookToolBar* bar = m_commands ? m_commands->toolBar() : nullptr) {
        bar->setGeometry(2, 40, std::max(0, width() - 4), 28);
        top = 70;
    }
    if (m_grid)
        m_grid->setGeometry(2, top, std::max(0, width() - 4), std::max(0, height() - top - 2));
}

int COrderViewEx::rowOfRecord(int recordIndex) const
{
    const auto it = m_rowOf.find(recordIndex);
    return it == m_rowOf.end() ? -1 : it->second;
}

void COrderViewEx::onNote(const ui::Note& note)
{
    if (note.id == ui::NoteId::OrderBook)
        OnUpdateOrderReport(note.w, note.l, note.text);
}

void COrderViewEx::OnUpdateOrderReport(intptr_t wParam, intptr_t lParam, const std::string& text)
{
    WriteLog(0, "Entry OnUpdateOrderReport");
    std::lock_guard lock(g_csOrderReportUpdate);
    try {
        switch (wParam) {
        case 0:
            clearRows();
            idleTail();
            break;
        case 1:
            FillOrderRptGrid(); // idle again when the rows are in
            break;
        case 2:
        case 3:
            if (m_filling) {
                m_deferred.emplace_back(static_cast<int>(wParam), static_cast<int>(lParam));
                break;
            }
            WriteLog(0, wParam == 2 ? "InsertorderRptGrid" : "updateorderRptGrid");
            if (wParam == 2)
                InsertorderRptGrid(static_cast<int>(lParam));
            else
                updateorderRptGrid(static_cast<int>(lParam));
            break;
        case 4:
            clearRows();
            idleTail();
            MsgBoxInfo(text);
            break;
        default:
            break;
        }
    } catch (...) {
        WriteLog(0, "Exception in OnUpdateOrderReport");
    }
    WriteLog(0, "Exit OnUpdateOrderReport");
}

void COrderViewEx::idleTail()
{
    m_previous->setChecked(false);
    EnableControls(true);
    m_refresh->setFocus();
}

void COrderViewEx::clearRows()
{
    ++m_fillGen; // a fill still running shows nothing
    m_filling = false;
    m_deferred.clear();
    m_rowOf.clear();
    if (m_grid)
        m_grid->model().clearRows();
}

void COrderViewEx::fillRow(int rowId, const OrderInfo& rec, bool fromTable)
{
    order_view_ex_detail::fillOrderRow(m_grid->model(), rowId, rec, fromTable, IsDarkTheme());
}

void COrderViewEx::FillOrderRptGrid()
{
    clearRows();
    // Busy until the rows are in; the store stays open to confirmations,
    // whose row changes wait for the rows (m_deferred).
    m_grid->setEnabled(false);
    m_refresh->setEnabled(false);
    m_busy = true;
    m_ready = false;
    if (m_commands)
        m_commands->refreshToolBar();
    const int generation = ++m_fillGen;
    m_filling = true;
    // The store holds the report now: confirmations go into it again.
    order_view_ex_detail::bookLink().setBusy(false);
    // The rows are made on a worker and the grid takes them whole (one
    // reset), so a large report never holds the UI thread for its rows; a
    // newer fill or a clear drops an older fill's rows unseen.
    auto job = std::make_shared<order_view_ex_detail::FillJob>();
    job->model = std::make_shared<ui::GridModel>();
    job->model->setAutoFlush(false);
    job->model->setColumns(m_grid->model().columnNames());
    job->model->setGroupColumns(m_grid->model().groupColumns());
    job->records = OrderStoreSnapshot(ActiveClientEntry());
    job->filter = m_secFilter;
    job->securities = order_view_ex_detail::securityCount();
    job->dark = IsDarkTheme();
    QPointer<COrderViewEx> self(this);
    const auto show = [self, generation](const std::shared_ptr<order_view_ex_detail::FillJob>& done) {
        if (self && !self->m_closed && self->m_fillGen == generation)
            self->showRows(*done->model, std::move(done->rowOf));
    };
    {
        std::lock_guard lock(order_view_ex_detail::g_downloadMutex);
        ++order_view_ex_detail::g_downloads;
    }
    const bool started = pf::Worker::start("OrderReportRows", [job, show]() mutable {
        order_view_ex_detail::fillOrderRows(*job);
        job->records.clear();
        ui::UiThread::post([job = std::move(job), show] { show(job); });
        std::lock_guard lock(order_view_ex_detail::g_downloadMutex);
        --order_view_ex_detail::g_downloads;
        order_view_ex_detail::g_downloadDone.notify_all();
    });
    if (!started) {
        {
            std::lock_guard lock(order_view_ex_detail::g_downloadMutex);
            --order_view_ex_detail::g_downloads;
        }
        order_view_ex_detail::fillOrderRows(*job);
        show(job);
    }
}

void COrderViewEx::showRows(ui::GridModel& built, std::unordered_map<int, int> rowOf)
{
    m_filling = false;
    try {
        m_grid->takeRows(built);
        m_rowOf = std::move(rowOf);
    } catch (...) {
        WriteLog(0, "Exception while showing the order report");
    }
    // Orders stored or changed while the rows were made, in their order.
    std::vector<std::pair<int, int>> deferred;
    deferred.swap(m_deferred);
    for (const auto& [code, index] : deferred) {
        if (code == 2)
            InsertorderRptGrid(index);
        else
            updateorderRptGrid(index);
    }
    idleTail();
}

void COrderViewEx::InsertorderRptGrid(int index)
{
    std::lock_guard lock(g_csOrderGridInsert);
    WriteLog(0, "Inserting Single Record in Order Report Grid");
    try {
        OrderInfo rec;
        if (ReadStoredOrder(ActiveClientEntry(), index, rec) && (m_secFilter == -1 || rec.sec_index == m_secFilter)
            && !m_closed && m_rowOf.find(index) == m_rowOf.end()) {
            if (rec.sec_index < 0) {
                WriteLog(0, "Sec Index not found in Order Report insert");
            } else {
                const int rowId = m_grid->model().addRow();
                if (rowId < 0) {
                    WriteLog(0, "Error : Grid row NULL in order report");
                } else {
                    fillRow(rowId, rec, true);
                    m_grid->model().setRowData(rowId, index);
                    m_rowOf[index] = rowId;
                    m_grid->model().flush();
                    m_grid->refilter();
                }
            }
        }
    } catch (...) {
        WriteLog(0, "Exception while inserting Single order to grid");
    }
    WriteLog(0, "Inserted Single Record in Order Report Grid");
    // Confirmations that overtook this order's reply; their row updates
    // arrive as notes after this one.
    OrderInfo stored;
    if (ReadStoredOrder(ActiveClientEntry(), index, stored))
        ApplyPendingConfirmations(stored.order_no);
}

void COrderViewEx::updateorderRptGrid(int index)
{
    std::lock_guard lock(g_csOrderGridUpdate);
    WriteLog(0, "Updating Order Report Grid");
    const int rowId = rowOfRecord(index);
    OrderInfo rec;
    if (rowId < 0 || !ReadStoredOrder(ActiveClientEntry(), index, rec))
        return;
    if (rec.sec_index < 0) {
        WriteLog(0, "Sec Index not found in Order Report Update");
        return;
    }
    ui::GridModel& m = m_grid->model();
    const OrderRowTexts t = FormatOrderRow(rec, order_view_ex_detail::fourDecimals(rec));
    m.setText(rowId, order_view_ex_detail::kExchOrderNo, order_view_ex_detail::qs(FixedTextView(rec.exch_order_no)));
    m.setValue(rowId, order_view_ex_detail::kTotalQty, QVariant(static_cast<int>(rec.total_qty)));
    m.setText(rowId, order_view_ex_detail::kPrice, order_view_ex_detail::qs(t.price));
    m.setText(rowId, order_view_ex_detail::kTrigger, order_view_ex_detail::qs(t.trigger));
    m.setValue(rowId, order_view_ex_detail::kOpenQty, QVariant(static_cast<int>(rec.open_qty)));
    m.setText(rowId, order_view_ex_detail::kStatus, order_view_ex_detail::qs(FixedTextView(rec.status)));
    m.setText(rowId, order_view_ex_detail::kTime, order_view_ex_detail::qs(FixedTextView(rec.time)));
    m.flush();
    if (m_grid->sortColumn() >= 0)
        m_grid->sortRows();
    m_grid->refilter();
    WriteLog(0, "Updated Order Report Grid");
}

COrderViewEx* OpenOrderBook()
{
    if (RefuseWhileLocked("View Orders."))
        return nullptr;
    SetAccessTime();
    if (COrderViewEx* open = g_pOrderViewEx) {
        if (CMainFrame* frame = g_pMainFrame.load(); frame && frame->Documents())
            frame->Documents()->activateDocument(open);
        open->SetSecIndex();
        return open;
    }
    ClientInfo* active = ActiveClientEntry();
    if (!active || !active->active) {
        MsgBoxOk("Activate Client for Order Report");
        return nullptr;
    }
    auto* view = new COrderViewEx;
    if (CMainFrame* frame = g_pMainFrame.load(); frame && frame->Documents()) {
        frame->Documents()->addDocument(view, QStringLiteral("Order Report [All]"));
    } else {
        view->setAttribute(Qt::WA_DeleteOnClose);
        view->resize(1100, 400);
        view->show();
    }
    view->OnInitialUpdate();
    return view;
}

COrderViewEx* OpenOrderBookFor(int securityIndex)
{
    g_nPendingSecIndex = securityIndex;
    COrderViewEx* view = OpenOrderBook();
    if (!view)
        g_nPendingSecIndex = -1;
    return view;
}

void CancelOrderReportDownloads()
{
    std::lock_guard lock(order_view_ex_detail::g_downloadMutex);
    if (order_view_ex_detail::g_downloadCancel)
        order_view_ex_detail::g_downloadCancel->cancel();
}

bool WaitOrderReportDownloads(int timeoutMs)
{
    std::unique_lock lock(order_view_ex_detail::g_downloadMutex);
    return order_view_ex_detail::g_downloadDone.wait_for(
        lock, std::chrono::milliseconds(timeoutMs), [] { return order_view_ex_detail::g_downloads == 0; });
}
