#include "orders/CTsloOrderView.h"

#include "app/base/ActivityStamp.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "frame/CMainFrame.h"
#include "frame/FrameThemes.h"
#include "frame/OrderFormOpener.h"
#include "frame/OrderFormService.h"
#include "frame/controls/CMyReportCtrl.h"
#include "orders/COrderViewEx.h"
#include "orders/ClientOrderStore.h"
#include "orders/OrderBookToolBar.h"
#include "frame/OrderFormLinks.h"
#include "orders/OrderMessages.h"
#include "server/OrderSecurity.h"
#include "orders/TsloOrder.h"
#include "server/ExchangeCancel.h"
#include "server/RequestServer.h"
#include "frame/WindowOpeners.h"

#include "pf/ui_guard.h"
#include "ui/document_area.h"
#include "ui/grid_ranges.h"
#include "ui/prompter.h"
#include "ui/rgb.h"
#include "ui/ui_thread.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QAction>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTreeView>

#include <cctype>
#include <fstream>

namespace tslo_order_view_detail {
namespace {

CTsloOrderView* g_pTsloOrderView = nullptr;


constexpr int kWidths[kTsloColumns] = {85, 120, 65, 120, 70, 60, 60, 60, 60, 60, 60, 60, 120, 120, 50, 120, 60, 80, 80};

constexpr ui::Rgb kOddOrder = ui::rgbOf(0x8080FF);  // red 255, green 128, blue 128
constexpr ui::Rgb kEvenOrder = ui::rgbOf(0xCEDEFF); // red 255, green 222, blue 206
constexpr ui::Rgb kOrderNoText = ui::rgbOf(0x000000);
constexpr ui::Rgb kBuyText = ui::rgbOf(0xC80000);   // blue 200
constexpr ui::Rgb kSellText = ui::rgbOf(0x0000C0);  // red 192: pure red is too light on white
// On a dark grid the legs take light tones: dark blue on dark grey cannot be read.
constexpr ui::Rgb kDarkBuyText = ui::rgbOf(0xFFB060);  // red 96, green 176, blue 255
constexpr ui::Rgb kDarkSellText = ui::rgbOf(0x6E6EFF); // red 255, green 110, blue 110

bool isDealer() { return pv_user_info.user_type == 'A' || pv_user_info.user_type == 'D'; }

// A client code as the book takes it: exactly 5 letters, digits or full stops.
bool validClientCode(const std::string& code)
{
    if (code.size() != 5)
        return false;
    for (char c : code) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isspace(u) || (std::ispunct(u) && c != '.') || !std::isprint(u))
            return false;
    }
    return true;
}

std::string trimmed(const std::string& s)
{
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos)
        return {};
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

std::string gridName() { return std::string(FixedTextView(pv_user_info.user_id)) + "_TsloOrderReportGrid"; }

} // namespace
} // namespace tslo_order_view_detail

CTsloOrderView::CTsloOrderView(QWidget* parent) : QWidget(parent), m_book(std::make_shared<const TsloBook>())
{
    setObjectName(QStringLiteral("CTsloOrderView"));
    auto* label = new QLabel(QStringLiteral("Client :"), this);
    m_client = new QLineEdit(this);
    m_client->setMaxLength(10);
    m_refresh = new QPushButton(QStringLiteral("Refresh"), this);
    label->setGeometry(4, 12, 50, 20);
    m_client->setGeometry(56, 10, 110, 24);
    m_refresh->setGeometry(172, 10, 80, 24);
    connect(m_refresh, &QPushButton::clicked, this, [this] { OnOrderRefresh(); });
    m_grid = new CMyReportCtrl(this);
    QStringList names;
    for (const std::string& h : TsloColumnHeaders())
        names << QString::fromStdString(h);
    m_grid->model().setColumns(names);
    for (int c = 0; c < kTsloColumns; ++c)
        m_grid->setColumnWidth(c, tslo_order_view_detail::kWidths[c]);
    m_grid->setFilterBarEmptyText(QStringLiteral("<ALL>"));
    m_grid->setFilterBarVisible(true);
    m_grid->tree()->installEventFilter(this);
    m_toolBar = new OrderBookToolBar(
        this, [this](int id) { runCommand(id); }, [this](int id) { return commandEnabled(id); });
    for (int id : {33001, 33377, 33306, 33015, 32895})
        if (QAction* a = m_toolBar->button(id))
            a->setVisible(false);
    if (QItemSelectionModel* selection = m_grid->tree()->selectionModel()) {
        connect(selection, &QItemSelectionModel::currentChanged, m_toolBar, &OrderBookToolBar::refresh);
        connect(selection, &QItemSelectionModel::selectionChanged, m_toolBar, &OrderBookToolBar::refresh);
    }
    tslo_order_view_detail::g_pTsloOrderView = this;
}

bool CTsloOrderView::commandEnabled(int commandId) const
{
    if (m_busy || !m_ready)
        return false;
    switch (commandId) {
    case 33009:
    case 32940:
    case 32942:
    case 32943:
    case 33019:
    case 33021:
        return true;
    case 33011:
    case 33013: {
        const int record = selectedRecord();
        return record >= 0 && modifyAllowed(record);
    }
    case 33017:
        return selectedRecord() >= 0;
    default:
        return false;
    }
}

void CTsloOrderView::runCommand(int commandId)
{
    if (!commandEnabled(commandId))
        return;
    switch (commandId) {
    case 33009: OnOrderRefresh(); break;
    case 32940: m_grid->showColumnChooser(); break;
    case 32942: m_grid->expandAll(true); break;
    case 32943: m_grid->expandAll(false); break;
    case 33011: OnOrderModify(); break;
    case 33013: OnOrderCancel(); break;
    case 33017: OnOrderHistory(); break;
    case 33019: m_grid->copySelection(); break;
    case 33021: OnSaveAsCsv(); break;
    default: break;
    }
}

CTsloOrderView::~CTsloOrderView()
{
    // The toolbar asks the book about its selection: it goes first.
    delete m_toolBar;
    m_toolBar = nullptr;
    // Closed, at exit or for a new security file: a download still out ends
    // now and its late reply finds nobody. Nothing waits here (the frame may
    // be going around this window): a thread still ending holds only its own
    // copies and ends on its own.
    m_closing = true;
    if (m_cancel)
        m_cancel->cancel();
    if (m_worker.joinable()) {
        if (m_workerEnded->load()) {
            pf::uiguard::join(m_worker, "the ended TSLO order report download");
        } else {
            WriteLog(0, "TSLO Order Report download still ending as the book goes");
            m_worker.detach();
        }
    }
    if (tslo_order_view_detail::g_pTsloOrderView == this)
        tslo_order_view_detail::g_pTsloOrderView = nullptr;
}

CTsloOrderView* CTsloOrderView::Instance() { return tslo_order_view_detail::g_pTsloOrderView; }

void CTsloOrderView::WaitForDownload()
{
    const auto ended = m_workerEnded;
    ui::UiThread::joinWorker(m_worker, [ended] { return ended->load(); }, "TSLO order report download", 60000);
}

void CTsloOrderView::closeEvent(QCloseEvent* event)
{
    CloseOrderForm();
    if (!m_closing && m_busy) {
        WriteLog(0, formatText("RequestInit[%ld]ActiveFlag[%ld]", 1L, 0L));
        if (MyMessageBox("TSLO Order data is currently being downloaded .. do you still want to close the TSLO Order report?",
                         kProductCaption, MsgYesNo | MsgIconQuestion)
            != 6) {
            event->ignore();
            return;
        }
    }
    m_closing = true;
    // The download still out ends now; a reply already on its way is dropped.
    if (m_cancel)
        m_cancel->cancel();
    if (tslo_order_view_detail::g_pTsloOrderView == this)
        tslo_order_view_detail::g_pTsloOrderView = nullptr;
    event->accept();
}

void CTsloOrderView::OnInitialUpdate()
{
    m_grid->loadLayout(tslo_order_view_detail::gridName());
    if (!tslo_order_view_detail::isDealer())
        if (ClientInfo* active = ActiveClientEntry())
            m_client->setText(QString::fromStdString(std::string(FixedTextView(active->client_code))));
    m_client->setReadOnly(!tslo_order_view_detail::isDealer());
    m_secIndex = g_nPendingSecIndex.exchange(-1);
    setTitle();
    OnOrderRefresh();
}

void CTsloOrderView::setTitle()
{
    QString title = QStringLiteral("TSLO Order Report");
    ClientInfo* active = ActiveClientEntry();
    const bool forClient = !tslo_order_view_detail::isDealer() || pv_user_info.client_index >= 1;
    if (forClient && active)
        title += QStringLiteral(" - ") + QString::fromStdString(std::string(FixedTextView(active->client_code)));
    else if (tslo_order_view_detail::isDealer())
        title += QStringLiteral(" - ") + QString::fromStdString(std::string(FixedTextView(pv_user_info.user_id)));
    setWindowTitle(title);
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->setWindowTitle(title);
}

void CTsloOrderView::EnableControls(bool on)
{
    m_refresh->setEnabled(on);
    m_grid->setEnabled(on);
    m_ready = on;
    m_busy = !on;
    if (m_toolBar)
        m_toolBar->refresh();
}

void CTsloOrderView::OnOrderRefresh()
{
    if (m_busy)
        return;
    setTitle();
    if (RefuseWhileLocked("View Orders."))
        return;
    if (!m_ready)
        return;
    SetAccessTime();
    EnableControls(false);
    ClientInfo* active = ActiveClientEntry();
    const bool forClient = !tslo_order_view_detail::isDealer() || pv_user_info.client_index >= 1;
    std::string clientCode, clientId;
    if (forClient && active) {
        clientCode = FixedTextView(active->client_code);
        clientId = FixedTextView(active->user_id);
        m_client->setReadOnly(true);
        OrderUserMessage(3, ' ', "Downloading Order Report for Client :" + clientCode);
    } else {
        clientCode = tslo_order_view_detail::trimmed(m_client->text().toStdString());
        if (!tslo_order_view_detail::validClientCode(clientCode)) {
            MsgBoxOk("Please enter Valid Client");
            EnableControls(true);
            m_client->setFocus();
            return;
        }
        if (active)
            clientId = FixedTextView(active->user_id);
        OrderUserMessage(3, ' ', "Downloading TSLO Order Report for Client :" + clientCode);
    }
    m_grid->model().clearRows();
    m_clientCode = clientCode;
    const std::string request =
        BuildTsloReportRequest(clientId, std::string(FixedTextView(pv_user_info.user_id)), clientCode);
    const int encrypt = pv_user_info.encrypt;
    QPointer<CTsloOrderView> self(this);
    WaitForDownload();
    auto cancel = std::make_shared<ExchangeCancel>();
    auto ended = std::make_shared<std::atomic<bool>>(false);
    m_cancel = cancel;
    m_workerEnded = ended;
    m_worker = std::thread([self, request, encrypt, clientCode, cancel, ended] {
        TsloReport report;
        try {
            WriteLog(0, "Entry in GetTsloOrderReport");
            std::string reply;
            long length = 0;
            const int status = RequestServer(encrypt, 640, request, reply, length, cancel.get());
            if (cancel->cancelled()) {
                WriteLog(0, "TSLO Order Report download cancelled: the book closed");
                ended->store(true);
                return;
            }
            if (status == 200) {
                WriteLog(0, formatText("TSLO TsloOrderView Response Len <%ld>", length));
                report = ReadTsloReport(length < 1 ? std::string_view() : std::string_view(reply), clientCode);
            } else if (status == 407) {
                report.boxText = "Proxy Authentication Failed";
            } else {
                report.boxText = formatText("Internet Connectivity Error [%d]. Pls contact System Administrator", status);
            }
            if (!report.logLine.empty())
                WriteLog(0, report.logLine);
        } catch (const std::exception& e) {
            WriteLog(0, std::string("SException in GetTsloOrderReportThread: [") + e.what() + "]");
        } catch (...) {
            WriteLog(0, "Exception in GetTsloOrderReport 1");
        }
        ui::UiThread::post([self, report = std::move(report), clientCode] {
            if (self && !self->m_closing)
                self->finishDownload(report, clientCode);
        });
        ended->store(true);
    });
}

void CTsloOrderView::finishDownload(const TsloReport& report, const std::string& clientCode)
{
    WaitForDownload();
    auto book = std::make_shared<TsloBook>(report.records);
    // The security of each record in the table loaded now, and its prices live.
    for (TsloOrderInfo& r : *book)
        r.sec_index = OrderSearchToken(r.token, std::string(FixedTextView(r.exchange)));
    if (report.ok)
        SetTsloBook(clientCode, book);
    m_book = book;
    populate();
    EnableControls(true);
    if (!report.barText.empty())
        OrderUserMessage(3, ' ', report.barText);
    m_grid->tree()->setFocus();
    if (!report.boxText.empty())
        MsgBoxOk(report.boxText);
}

void CTsloOrderView::populate()
{
    ui::GridModel& model = m_grid->model();
    model.clearRows();
    WriteLog(0, formatText("TSLO Order Ctr : %ld", static_cast<long>(m_book->size())));
    int group = -1;
    int previousKind = -1;
    int previousRow = -1;
    int previousOrder = -1;
    int orderCount = 0;
    const bool dark = IsDarkTheme();
    for (size_t i = 0; i < m_book->size(); ++i) {
        const TsloOrderInfo& r = (*m_book)[i];
        if (r.kind != previousKind || group < 0) {
            group = model.addRow();
            model.setGroup(group, true);
            model.setText(group, 0, QString::fromStdString(TsloKindText(r.kind)));
            previousKind = r.kind;
            previousRow = -1;
        }
        const int row = model.addRow(group);
        const OrderSecurity sec = OrderSecurityAt(r.sec_index);
        const std::vector<std::string> texts =
            TsloRowTexts(r, sec.valid() ? sec.displayKey : std::to_string(r.token), sec.currency != 0);
        for (int c = 0; c < kTsloColumns; ++c)
            model.setText(row, c, QString::fromStdString(texts[c]));
        model.setRowData(row, static_cast<int>(i));
        const bool sameOrder = previousRow >= 0 && r.special_order_no == previousOrder;
        if (!sameOrder)
            ++orderCount;
        const ui::Rgb back = orderCount % 2 == 1 ? tslo_order_view_detail::kOddOrder : tslo_order_view_detail::kEvenOrder;
        model.setBackColour(row, 0, back);
        model.setTextColour(row, 0, tslo_order_view_detail::kOrderNoText); // on its own light band in every theme
        const bool buy = r.side() == 'B';
        const ui::Rgb legText = dark ? (buy ? tslo_order_view_detail::kDarkBuyText : tslo_order_view_detail::kDarkSellText)
                                     : (buy ? tslo_order_view_detail::kBuyText : tslo_order_view_detail::kSellText);
        for (int c = 1; c < kTsloColumns; ++c)
            model.setTextColour(row, c, legText);
        if (sameOrder)
            model.mergeCells(previousRow, row, 0, 0);
        previousRow = row;
        previousOrder = r.special_order_no;
    }
    m_grid->expandAll(true);
}

int CTsloOrderView::recordOfRow(int rowId) const
{
    const int* record = m_grid->model().rowDataAs<int>(rowId);
    return record ? *record : -1;
}

int CTsloOrderView::selectedRecord() const
{
    const std::vector<int> rows = ui::selectedRowIds(*m_grid);
    if (rows.empty())
        return -1;
    const int record = recordOfRow(rows.front());
    return record >= 0 && static_cast<size_t>(record) < m_book->size() ? record : -1;
}

void CTsloOrderView::selectRecord(int record)
{
    for (int row : m_grid->model().preorder())
        if (recordOfRow(row) == record) {
            m_grid->selectRow(row);
            return;
        }
}

bool CTsloOrderView::modifyAllowed(int record) const { return TsloCanModify(*m_book, record); }

void CTsloOrderView::openForm(int mode)
{
    if (!m_ready)
        return;
    ClientInfo* active = ActiveClientEntry();
    const int record = selectedRecord();
    if (!active || record < 0) {
        MyMessageBox("Please Activate a Client", "Input Error", MsgOk | MsgIconWarning);
        return;
    }
    WriteLog(0, formatText("Tslo Order Idx : %ld", static_cast<long>(record)));
    const bool allowed = mode == 2 ? modifyAllowed(record) : TsloCanCancel(*m_book, record);
    if (!allowed)
        return;
    const TsloOrderInfo& r = (*m_book)[record];
    OrderFormParams p;
    p.index = record;
    p.side = r.side() == 'S' ? 'S' : 'B';
    p.tslKind = r.kind;
    // The form acts on the book shown here: that of the client the user
    // chose, who may not be the active client.
    p.clientCode = FixedTextView(r.client_code).empty() ? m_clientCode : std::string(FixedTextView(r.client_code));
    OpenOrderForm(p, this, mode);
}

void CTsloOrderView::OnOrderModify() { openForm(2); }
void CTsloOrderView::OnOrderCancel() { openForm(3); }

void CTsloOrderView::OnOrderHistory()
{
    const int record = selectedRecord();
    if (!ActiveClientEntry() || record < 0) {
        MyMessageBox("Please Activate a Client", "Input Error", MsgOk | MsgIconWarning);
        return;
    }
    const auto& opener = windowOpeners().tsloHistory;
    if (!opener) {
        MsgBoxOk("Order History is not available in this version.");
        return;
    }
    opener(record);
}

bool CTsloOrderView::OnSaveAsCsv()
{
    ui::FilePrompt prompt;
    prompt.caption = "Save As";
    prompt.filter = "CSV Files (*.csv)";
    prompt.defaultSuffix = "csv";
    prompt.initialPath = ProgramPaths().root().string();
    const std::optional<std::string> path = ui::prompter().pickSavePath(prompt);
    if (!path)
        return false;
    std::ofstream out(*path, std::ios::binary | std::ios::trunc);
    if (!out) {
        MsgBoxOk("Unable to Save File");
        return false;
    }
    out << CsvLine(TsloColumnHeaders());
    const ui::GridModel& model = m_grid->model();
    for (int row : m_grid->shownRows()) {
        if (model.isGroup(row))
            continue;
        std::vector<std::string> cells;
        for (int c = 0; c < kTsloColumns; ++c)
            cells.push_back(model.text(row, c).toStdString());
        out << CsvLine(cells);
    }
    if (!out.good()) {
        MsgBoxOk("Unable to Save File");
        return false;
    }
    return true;
}

void CTsloOrderView::SetSecIndex()
{
    m_secIndex = g_nPendingSecIndex.exchange(-1);
    WriteLog(0, formatText("TSLO SetSecIndex (COV): Sec Index [%d]", m_secIndex));
    OnOrderRefresh();
}

void CTsloOrderView::ResetSecIndex()
{
    WriteLog(0, "TSLO ResetSecIndex : Resetting sec index");
    m_secIndex = -1;
    OnOrderRefresh();
}

bool CTsloOrderView::CloseOrderForm()
{
    m_grid->saveLayout(tslo_order_view_detail::gridName());
    return true;
}

void CTsloOrderView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_grid->setGeometry(2, 45, std::max(0, width() - 4), std::max(0, height() - 47));
    // The toolbar takes the band's room right of Refresh.
    if (m_toolBar)
        m_toolBar->setGeometry(260, 8, std::max(0, width() - 262), 30);
}

void CTsloOrderView::contextMenuEvent(QContextMenuEvent* event)
{
    if (!m_ready || m_busy)
        return;
    if (!ActiveClientEntry()) {
        WriteLog(0, "Client ref found not free when user right clicked");
        return;
    }
    const int record = selectedRecord();
    const bool change = record >= 0 && modifyAllowed(record);
    ui::MenuSpec menu;
    menu.items = {{33011, "&Modify", false, change, {}},
                  {33013, "&Cancel", false, change, {}},
                  {33017, "Order &History", false, record >= 0, {}},
                  {0, "", false, true, {}},
                  {33009, "&Refresh", false, true, {}},
                  {33021, "Save As CSV", false, true, {}}};
    const QPoint at = event->globalPos();
    switch (ui::prompter().pickMenuCommand(menu, at.x(), at.y())) {
    case 33011: OnOrderModify(); break;
    case 33013: OnOrderCancel(); break;
    case 33017: OnOrderHistory(); break;
    case 33009: OnOrderRefresh(); break;
    case 33021: OnSaveAsCsv(); break;
    default: break;
    }
}

bool CTsloOrderView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool shift = key->modifiers() & Qt::ShiftModifier;
        switch (key->key()) {
        case Qt::Key_F1: OnOrderCancel(); return true;
        case Qt::Key_F2: OnOrderModify(); return true;
        case Qt::Key_F5: OnOrderRefresh(); return true;
        case Qt::Key_F7: ResetSecIndex(); return true;
        case Qt::Key_Plus:
            if (shift || (key->modifiers() & Qt::KeypadModifier)) {
                m_grid->expandAll(true);
                return true;
            }
            break;
        case Qt::Key_Minus:
            if (shift || (key->modifiers() & Qt::KeypadModifier)) {
                m_grid->expandAll(false);
                return true;
            }
            break;
        default: break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

CTsloOrderView* OpenTsloOrderBook()
{
    if (CTsloOrderView* open = CTsloOrderView::Instance()) {
        if (CMainFrame* frame = g_pMainFrame.load(); frame && frame->Documents())
            frame->Documents()->activateDocument(open);
        open->SetSecIndex();
        return open;
    }
    auto* view = new CTsloOrderView;
    if (CMainFrame* frame = g_pMainFrame.load(); frame && frame->Documents()) {
        frame->Documents()->addDocument(view, QStringLiteral("TSLO Order Report"));
    } else {
        view->setAttribute(Qt::WA_DeleteOnClose);
        view->resize(1100, 400);
        view->show();
    }
    view->OnInitialUpdate();
    return view;
}

void CloseTsloOrderBook()
{
    if (CTsloOrderView* view = CTsloOrderView::Instance()) {
        WriteLog(0, "The security master changed: the TSLO order book closes");
        view->CloseOrderForm();
        view->markClosing();
        if (auto* sub = qobject_cast<QMdiSubWindow*>(view->parentWidget()))
            sub->close();
        else
            view->close();
    }
}

void InstallTsloOrderBook()
{
    AppWindowServices::Window& w = appWindowServices().windows[33314];
    w.activate = [] {
        CTsloOrderView* view = CTsloOrderView::Instance();
        if (!view)
            return false;
        OpenTsloOrderBook();
        return true;
    };
    w.open = [] { return OpenTsloOrderBook() != nullptr; };
}
