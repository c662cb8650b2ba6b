#include "orders/OrderBookCommands.h"

// Server and order headers come before any Qt header: some of their members
// are named like Qt's keyword macros.
#include "server/SecurityTable.h"
#include "server/ServerRequests.h"

#include "app/base/ActivityStamp.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "frame/OrderFormOpener.h"
#include "frame/controls/CMyReportCtrl.h"
#include "orders/COrderViewEx.h"
#include "orders/ClientOrderStore.h"
#include "orders/OrderBookRules.h"
#include "orders/OrderBookToolBar.h"
#include "orders/OrderReportRequest.h"
#include "server/OrderSecurity.h"
#include "frame/WatchOrderCommands.h"
#include "frame/PositionServices.h"
#include "frame/WatchOpeners.h"
#include "frame/WindowOpeners.h"

#include "ui/grid_ranges.h"
#include "watch/base/TextSplit.h"
#include "ui/prompter.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QKeyEvent>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QShortcut>
#include <QTreeView>

#include <cstdio>
#include <fstream>

namespace order_book_commands_detail {
namespace {

void inputError(const char* text) { MyMessageBox(text, "Input Error", MsgOk | MsgIconInformation); }

// A cell as the file holds it: the grid's text, written as it is.
std::string cellText(const ui::GridView& grid, int rowId, int column)
{
    return grid.model().text(rowId, column).toStdString();
}

} // namespace
} // namespace order_book_commands_detail

OrderBookCommands::OrderBookCommands(COrderViewEx* view)
    : QObject(view)
    , m_view(view)
{
    if (CMyReportCtrl* grid = view->grid()) {
        grid->tree()->installEventFilter(this);
        grid->tree()->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(grid->tree(), &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
            const QPoint global = m_view->grid()->tree()->viewport()->mapToGlobal(at);
            OnContextMenu(global.x(), global.y());
        });
        if (QItemSelectionModel* selection = grid->tree()->selectionModel()) {
            connect(selection, &QItemSelectionModel::currentChanged, this, [this] { refreshToolBar(); });
            connect(selection, &QItemSelectionModel::selectionChanged, this, [this] { refreshToolBar(); });
        }
    }
    m_toolBar = new OrderBookToolBar(
        view, [this](int id) { run(id); }, [this](int id) { return commandEnabled(id); });
    auto expand = new QShortcut(QKeySequence(QKeyCombination(Qt::ShiftModifier | Qt::KeypadModifier, Qt::Key_Plus)), view);
    expand->setContext(Qt::WidgetWithChildrenShortcut);
    connect(expand, &QShortcut::activated, this, [this] { run(kCmdExpandAll); });
    auto collapse = new QShortcut(QKeySequence(QKeyCombination(Qt::ShiftModifier | Qt::KeypadModifier, Qt::Key_Minus)), view);
    collapse->setContext(Qt::WidgetWithChildrenShortcut);
    connect(collapse, &QShortcut::activated, this, [this] { run(kCmdCollapseAll); });
}

OrderBookCommands::~OrderBookCommands()
{
    delete m_toolBar;
}

bool OrderBookCommands::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || m_view->isBusy())
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    try {
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        switch (key->key()) {
        case Qt::Key_F1:
        case Qt::Key_Delete:
            if (mods == Qt::NoModifier) {
                OnOrderCancel();
                return true;
            }
            break;
        case Qt::Key_F2:
            if (mods == Qt::NoModifier) {
                OnOrderModify();
                return true;
            }
            break;
        case Qt::Key_O:
            if (mods == Qt::ShiftModifier) {
                OnOrderSummary();
                return true;
            }
            break;
        case Qt::Key_B:
            if (mods == Qt::ControlModifier) {
                OnBasketCancel();
                return true;
            }
            break;
        default:
            break;
        }
    } catch (...) {
        WriteLog(0, "Exception in COrderViewEx::PreTranslateMessage key = " + std::to_string(key->key()));
    }
    return QObject::eventFilter(watched, event);
}

bool OrderBookCommands::commandEnabled(int commandId) const
{
    if (m_view->isBusy() || !m_view->grid())
        return false;
    switch (commandId) {
    case kCmdOrderModify:
    case kCmdOrderCancel: {
        OrderInfo rec;
        return clientActive() && currentOrder(rec) && OrderMenuStateFor(rec).modifyAllowed;
    }
    case kCmdOrderHistory: {
        OrderInfo rec;
        return clientActive() && currentOrder(rec);
    }
    case kCmdMfMark:
        return false;
    default:
        return true;
    }
}

void OrderBookCommands::refreshToolBar()
{
    if (m_toolBar)
        m_toolBar->refresh();
}

bool OrderBookCommands::clientActive() const
{
    ClientInfo* client = ActiveClientEntry();
    return client && client->active != 0;
}

bool OrderBookCommands::currentOrder(OrderInfo& out, int* storeIndex) const
{
    CMyReportCtrl* grid = m_view->grid();
    if (!grid)
        return false;
    const int rowId = ui::currentRowId(*grid);
    if (rowId < 0 || grid->model().isGroup(rowId))
        return false;
    const int* index = grid->model().rowDataAs<int>(rowId);
    if (!index || !ReadStoredOrder(ActiveClientEntry(), *index, out))
        return false;
    if (storeIndex)
        *storeIndex = *index;
    return true;
}

ui::MenuSpec OrderBookCommands::contextMenu()
{
    m_modifyAllowed = false;
    m_historyAllowed = false;
    ui::MenuSpec menu;
    if (m_view->isBusy() || !m_view->grid())
        return menu;
    OrderMenuState state;
    const bool selected = !ui::selectedRowIds(*m_view->grid()).empty();
    if (selected) {
        if (!clientActive()) {
            WriteLog(0, "Client ref found not free when user right clicked");
            return menu;
        }
        const int rowId = ui::currentRowId(*m_view->grid());
        if (rowId < 0 || m_view->grid()->model().isGroup(rowId)) {
            WriteLog(0, "prow and not group when user right clicked");
            return menu;
        }
        const int* index = m_view->grid()->model().rowDataAs<int>(rowId);
        OrderInfo rec;
        if (!index || !ReadStoredOrder(ActiveClientEntry(), *index, rec)) {
            WriteLog(0, "INDEX found invalid [" + std::to_string(index ? *index : -1) + "] comparing with ["
                            + std::to_string(StoredOrderCount(ActiveClientEntry())) + "] when user right clicked");
            return menu;
        }
        state = OrderMenuStateFor(rec);
        m_modifyAllowed = state.modifyAllowed;
        m_historyAllowed = state.historyAllowed;
    }
    const bool oneRow = ui::selectedRowIds(*m_view->grid()).size() == 1;
    auto add = [&](int id, const char* text, bool enabled = true) { menu.items.push_back({id, text, false, enabled, {}}); };
    add(kCmdOrderRefresh, "&Refresh");
    add(kCmdSelectColumns, "Select Columns");
    add(kCmdExpandAll, "Expand All");
    add(kCmdCollapseAll, "Collapse All");
    if (state.hasModifyCancel()) {
        add(kCmdOrderModify, "&Modify\tShift F2", m_modifyAllowed);
        add(kCmdOrderCancel, "&Cancel\tShift F1", m_modifyAllowed);
    }
    add(kCmdBasketCancel, "&Basket Cancel\tCtrl B");
    if (state.hasPlaceOrder()) {
        add(kCmdPlaceOrder, "Place order");
        add(kCmdPlaceGtcOrder, "Place Gtc order");
    }
    add(kCmdOrderHistory, "Order &History", m_historyAllowed);
    add(kCmdCopy, "Copy to Cl&ipBoard");
    add(kCmdSaveAsCsv, "Save as CS&V");
    add(kCmdOrderSummary, "Order S&ummary");
    add(kCmdSor, "SOR", oneRow);
    return menu;
}

void OrderBookCommands::OnContextMenu(int x, int y)
{
    try {
        const ui::MenuSpec menu = contextMenu();
        if (menu.items.empty())
            return;
        const int id = ui::prompter().pickMenuCommand(menu, x, y);
        if (id != 0)
            run(id);
    } catch (...) {
        WriteLog(0, "Exception in COrderViewEx::OnContextMenu at [1]");
        MyMessageBox("Exception in COrderViewEx::OnContextMenu at [1]", "Error", MsgOk | MsgIconError);
    }
}

void OrderBookCommands::run(int commandId)
{
    // Every command of the book passes the lock check before it acts.
    const bool order = commandId == kCmdOrderModify || commandId == kCmdOrderCancel || commandId == kCmdBasketCancel
        || commandId == kCmdPlaceOrder || commandId == kCmdPlaceGtcOrder;
    if (RefuseWhileLocked(order ? "Place Order." : commandId == kCmdOrderRefresh ? "View Orders." : "proceed."))
        return;
    CMyReportCtrl* grid = m_view->grid();
    switch (commandId) {
    case kCmdOrderRefresh:
        m_view->OnOrderRefresh();
        break;
    case kCmdSelectColumns:
        if (grid)
            grid->showColumnChooser();
        break;
    case kCmdExpandAll:
    case kCmdCollapseAll:
        if (grid)
            grid->expandAll(commandId == kCmdExpandAll);
        break;
    case kCmdOrderModify:
        OnOrderModify();
        break;
    case kCmdOrderCancel:
        OnOrderCancel();
        break;
    case kCmdBasketCancel:
        OnBasketCancel();
        break;
    case kCmdPlaceOrder:
        OnOrderPlaceorder();
        break;
    case kCmdPlaceGtcOrder:
        OnPlaceGTCOrder();
        break;
    case kCmdOrderHistory:
        OnHistory();
        break;
    case kCmdCopy:
        if (grid)
            grid->copySelection();
        break;
    case kCmdSaveAsCsv:
        OnSaveAsCsv();
        break;
    case kCmdOrderSummary:
        OnOrderSummary();
        break;
    case kCmdSor:
        OnMenuSor();
        break;
    default:
        break;
    }
}

void OrderBookCommands::OnOrderModify()
{
    if (m_view->isBusy())
        return;
    SetAccessTime();
    try {
        OrderInfo rec;
        int index = -1;
        if (!m_view->grid() || ui::selectedRowIds(*m_view->grid()).empty())
            return;
        if (!clientActive()) {
            order_book_commands_detail::inputError("Please Activate a Client");
            return;
        }
        if (!currentOrder(rec, &index))
            return;
        if (rec.order_mark == kDdsOrderMark) {
            order_book_commands_detail::inputError("DDS Order cannot be Modified from here.");
            return;
        }
        if (!IsOpenOrderStatus(FixedTextView(rec.status)))
            return;
        OrderFormParams p;
        p.index = index;
        p.side = rec.buy_sell[0];
        p.companionIndex = 0;
        OpenOrderForm(p, m_view, 2);
    } catch (...) {
        WriteLog(0, "Exception in COrderViewEx::OnOrderModify line No 1");
    }
}

void OrderBookCommands::OnOrderCancel()
{
    SetAccessTime();
    try {
        OrderInfo rec;
        int index = -1;
        if (!m_view->grid() || ui::selectedRowIds(*m_view->grid()).empty())
            return;
        if (!clientActive()) {
            order_book_commands_detail::inputError("Please Activate a Client");
            return;
        }
        if (!currentOrder(rec, &index) || rec.order_mark == kDdsOrderMark)
            return;
        if (!IsOpenOrderStatus(FixedTextView(rec.status)))
            return;
        OrderFormParams p;
        p.index = index;
        p.side = rec.buy_sell[0];
        p.companionIndex = 0;
        OpenOrderForm(p, m_view, 3);
    } catch (...) {
        WriteLog(0, "Exception in OnOrderCancel");
    }
}

void OrderBookCommands::OnOrderPlaceorder()
{
    if (m_view->isBusy())
        return;
    SetAccessTime();
    WriteLog(0, "OnOrderPlaceorder()");
    try {
        OrderInfo rec;
        int index = -1;
        if (!m_view->grid() || ui::selectedRowIds(*m_view->grid()).empty())
            return;
        if (!clientActive()) {
            order_book_commands_detail::inputError("Please Activate a Client");
            return;
        }
        if (!currentOrder(rec, &index))
            return;
        if (rec.order_mark == kDdsOrderMark) {
            order_book_commands_detail::inputError("DDS Order cannot be Modified from here.");
            return;
        }
        if (rec.contract_valid == 0) {
            MsgBoxOk("Order placement not allowed as Contract is Expired");
            return;
        }
        if (!IsFinishedOrderStatus(FixedTextView(rec.status)))
            return;
        int other = -1;
        const OrderSecurity sec = OrderSecurityAt(rec.sec_index);
        const std::string_view exch = FixedTextView(rec.exchange);
        if (sec.valid() && !sec.derivative && !sec.commodity && !sec.currency && (exch == "NN" || exch == "BN"))
            other = Search_Symbol(sec.symbol, exch == "NN" ? "BN" : "NN", sec.series);
        OrderFormParams p;
        p.index = index;
        p.side = rec.buy_sell[0];
        p.companionIndex = other;
        QWidget* view = m_view;
        if (other != 0 && other != -1)
            FetchQuoteThen(other, view, [p, view] { OpenOrderForm(p, view, 15); });
        else
            OpenOrderForm(p, m_view, 15);
    } catch (...) {
        WriteLog(0, "Exception in COrderViewEx::OnOrderModify line No 2");
    }
}

void OrderBookCommands::OnHistory()
{
    SetAccessTime();
    try {
        OrderInfo rec;
        if (!m_view->grid() || ui::selectedRowIds(*m_view->grid()).empty())
            return;
        if (!clientActive()) {
            order_book_commands_detail::inputError("Please Activate a Client");
            return;
        }
        int index = -1;
        if (!currentOrder(rec, &index))
            return;
        const auto& opener = windowOpeners().orderHistory;
        if (!opener) {
            MsgBoxOk("Order History is not available in this version.");
            return;
        }
        opener(index, m_view);
    } catch (...) {
        WriteLog(0, "Exception in OnHistory");
    }
}

bool WriteGridCsv(const ui::GridView& grid, const std::string& path)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    const ui::GridModel& model = grid.model();
    std::string line;
    for (int c = 0; c < model.columns(); ++c) {
        if (c)
            line += ',';
        line += CsvField(model.columnName(c).toStdString());
    }
    out << line << '\n';
    for (int rowId : grid.shownRows()) {
        if (model.isGroup(rowId) || model.isAutoGroup(rowId))
            continue;
        line.clear();
        for (int c = 0; c < model.columns(); ++c) {
            if (c)
                line += ',';
            line += CsvField(order_book_commands_detail::cellText(grid, rowId, c));
        }
        out << line << '\n';
    }
    out.flush();
    return bool(out);
}

void OrderBookCommands::OnSaveAsCsv()
{
    try {
        ui::FilePrompt prompt;
        prompt.caption = "Save As";
        prompt.filter = "*.csv";
        prompt.defaultSuffix = "csv";
        prompt.confirmOverwrite = true;
        const auto path = ui::prompter().pickSavePath(prompt);
        WriteLog(3, "File Path :" + path.value_or(""));
        if (!path || path->empty() || !m_view->grid() || !WriteGridCsv(*m_view->grid(), *path))
            MsgBoxOk("Unable to Save File");
    } catch (...) {
        WriteLog(0, "Exception in COrderViewEx::OnSaveAsCsv");
    }
}

void OrderBookCommands::OnOrderSummary()
{
    try {
        ClientInfo* client = ActiveClientEntry();
        CMyReportCtrl* grid = m_view->grid();
        if (!client || !grid)
            return;
        std::vector<std::pair<OrderInfo, OrderSecurity>> rows;
        for (int rowId : grid->shownRows()) {
            if (grid->model().isGroup(rowId))
                continue;
            const int* index = grid->model().rowDataAs<int>(rowId);
            OrderInfo rec;
            if (!index || !ReadStoredOrder(client, *index, rec))
                continue;
            OrderSecurity sec = OrderSecurityAt(rec.sec_index);
            if (!sec.valid())
                continue;
            rows.emplace_back(rec, std::move(sec));
        }
        MsgBoxInfoCaption(OrderSummaryText(SummariseOrders(rows)), "Order Summary");
    } catch (...) {
        WriteLog(0, "Exception in OnOrderSummary");
    }
}

void OrderBookCommands::openPage(const std::string& request, bool rsaAllowed, const std::string& title)
{
    WriteLog(0, request);
    std::string query = request;
    const int enc = pv_user_info.encrypt;
    if (enc == 1 || (rsaAllowed && enc != 0)) {
        std::string encoded;
        if (!EncryptRequest(request, encoded)) {
            MsgBoxOk("The page request could not be encoded.");
            return;
        }
        query = UrlEncode(encoded, true);
    }
    const std::string address = std::string(FixedTextView(g_Config.Redirect_Url)) + "/qtrade/qlogin.exe?" + query;
    if (watchOpeners().browser)
        watchOpeners().browser(address, title);
    else
        TellNotAvailable("Browser");
}

void OrderBookCommands::OnMenuSor()
{
    try {
        CMyReportCtrl* grid = m_view->grid();
        if (!grid || ui::selectedRowIds(*grid).size() != 1)
            return;
        OrderInfo rec;
        if (!currentOrder(rec))
            return;
        ClientInfo* active = ActiveClientEntry();
        const std::string typed = m_view->clientEdit()->text().trimmed().toStdString();
        if (typed.empty()) {
            MsgBoxOk("Please enter ClientId");
            if (active)
                m_view->clientEdit()->setText(QString::fromStdString(std::string(FixedTextView(active->client_code))));
            return;
        }
        if (!IsValidDealerClient(typed)) {
            MsgBoxOk("Please enter Valid Client");
            m_view->clientEdit()->setFocus();
            return;
        }
        char text[256];
        std::snprintf(text, sizeof text, "LoginData=1002|%s|%s|%d|%0.0lf",
                      std::string(FixedTextView(pv_user_info.user_id)).c_str(),
                      active ? std::string(FixedTextView(active->user_id)).c_str() : "", 0, rec.order_no);
        std::string request = text;
        const char type = pv_user_info.user_type;
        // The typed code goes into an address: encoded, so that it cannot
        // add keys of its own.
        if (type == 'P' || type == 'A' || type == 'D')
            request += "&ClientUserId=" + UrlEncode(typed, true);
        openPage(request, false, "Smart Order History ");
    } catch (...) {
        WriteLog(0, "Exception in OnMenuSor");
    }
}

std::string GtcOrderEntry(const OrderInfo& rec, const OrderSecurity& sec)
{
    std::string symbol = sec.symbol;
    if (const size_t tilde = symbol.find('~'); tilde != std::string::npos && tilde > 0)
        symbol.resize(tilde);
    const int qty = FixedTextView(rec.status) == "TRAD" ? rec.total_qty : rec.open_qty;
    char text[256];
    std::snprintf(text, sizeof text, "%d,%s,%s,%.2lf,%s,%d", sec.token, sec.exchange.c_str(),
                  std::string(FixedTextView(rec.buy_sell)).c_str(), rec.price, UrlEncode(symbol, true).c_str(), qty);
    return text;
}

void OrderBookCommands::OnPlaceGTCOrder()
{
    SetAccessTime();
    try {
        if (!clientActive()) {
            order_book_commands_detail::inputError("Please Activate a Client");
            return;
        }
        // Only the order the user pointed at: never a stand-in record.
        OrderInfo rec;
        if (!currentOrder(rec))
            return;
        const OrderSecurity sec = OrderSecurityAt(rec.sec_index);
        if (!sec.valid())
            return;
        ClientInfo* active = ActiveClientEntry();
        const std::string request = "LoginData=1002|" + std::string(FixedTextView(pv_user_info.user_id)) + "|"
                                    + std::string(active ? FixedTextView(active->user_id) : std::string_view())
                                    + "|-2|" + GtcOrderEntry(rec, sec);
        openPage(request, true, "GTC Order");
    } catch (...) {
        WriteLog(0, "Exception in OnPlaceGTCOrder");
    }
}

void OrderBookCommands::OnBasketCancel()
{
    SetAccessTime();
    try {
        CMyReportCtrl* grid = m_view->grid();
        if (!clientActive()) {
            order_book_commands_detail::inputError("Please Activate a Client");
            return;
        }
        if (!grid)
            return;
        std::vector<OrderInfo> selected;
        int count = 0;
        for (int rowId : ui::selectedRowIds(*grid)) {
            if (grid->model().isGroup(rowId) || !grid->isRowShown(rowId))
                continue;
            ++count;
            const int* index = grid->model().rowDataAs<int>(rowId);
            OrderInfo rec;
            if (index && ReadStoredOrder(ActiveClientEntry(), *index, rec))
                selected.push_back(rec);
        }
        const BasketCancelPick pick = PickBasketCancel(selected, count);
        BasketService* basket = InstalledBasketService();
        if (!pick.error.empty()) {
            if (pick.destroyForm && basket)
                basket->destroy();
            order_book_commands_detail::inputError(pick.error.c_str());
            return;
        }
        if (pick.legs.empty())
            return;
        if (!basket) {
            MsgBoxOk("Basket Order is not available in this version.");
            return;
        }
        basket->reset();
        basket->setClient(pick.client);
        basket->setMode(2);
        for (size_t k = 0; k < pick.legs.size(); ++k) {
            const OrderInfo& rec = pick.legs[k];
            BasketLeg leg;
            leg.sec_index = rec.sec_index;
            leg.quantity = rec.open_qty;
            leg.price = rec.price;
            leg.side = rec.buy_sell[0];
            leg.product_code = rec.order_mark;
            leg.order_no = rec.order_no;
            leg.disclosed = rec.disclosed;
            leg.trigger = rec.trigger;
            leg.client_code = FixedTextView(rec.client_code);
            basket->setLeg(int(k), leg);
        }
        basket->refreshOrShow();
    } catch (...) {
        WriteLog(0, "Exception in OnBasketCancel.");
    }
}
