#include "server/SecurityTable.h"

#include "market/CHistoryDepth.h"

#include "app/base/ActivityStamp.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "frame/FrameThemes.h"
#include "frame/controls/CMyListCtrl.h"
#include "orders/ClientOrderStore.h"
#include "server/RequestServer.h"
#include "server/ServerAccess.h"
#include "frame/WindowOpeners.h"

#include "Resizer.h"
#include "pf/threads.h"
#include "ui/grid_ranges.h"
#include "ui/grid_view.h"
#include "ui/modal_host.h"
#include "ui/ui_thread.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QResizeEvent>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <initializer_list>

struct CHistoryDepth::Alive {
    std::atomic<bool> open{true};
};

namespace history_depth_detail {
namespace {

ui::FormSpec historySpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = CHistoryDepth::kTemplateId;
    spec.name = "CHistoryDepth";
    spec.caption = "";
    spec.width = 470;
    spec.height = 240;
    const ui::EditRules readOnly{false, 0, "", true};
    spec.controls = {
        {CHistoryDepth::kSecurityLabel, ControlKind::Label, "Security Details :", {6, 8, 64, 10}},
        {CHistoryDepth::kSecurity, ControlKind::Edit, "", {72, 6, 170, 12}, readOnly},
        {CHistoryDepth::kExchange, ControlKind::Combo, "", {72, 6, 80, 60}},
        {CHistoryDepth::kRefresh, ControlKind::Button, "Refresh", {404, 5, 56, 14}},
        {CHistoryDepth::kFirstLabel, ControlKind::Label, "TWXS Order No :", {6, 24, 64, 10}},
        {CHistoryDepth::kFirstEdit, ControlKind::Edit, "", {72, 22, 90, 12}, readOnly},
        {CHistoryDepth::kSecondLabel, ControlKind::Label, "Action :", {172, 24, 60, 10}},
        {CHistoryDepth::kSecondEdit, ControlKind::Edit, "", {234, 22, 90, 12}, readOnly},
        {CHistoryDepth::kTsloSecurityLabel, ControlKind::Label, "Security :", {6, 8, 60, 10}},
        {CHistoryDepth::kTsloSecurity, ControlKind::Edit, "", {70, 6, 170, 12}, readOnly},
        {CHistoryDepth::kTsloKindLabel, ControlKind::Label, "TSLO Type", {250, 8, 60, 10}},
        {CHistoryDepth::kTsloKind, ControlKind::Edit, "", {312, 6, 90, 12}, readOnly},
        {CHistoryDepth::kTsloNumberLabel, ControlKind::Label, "Order Indicator", {6, 26, 60, 10}},
        {CHistoryDepth::kTsloNumber, ControlKind::Edit, "", {70, 24, 90, 12}, readOnly},
        {CHistoryDepth::kTsloClientLabel, ControlKind::Label, "Client :", {250, 26, 60, 10}},
        {CHistoryDepth::kTsloClient, ControlKind::Edit, "", {312, 24, 90, 12}, readOnly},
        {CHistoryDepth::kList, ControlKind::Static, "", {6, 40, 458, 194}},
        {CHistoryDepth::kGrid, ControlKind::Static, "", {6, 60, 458, 174}},
    };
    return spec;
}

// Every edge of the list (or grid) keeps its distance to the same edge of
// the client area.
const CResizer::CBorderInfo kListRule[] = {{CHistoryDepth::kList,
                                            {CResizer::eFixed, 0, CResizer::eLeft},
                                            {CResizer::eFixed, 0, CResizer::eTop},
                                            {CResizer::eFixed, 0, CResizer::eRight},
                                            {CResizer::eFixed, 0, CResizer::eBottom}}};
const CResizer::CBorderInfo kGridRule[] = {{CHistoryDepth::kGrid,
                                            {CResizer::eFixed, 0, CResizer::eLeft},
                                            {CResizer::eFixed, 0, CResizer::eTop},
                                            {CResizer::eFixed, 0, CResizer::eRight},
                                            {CResizer::eFixed, 0, CResizer::eBottom}}};

std::string activeClientId()
{
    ClientInfo* c = ActiveClientEntry();
    return c ? std::string(FixedTextView(c->user_id)) : std::string();
}

void setColumns(ui::GridView& view, const std::vector<hd::Column>& columns)
{
    QStringList names;
    for (const hd::Column& c : columns)
        names << QString::fromStdString(c.heading);
    view.model().setColumns(names);
    for (size_t i = 0; i < columns.size(); ++i)
        view.setColumnWidth(static_cast<int>(i), columns[i].width);
}

} // namespace
} // namespace history_depth_detail

CHistoryDepth::CHistoryDepth(QWidget* parent, int type, int value)
    : ui::Form(history_depth_detail::historySpec(), parent), m_type(type), m_value(value), m_alive(std::make_shared<Alive>())
{
    if (QWidget* holder = control(kList)) {
        holder->setProperty(CResizer::kIdProperty, static_cast<int>(kList));
        auto* layout = new QVBoxLayout(holder);
        layout->setContentsMargins(0, 0, 0, 0);
        m_list = new CMyListCtrl(holder);
        layout->addWidget(m_list);
        m_list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) { OnRclickList1(p); });
        m_list->installEventFilter(this);
    }
    if (m_type == hd::kTsloHistory) {
        if (QWidget* holder = control(kGrid)) {
            holder->setProperty(CResizer::kIdProperty, static_cast<int>(kGrid));
            auto* layout = new QVBoxLayout(holder);
            layout->setContentsMargins(0, 0, 0, 0);
            m_grid = new ui::GridView(holder);
            layout->addWidget(m_grid);
        }
    }
    onClick(kRefresh, [this] { OnRefresh(); });
    onChanged(kExchange, [this] { OnSelchangeExch(); });
    m_reload = SecurityReload::instance().add(
        "report dialog", [this](const SecurityTable& before, SecurityTable& after) { return followReload(before, after); });
}

SecurityReload::Outcome CHistoryDepth::followReload(const SecurityTable& before, const SecurityTable& after)
{
    // The rows of market lots, gainers and active scrips keep their
    // securities for the derivative chain; a row whose security is gone goes.
    if (m_list) {
        ui::GridModel& model = m_list->model();
        std::vector<int> gone;
        for (int id : model.preorder()) {
            const int* index = model.rowDataAs<int>(id);
            if (!index || *index < 0)
                continue;
            const int found = ReresolveSecurity(before, after, *index);
            if (found >= 0)
                model.setRowData(id, found);
            else
                gone.push_back(id);
        }
        for (int id : gone)
            model.removeRow(id);
    }
    if (m_haveTslo && m_tslo.sec_index >= 0)
        m_tslo.sec_index = ReresolveSecurity(before, after, m_tslo.sec_index);
    if (m_security < 0)
        return {};
    m_security = ReresolveSecurity(before, after, m_security);
    // An order's history stays the order's; a depth report has nothing left
    // to show without its security.
    if (m_security >= 0 || m_type != hd::kMarketDepth)
        return {};
    m_reload.reset();
    reject();
    MsgBoxOk("The security of this Market Depth report is no longer in the security file.");
    return {true, "Market Depth report"};
}

CHistoryDepth::~CHistoryDepth()
{
    m_alive->open.store(false);
    if (m_busy && QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

void CHistoryDepth::setTsloOrder(const TsloOrderInfo& order)
{
    m_tslo = order;
    m_haveTslo = true;
}

void CHistoryDepth::onInit()
{
    try {
        SetAccessTime();
        setComboItems(kExchange, hd::ExchangeItems());
        setComboIndex(kExchange, 0);
        showControl(kExchange, false);
        const bool tslo = m_type == hd::kTsloHistory;
        for (int id : std::initializer_list<int>{kTsloSecurityLabel, kTsloSecurity, kTsloKindLabel, kTsloKind, kTsloNumberLabel, kTsloNumber,
                       kTsloClientLabel, kTsloClient, kGrid})
            showControl(id, tslo);
        for (int id : std::initializer_list<int>{kSecurity, kFirstEdit, kSecondEdit, kSecurityLabel, kFirstLabel, kSecondLabel,
                       kList})
            showControl(id, !tslo);
        if (!tslo && m_list && IsDarkTheme())
            m_list->ResetSortState(8);
        m_resizer = std::make_unique<CResizer>();
        if (tslo)
            m_resizer->Init(this, nullptr, history_depth_detail::kGridRule, 1);
        else
            m_resizer->Init(this, nullptr, history_depth_detail::kListRule, 1);
        if (m_type > 0)
            SetMessage(m_type, m_value);
    } catch (...) {
        WriteLog(0, "Exception in OnInitDialog (CHD)");
    }
}

void CHistoryDepth::SetMessage(int type, int value)
{
    WriteLog(3, "Entry in CHistoryDepth::SetMessage");
    m_type = type;
    m_value = value;
    const auto table = SecurityTable::current();
    if (type == hd::kTsloHistory) {
        if (!m_haveTslo) {
            if (ClientInfo* c = ActiveClientEntry())
                if (auto book = TsloBookOf(std::string(FixedTextView(c->client_code)));
                    book && value >= 0 && static_cast<size_t>(value) < book->size()) {
                    m_tslo = (*book)[static_cast<size_t>(value)];
                    m_haveTslo = true;
                }
        }
        setWindowTitle(QString::fromStdString(formatText("TSLO Order History - TSLO Order No :%ld",
                                                         static_cast<long>(m_tslo.special_order_no))));
        if (m_grid)
            history_depth_detail::setColumns(*m_grid, hd::ReportColumns(type));
        loadType();
        return;
    }
    if (m_list)
        history_depth_detail::setColumns(*m_list, hd::ReportColumns(type));
    if (type >= hd::kIndices) {
        for (int id : std::initializer_list<int>{kSecurity, kFirstEdit, kSecondEdit, kFirstLabel, kSecondLabel, kRefresh})
            showControl(id, false);
        if (type <= hd::kMarketLot)
            showControl(kSecurityLabel, false);
    }
    switch (type) {
    case hd::kOrderHistory: {
        OrderInfo rec;
        if (ReadStoredOrder(ActiveClientEntry(), value, rec)) {
            m_security = rec.sec_index;
            setWindowTitle(QString::fromStdString(formatText("Order History - TWXS Order No :%.0lf", rec.order_no)));
            if (table && table->valid(m_security))
                setText(kSecurity, table->row(m_security).displayKey().view());
            setText(kFirstEdit, formatText("%.0lf", rec.order_no));
            setText(kSecondEdit, rec.buy_sell[0] == 'B' ? "Buy" : "Sell");
        }
        break;
    }
    case hd::kMarketDepth:
        m_security = value;
        setText(kFirstLabel, "Total Buy Qty :");
        setText(kSecondLabel, "Total Sell Qty :");
        if (table && table->valid(m_security)) {
            setWindowTitle(QString::fromStdString(
                formatText("Market Depth - %s", std::string(table->row(m_security).displayKey().view()).c_str())));
            setText(kSecurity, table->row(m_security).displayKey().view());
        }
        break;
    case hd::kIndices: setWindowTitle("Indices Watch"); break;
    case hd::kMarketLot: setWindowTitle("Market Lot Information"); break;
    case hd::kGainerLoser: setWindowTitle("Top Gainer Loser"); break;
    case hd::kActiveScrips: setWindowTitle("Active Scrips"); break;
    default: break;
    }
    if (type == hd::kGainerLoser || type == hd::kActiveScrips) {
        showControl(kExchange, true);
        showControl(kSecurityLabel, true);
        setText(kSecurityLabel, "Exchange :");
    }
    placeList();
    if (type == hd::kMarketLot && m_list && table) {
        for (const hd::ReportRow& r : hd::MarketLotRows(*table)) {
            const int id = m_list->model().addRow();
            for (size_t c = 0; c < r.cells.size(); ++c)
                m_list->model().setText(id, static_cast<int>(c), QString::fromStdString(r.cells[c]));
            m_list->model().setRowData(id, r.securityIndex);
        }
    }
    loadType();
}

void CHistoryDepth::loadType()
{
    const std::string clientId = history_depth_detail::activeClientId();
    const std::string userId(FixedTextView(pv_user_info.user_id));
    const auto table = SecurityTable::current();
    switch (m_type) {
    case hd::kOrderHistory: {
        OrderInfo rec;
        if (!ReadStoredOrder(ActiveClientEntry(), m_value, rec))
            return;
        const bool derivative = table && table->valid(rec.sec_index) && table->row(rec.sec_index).derivative;
        const std::string code(FixedTextView(rec.client_code));
        request(m_type, hd::OrderHistoryRequest(clientId, userId, code, rec.order_no, derivative));
        break;
    }
    case hd::kMarketDepth:
        if (table && table->valid(m_security))
            request(m_type, hd::MarketDepthRequest(clientId, table->row(m_security).token,
                                                   table->row(m_security).market_exchange.view()));
        break;
    case hd::kIndices: request(m_type, hd::IndicesRequest(clientId)); break;
    case hd::kGainerLoser:
    case hd::kActiveScrips:
        // Nothing is asked for until an exchange is chosen.
        if (!m_exchange.empty())
            request(m_type, hd::RankedRequest(m_type, clientId, m_exchange));
        break;
    case hd::kTsloHistory:
        if (m_haveTslo)
            request(m_type, hd::TsloHistoryRequest(clientId, userId, FixedTextView(m_tslo.client_code),
                                                   m_tslo.special_order_no));
        break;
    default: break;
    }
}

void CHistoryDepth::request(int type, const std::string& text)
{
    // A request made while another is out (another exchange chosen) goes
    // out too; only the reply to the newest is shown.
    const uint64_t ticket = m_latest.next();
    const int code = hd::ReportTransCode(type);
    const int encrypt = pv_user_info.encrypt;
    if (!m_busy)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    m_busy = true;
    enable(kRefresh, false);
    QPointer<CHistoryDepth> self(this);
    std::shared_ptr<Alive> alive = m_alive;
    ServerAccess* server = m_server;
    const bool started = pf::Worker::start("HistoryDepth", [self, alive, server, code, type, text, encrypt, ticket] {
        std::string reply;
        int status = 0;
        if (server) {
            ServerReply r = server->requestServer(encrypt, code, text);
            status = r.status;
            reply = std::move(r.body);
        } else {
            long length = 0;
            status = RequestServer(encrypt, code, text, reply, length);
        }
        if (!alive->open.load())
            return;
        ui::UiThread::post([self, type, status, reply, ticket] {
            if (self && self->m_latest.isLatest(ticket, "report dialog"))
                self->ApplyReply(type, status, reply);
        });
    });
    if (!started) {
        m_latest.dropAll();
        m_busy = false;
        enable(kRefresh, true);
        QApplication::restoreOverrideCursor();
    }
}

int CHistoryDepth::ApplyReply(int type, int httpStatus, const std::string& reply)
{
    if (m_busy) {
        m_busy = false;
        if (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }
    enable(kRefresh, true);
    ++m_replies;
    try {
        if (httpStatus == 407) {
            MsgBoxInfoCaption("Proxy Authentication Failed", "Internet Error");
            return -1;
        }
        if (httpStatus != 200) {
            MsgBoxInfoCaption(
                formatText("Internet Connectivity Error [%d]. Pls contact System Administrator", httpStatus),
                "Internet Error");
            return -1;
        }
        if (type != hd::kIndices)
            WriteLog(3, formatText("Response Len <%ld>", static_cast<long>(reply.size())));
        if (reply.empty()) {
            const std::string caption = hd::EmptyReplyCaption(type);
            if (!caption.empty())
                MsgBoxInfoCaption("Server Error. Please Try Again...", caption);
            return -1;
        }
        if (type == hd::kTsloHistory) {
            const auto table = SecurityTable::current();
            hd::TsloContext ctx;
            ctx.kind = m_tslo.kind;
            ctx.specialNo = m_tslo.special_order_no;
            ctx.clientCode = std::string(FixedTextView(m_tslo.client_code));
            int sec = m_tslo.sec_index;
            if ((!table || !table->valid(sec)) && table)
                sec = table->searchToken(m_tslo.token, FixedTextView(m_tslo.exchange));
            if (table && table->valid(sec)) {
                ctx.securityKey = std::string(table->row(sec).displayKey().view());
                ctx.currency = table->row(sec).currency != 0;
            }
            const hd::ReportResult r = hd::ParseTsloHistory(reply, ctx);
            if (!r.boxText.empty())
                MsgBoxInfoCaption(r.boxText, r.boxCaption);
            if (r.status != 0)
                return -1;
            fillGrid(r);
            WriteLog(0, "Exit GetTsloHistory");
            return static_cast<int>(r.rows.size());
        }
        const auto table = SecurityTable::current();
        const int depthDecimals = table && table->valid(m_security) && table->row(m_security).currency ? 4 : 2;
        const hd::ReportResult r = hd::ParseReport(type, reply, table.get(), depthDecimals);
        if (r.status != 0) {
            MsgBoxInfoCaption(r.boxText, r.boxCaption);
            return -1;
        }
        if (type == hd::kMarketDepth) {
            setText(kFirstEdit, r.totalBuy);
            setText(kSecondEdit, r.totalSell);
        }
        fillList(r);
        if (type == hd::kOrderHistory)
            WriteLog(0, "Exit Get_History");
        return 0;
    } catch (...) {
        WriteLog(0, "Exception in ApplyReply (CHD)");
        return -1;
    }
}

void CHistoryDepth::fillList(const hd::ReportResult& result)
{
    if (!m_list)
        return;
    ui::GridModel& model = m_list->model();
    model.clearRows();
    for (const hd::ReportRow& r : result.rows) {
        const int id = model.addRow();
        for (size_t c = 0; c < r.cells.size(); ++c)
            model.setText(id, static_cast<int>(c), QString::fromStdString(r.cells[c]));
        if (r.securityIndex >= 0)
            model.setRowData(id, r.securityIndex);
    }
}

void CHistoryDepth::fillGrid(const hd::ReportResult& result)
{
    if (!m_grid)
        return;
    if (result.headerFilled) {
        setText(kTsloClient, result.clientCode);
        setText(kTsloNumber, result.specialNo);
        setText(kTsloKind, result.kindText);
        setText(kTsloSecurity, result.securityKey);
    }
    ui::GridModel& model = m_grid->model();
    for (const hd::ReportRow& r : result.rows) {
        const int id = model.addRow();
        if (id < 0) {
            WriteLog(0, r.legHeader ? "Error : Grid row for Leg 2 header NULL in TSLO Order History report"
                                    : "Error : Grid row NULL in TSLO Order History report");
            return;
        }
        for (size_t c = 0; c < r.cells.size(); ++c)
            model.setText(id, static_cast<int>(c), QString::fromStdString(r.cells[c]));
        if (r.legHeader)
            model.mergeCells(id, id, 0, 14);
    }
}

void CHistoryDepth::OnRefresh()
{
    SetAccessTime();
    if (m_type == hd::kMarketLot)
        return;
    // Every reloadable type starts from an empty list; the trailing history
    // empties its grid too, so a reload never doubles its rows.
    if (m_type == hd::kTsloHistory) {
        if (m_grid)
            m_grid->model().clearRows();
    } else if (m_list) {
        m_list->model().clearRows();
    }
    loadType();
}

void CHistoryDepth::OnSelchangeExch()
{
    try {
        const std::vector<std::string> items = comboItems(kExchange);
        const int at = comboIndex(kExchange);
        m_exchange = at >= 0 && static_cast<size_t>(at) < items.size()
                         ? hd::ExchangeCodeOf(items[static_cast<size_t>(at)])
                         : std::string();
        if (m_exchange.empty())
            return;
        if (m_list)
            m_list->model().clearRows();
        loadType();
    } catch (...) {
        WriteLog(0, "Exception in OnSelchangeExch(HD)");
    }
}

void CHistoryDepth::OnRclickList1(const QPoint& pos)
{
    try {
        if (m_type != hd::kMarketLot || !m_list)
            return;
        QMenu menu(this);
        QAction* chain = menu.addAction("Derivative &Chain");
        if (menu.exec(m_list->mapToGlobal(pos)) == chain)
            OnPopupDerivative();
    } catch (...) {
        WriteLog(0, "Exception in OnRclickList1");
    }
}

void CHistoryDepth::OnPopupDerivative()
{
    try {
        if (!m_list)
            return;
        const std::vector<int> rows = ui::selectedRowIds(*m_list);
        if (rows.empty())
            return;
        const int* index = m_list->model().rowDataAs<int>(rows.front());
        if (!index)
            return;
        WriteLog(3, formatText("Security Index : %d", *index));
        const auto table = SecurityTable::current();
        if (!table || !table->valid(*index))
            return;
        WriteLog(3, formatText("Derivative Name :%s", std::string(table->row(*index).symbol.view()).c_str()));
        if (windowOpeners().chain)
            windowOpeners().chain(2, *index);
    } catch (...) {
        WriteLog(0, "Exception in OnPopupDerivative");
    }
}

void CHistoryDepth::placeList()
{
    QWidget* holder = control(kList);
    if (!holder)
        return;
    const QRect area = rect();
    if (m_type == hd::kGainerLoser || m_type == hd::kActiveScrips)
        holder->setGeometry(0, 40, area.width(), std::max(0, area.height() - 40));
    else if (m_type == hd::kIndices || m_type == hd::kMarketLot)
        holder->setGeometry(area);
}

void CHistoryDepth::resizeEvent(QResizeEvent* event)
{
    ui::Form::resizeEvent(event);
    if (m_type == hd::kOrderHistory || m_type == hd::kMarketDepth || m_type == hd::kTsloHistory) {
        if (m_resizer)
            m_resizer->Move();
    } else {
        placeList();
    }
}

bool CHistoryDepth::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_F5) {
        OnRefresh();
        return true;
    }
    return ui::Form::eventFilter(watched, event);
}

void OpenHistoryDepth(QWidget* parent, int type, int value)
{
    CHistoryDepth dialog(parent, type, value);
    ui::modalHost().run(dialog);
}

void InstallReportDialogs(QWidget* mainWindow)
{
    QPointer<QWidget> main(mainWindow);
    AppWindowServices& services = appWindowServices();
    const std::pair<int, int> commands[] = {{32881, hd::kMarketLot}, {32884, hd::kGainerLoser},
                                            {32885, hd::kActiveScrips}};
    for (const auto& [id, type] : commands) {
        const int t = type;
        services.windows[id].open = [main, t] {
            OpenHistoryDepth(main, t, 0);
            return true;
        };
    }
    SetOrderHistoryOpener([](int storeIndex, QWidget* parent) {
        OpenHistoryDepth(parent, hd::kOrderHistory, storeIndex);
    });
    SetTsloHistoryOpener([main](int record) { OpenHistoryDepth(main, hd::kTsloHistory, record); });
}
