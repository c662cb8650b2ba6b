// The market watch's row menu, its keys and the commands behind them: the
// windows a row opens, the watch-list dialogs, editing the list (add,
// remove, cut, paste, save, columns, CSV, type-ahead), the books, the
// leveraged orders and the broker's web pages.
//
// The feed and server headers come before any Qt header: a member of the feed
// tables is named like one of Qt's keyword macros.
#include "watch/WatchFeed.h"

#include "server/SecurityTable.h"
#include "server/ServerRequests.h"

#include "frame/WatchOrderCommands.h"

#include "watch/CVortanexView.h"

#include "app/base/ActivityStamp.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "frame/OrderFormOpener.h"
#include "frame/OrderFormService.h"
#include "frame/controls/CMyGridCtrl.h"
#include "watch/CColumnSelect.h"
#include "watch/CScrip.h"
#include "watch/CWatch.h"
#include "watch/WatchCommands.h"
#include "watch/WatchExchange.h"
#include "frame/WatchOpeners.h"
#include "watch/WatchTextRules.h"
#include "watch/WatchlistServer.h"
#include "watch/base/WatchlistTable.h"

#include "pf/clock.h"
#include "ui/modal_host.h"
#include "ui/prompter.h"

#include <QAbstractProxyModel>
#include <QDesktopServices>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPointer>
#include <QTreeView>
#include <QUrl>

#include <algorithm>
#include <fstream>
#include <set>

namespace vortanex_view_commands_detail {
namespace {

enum : int {
    ID_BUY = 32972, ID_SELL = 32974, ID_MAXI_BUY = 33003, ID_MAXI_SELL = 33004, ID_ADD_SCRIP = 32976,
    ID_REMOVE_SCRIP = 32977, ID_DETAILS = 32978, ID_PELLBROOK = 32969, ID_DEPTH = 32979, ID_SELECT_COLUMNS = 32987,
    ID_SIZE_CONTENT = 32935, ID_SIZE_SCREEN = 32936, ID_CUT = 32938, ID_PASTE = 32939, ID_EXCEL = 33315,
    ID_WL_ADD = 32980, ID_WL_VIEW = 32981, ID_WL_DELETE = 32982, ID_WL_RENAME = 32983, ID_WL_SAVE = 32984,
    ID_DERIVATIVE = 32985, ID_FUTURE = 32960, ID_BASKET = 32986, ID_CSV = 32989, ID_NEWS = 32929,
    ID_PROFILE = 32928, ID_INTRADAY = 32990, ID_EOD = 32991, ID_ALERT = 32992, ID_ORDERS = 33304,
    ID_TRADES = 33305, ID_GTC = 33306,
};

constexpr int kMaxRows = 100;

// The action a command key of the grid names when the terminal is locked.
const char* keyLockAction(int key, Qt::KeyboardModifiers m)
{
    if (m != Qt::ShiftModifier)
        return "proceed.";
    if (key == Qt::Key_F3)
        return "View Orders.";
    if (key == Qt::Key_F8)
        return "View Trades.";
    return "Place Order.";
}

std::string userIdText() { return std::string(FixedTextView(pv_user_info.user_id)); }
constexpr const char* kDefaultNewsUrl = "https://news.google.com/search?q=%s";

// A display key inside a menu text: '&' would become a mnemonic.
std::string menuText(const std::string& text)
{
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '&')
            out += '&';
    }
    return out;
}

std::string fill(const char* format, const std::string& key)
{
    return formatText(format, menuText(key).c_str());
}

ui::MenuItem item(int id, const char* text) { return ui::MenuItem{id, text, false, true, {}}; }
ui::MenuItem separator() { return ui::MenuItem{0, "", false, true, {}}; }

std::vector<ui::MenuItem> menuTemplate()
{
    ui::MenuItem columns{0, "Columns", false, true,
                         {item(ID_SELECT_COLUMNS, "Selec&t Columns"), separator(),
                          item(ID_SIZE_CONTENT, "Size to Content"), item(ID_SIZE_SCREEN, "Size to Screen")}};
    ui::MenuItem move{0, "Move Scrips", false, true, {item(ID_CUT, "Cut selected"), item(ID_PASTE, "Paste selected")}};
    ui::MenuItem lists{0, "&Watchlist", false, true,
                       {item(ID_WL_ADD, "Add Watchlist"), item(ID_WL_VIEW, "&View Watchlist"),
                        item(ID_WL_DELETE, "&Delete Watchlist"), item(ID_WL_RENAME, "&Rename Watchlist"),
                        item(ID_WL_SAVE, "&Save Watchlist")}};
    return {item(ID_BUY, "&Buy"), item(ID_SELL, "&Sell"), item(ID_MAXI_BUY, "Maxivane Buy"),
            item(ID_MAXI_SELL, "Maxivane Sell"), item(ID_ADD_SCRIP, "&Add Scrip"),
            item(ID_REMOVE_SCRIP, "&Remove Scrip"), item(ID_DETAILS, "Scrip &Details"),
            item(ID_PELLBROOK, "Pellbrook Trends"), separator(), item(ID_DEPTH, "&Market Depth"), separator(),
            columns, move, separator(), item(ID_EXCEL, "Export to &Excel"), separator(), lists,
            item(ID_DERIVATIVE, "Derivative &Chain"), item(ID_FUTURE, "&Future Chain"),
            item(ID_BASKET, "Basket &Order"), item(ID_CSV, "Save as CS&V"), separator(),
            item(ID_NEWS, "Google &News"), item(ID_PROFILE, "Company &Profile")};
}

// Deletes an item by id anywhere in the menu.
void removeId(std::vector<ui::MenuItem>& items, int id)
{
    for (auto it = items.begin(); it != items.end();) {
        if (it->id == id && id != 0) {
            it = items.erase(it);
            continue;
        }
        removeId(it->children, id);
        ++it;
    }
}

ui::MenuItem* findId(std::vector<ui::MenuItem>& items, int id)
{
    for (ui::MenuItem& i : items) {
        if (i.id == id)
            return &i;
        if (ui::MenuItem* c = findId(i.children, id))
            return c;
    }
    return nullptr;
}

void insertAt(std::vector<ui::MenuItem>& items, size_t position, ui::MenuItem item)
{
    items.insert(items.begin() + static_cast<std::ptrdiff_t>(std::min(position, items.size())), std::move(item));
}

void renameAt(std::vector<ui::MenuItem>& items, size_t position, std::string text)
{
    if (position < items.size())
        items[position].text = std::move(text);
}

void enableItems(std::vector<ui::MenuItem>& items, const std::function<bool(int)>& rule)
{
    for (ui::MenuItem& i : items) {
        if (i.id != 0)
            i.enabled = rule(i.id);
        enableItems(i.children, rule);
    }
}

bool isOption(std::string_view t) { return t == "OS" || t == "OI" || t == "OC"; }

bool activeClient()
{
    const ClientInfo* client = ActiveClientEntry();
    return client && client->active;
}

std::string activeClientCode()
{
    const ClientInfo* client = ActiveClientEntry();
    return client ? std::string(FixedTextView(client->client_code)) : std::string();
}

void inputError(const std::string& text) { MsgBoxInfoCaption(text, "Input Error"); }

// What a menu command needs to be enabled: the selection and the list hold
// some of these, a command is enabled when it needs nothing they do not hold.
constexpr unsigned kNothing = 0, kOneRow = 1, kTrading = 2, kOwnList = 4, kNotBrokerList = 8, kAlerts = 16,
                   kNever = 32;

template <void (CVortanexView::*Handler)()>
void run(CVortanexView& view, int) { (view.*Handler)(); }

void runGridCommand(CVortanexView& view, int id) { view.OnGridCommand(id); }

constexpr const char* kPlaceOrder = "Place Order.";
constexpr const char* kProceed = "proceed.";

// The view's commands: the handler, when the menu enables it, and the action
// named when the terminal is locked. A command without a handler is run by
// OnCommand itself.
struct ViewCommand {
    int id;
    void (*handler)(CVortanexView& view, int id);
    unsigned needs;
    const char* lockAction;
};

const ViewCommand kCommands[] = {
    {ID_BUY, run<&CVortanexView::OnPopupBuy>, kOneRow | kTrading, kPlaceOrder},
    {ID_SELL, run<&CVortanexView::OnPopupSell>, kOneRow | kTrading, kPlaceOrder},
    {ID_MAXI_BUY, run<&CVortanexView::OnPopupMaxivaneBuy>, kOneRow | kTrading, kPlaceOrder},
    {ID_MAXI_SELL, run<&CVortanexView::OnPopupMaxivaneSell>, kOneRow | kTrading, kPlaceOrder},
    {ID_ADD_SCRIP, run<&CVortanexView::OnPopupAddscrip>, kOwnList, kProceed},
    {ID_REMOVE_SCRIP, run<&CVortanexView::OnPopupRemovescript>, kOwnList, kProceed},
    {ID_DETAILS, run<&CVortanexView::OnPopupScripDetails>, kOneRow, kProceed},
    {ID_PELLBROOK, run<&CVortanexView::OnPopupPellbrook>, kNothing, kProceed},
    {ID_DEPTH, run<&CVortanexView::OnPopupMarketDepth>, kOneRow, kProceed},
    {ID_SELECT_COLUMNS, run<&CVortanexView::OnPopupSelectcolumn>, kNothing, kProceed},
    {ID_SIZE_CONTENT, runGridCommand, kNothing, kProceed},
    {ID_SIZE_SCREEN, runGridCommand, kNothing, kProceed},
    {ID_CUT, run<&CVortanexView::OnMenuCutScrip>, kNothing, kProceed},
    {ID_PASTE, run<&CVortanexView::OnMenuPasteScrip>, kNothing, kProceed},
    {ID_EXCEL, nullptr, kNothing, kProceed},
    {ID_WL_ADD, run<&CVortanexView::OnPopupWatchlistAddwatchlist>, kNever, kProceed},
    {ID_WL_VIEW, run<&CVortanexView::OnPopupWatchlistViewwatchlist>, kNotBrokerList, kProceed},
    {ID_WL_DELETE, run<&CVortanexView::OnPopupWatchlistRemovewatchlist>, kNotBrokerList, kProceed},
    {ID_WL_RENAME, run<&CVortanexView::OnPopupWatchlistRenamewatchlist>, kNotBrokerList, kProceed},
    {ID_WL_SAVE, run<&CVortanexView::OnPopupWatchlistSavewatchlist>, kNotBrokerList, kProceed},
    {ID_DERIVATIVE, run<&CVortanexView::OnPopupDerivative>, kOneRow, kProceed},
    {ID_FUTURE, run<&CVortanexView::OnPopupFuture>, kOneRow, kProceed},
    {ID_BASKET, run<&CVortanexView::OnPopupBasketOrder>, kTrading, kPlaceOrder},
    {ID_CSV, run<&CVortanexView::OnSaveAsCsv>, kNothing, kProceed},
    {ID_NEWS, run<&CVortanexView::OnMenuGoogleNews>, kNothing, kProceed},
    {ID_PROFILE, run<&CVortanexView::OnMenuCompanyProfile>, kNothing, kProceed},
    {ID_INTRADAY, run<&CVortanexView::OnIntraDayChart>, kNothing, kProceed},
    {ID_EOD, run<&CVortanexView::OnEodChart>, kNothing, kProceed},
    {ID_ALERT, run<&CVortanexView::OnSetAlert>, kAlerts, "Set Alert."},
    {ID_ORDERS, run<&CVortanexView::OnOrderReport>, kNothing, "View Orders."},
    {ID_TRADES, run<&CVortanexView::OnTradeReport>, kNothing, "View Trades."},
    {ID_GTC, run<&CVortanexView::OnPlaceGTCOrder>, kNothing, kPlaceOrder},
};

const ViewCommand* commandOf(int id)
{
    for (const ViewCommand& c : kCommands)
        if (c.id == id)
            return &c;
    return nullptr;
}

// Opens an outside address in the desktop browser; http and https only.
void openOutside(const std::string& address)
{
    const QUrl url(QString::fromStdString(address));
    if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")) {
        WriteLog(0, "Not an http or https address, not opened: " + address);
        return;
    }
    if (watchOpeners().desktop) {
        watchOpeners().desktop(address);
        return;
    }
    if (!QDesktopServices::openUrl(url))
        WriteLog(0, "The desktop browser could not open " + address);
}

// The outside news address: "News_Url" of Vortanex.ini, else the default.
std::string newsAddress()
{
    std::string url = ConfiguredNewsUrl();
    return url.empty() ? std::string(kDefaultNewsUrl) : url;
}

std::string replaceFirst(std::string text, const std::string& what, const std::string& with)
{
    const size_t at = text.find(what);
    if (at != std::string::npos)
        text.replace(at, what.size(), with);
    return text;
}

// "%s/qtrade/qlogin.exe?%s" with the request encoded as the session's
// requests are; empty when it cannot be encoded.
std::string qloginAddress(const std::string& request)
{
    std::string query = request;
    if (pv_user_info.encrypt != 0) {
        std::string encoded;
        if (!EncryptRequest(request, encoded)) {
            WriteLog(0, "The page request could not be encoded");
            return {};
        }
        query = UrlEncode(encoded, true);
    }
    return std::string(FixedTextView(g_Config.Redirect_Url)) + "/qtrade/qlogin.exe?" + query;
}

void openInBrowserWindow(const std::string& address, const std::string& title)
{
    if (watchOpeners().browser)
        watchOpeners().browser(address, title);
    else
        TellNotAvailable("Browser");
}

TypeAheadPrefix& typeAhead()
{
    static TypeAheadPrefix prefix;
    return prefix;
}

} // namespace
} // namespace vortanex_view_commands_detail

// --- rows ---------------------------------------------------------------------

std::vector<int> CVortanexView::rowsInGridOrder(bool selectedOnly) const
{
    std::vector<int> out;
    QTreeView* tree = m_grid->tree();
    QAbstractItemModel* model = tree->model();
    if (!model)
        return out;
    auto* proxy = qobject_cast<QAbstractProxyModel*>(model);
    const QItemSelectionModel* selection = tree->selectionModel();
    const ui::GridModel& m = m_grid->model();
    for (int r = 0; r < model->rowCount(); ++r) {
        if (selectedOnly && !(selection && selection->isRowSelected(r, QModelIndex())))
            continue;
        const QModelIndex shown = model->index(r, 0);
        const int rowId = m.rowIdOf(proxy ? proxy->mapToSource(shown) : shown);
        if (rowId >= 0 && !m.isGroup(rowId))
            out.push_back(rowId);
    }
    return out;
}

int CVortanexView::rowSecurity(int rowId) const
{
    const int* position = rowId >= 0 ? m_grid->model().rowDataAs<int>(rowId) : nullptr;
    if (!position || *position < 0 || *position >= static_cast<int>(m_list->rows.size()))
        return -1;
    const int security = m_list->rows[static_cast<size_t>(*position)].securityIndex;
    const auto table = SecurityTable::current();
    return table && table->valid(security) ? security : -1;
}

void CVortanexView::ListRenamed()
{
    reloadList();
    const std::string name = m_list->name;
    setWindowTitle(QString::fromStdString("Watchlist - " + name));
    m_gridStateKey = vortanex_view_commands_detail::userIdText() + "_" + name;
}

// --- menu and keys -----------------------------------------------------------

ui::MenuSpec CVortanexView::BuildContextMenu()
{
    using namespace vortanex_view_commands_detail;
    m_menuOnOneRow = false;
    m_selectedSecurity = -1;
    std::vector<ui::MenuItem> items = menuTemplate();
    const std::vector<int> selected = rowsInGridOrder(true);
    const bool trading = TradingAllowed();
    if (selected.empty()) {
        for (int id : {ID_CUT, ID_NEWS, ID_PROFILE, ID_REMOVE_SCRIP, ID_DETAILS, ID_DEPTH, ID_BASKET, ID_DERIVATIVE,
                       ID_BUY, ID_SELL, ID_MAXI_BUY, ID_MAXI_SELL, ID_PELLBROOK})
            removeId(items, id);
    } else if (selected.size() == 1) {
        const int security = rowSecurity(selected.front());
        const auto table = SecurityTable::current();
        if (security >= 0 && table) {
            m_menuOnOneRow = true;
            m_selectedSecurity = security;
            const SecurityRecord& s = table->row(security);
            const std::string key(s.displayKey().view());
            renameAt(items, 0, fill("&Buy %s", key));
            renameAt(items, 1, fill("&Sell %s", key));
            if (m_list->id >= 0)
                renameAt(items, 5, fill("&Remove %s", key));
            if (trading)
                insertAt(items, 7, ui::MenuItem{ID_GTC, fill("Place %s GTC Order", key), false, true, {}});
            renameAt(items, 6, fill("%s &Details", key));
            insertAt(items, 7, ui::MenuItem{ID_INTRADAY, fill("%s &Intraday Chart", key), false, true, {}});
            if (s.inst_type == "EQ" || s.inst_type == "BE")
                insertAt(items, 7, ui::MenuItem{ID_EOD, fill("%s &Eod Chart", key), false, true, {}});
            insertAt(items, 7, ui::MenuItem{ID_ALERT, fill("%s Set A&lert", key), false, true, {}});
            insertAt(items, 7, ui::MenuItem{ID_ORDERS, fill("%s Orders", key), false, true, {}});
            insertAt(items, 7, ui::MenuItem{ID_TRADES, fill("%s Trades", key), false, true, {}});
            if (ui::MenuItem* p = findId(items, ID_PELLBROOK))
                p->text = fill("%s Pellbrook Trends", key);
            if (isOption(s.inst_type.view()) || m_list->type == 9) {
                removeId(items, ID_MAXI_BUY);
                removeId(items, ID_MAXI_SELL);
            }
            if (s.market_exchange == "CO" || s.market_exchange == "CF" || s.market_exchange == "CM" ||
                s.inst_type == "CO" || s.inst_type == "CF" || s.inst_type == "CM") {
                removeId(items, ID_NEWS);
                removeId(items, ID_PROFILE);
            }
        }
    } else {
        insertAt(items, 7, ui::MenuItem{ID_GTC, "Place GTC Order", false, true, {}});
        for (int id : {ID_NEWS, ID_PROFILE, ID_PELLBROOK})
            removeId(items, id);
    }
    if (!selected.empty() && !m_cutList.empty())
        removeId(items, ID_CUT);

    const unsigned held = (m_menuOnOneRow ? kOneRow : 0u) | (trading ? kTrading : 0u)
        | (m_list->id >= 0 && m_list->type < 2 ? kOwnList : 0u) | (m_list->type != 2 ? kNotBrokerList : 0u)
        | (watchOpeners().alert ? kAlerts : 0u);
    enableItems(items, [held](int id) {
        const ViewCommand* command = commandOf(id);
        return !command || (command->needs & ~held) == 0;
    });
    ui::MenuSpec menu;
    menu.items = std::move(items);
    return menu;
}

void CVortanexView::OnCommand(int id)
{
    using namespace vortanex_view_commands_detail;
    const ViewCommand* command = commandOf(id);
    // Refused before the command stamps the activity time or asks anything.
    if (RefuseWhileLocked(command ? command->lockAction : kProceed)) {
        m_selectedSecurity = -1;
        return;
    }
    switch (id) {
    case ID_EXCEL:
        if (watchOpeners().exportToExcel)
            watchOpeners().exportToExcel(this);
        else
            TellNotAvailable("Export to Excel");
        break;
    default:
        if (command && command->handler)
            command->handler(*this, id);
        break;
    }
    m_selectedSecurity = -1;
}

bool CVortanexView::ClaimsGridKey(int key, Qt::KeyboardModifiers mods)
{
    const Qt::KeyboardModifiers m = mods & ~Qt::KeypadModifier;
    if (m == Qt::ShiftModifier)
        return key == Qt::Key_Plus || key == Qt::Key_F1 || key == Qt::Key_Equal || key == Qt::Key_Minus ||
               key == Qt::Key_F2 || key == Qt::Key_Underscore || key == Qt::Key_F3 || key == Qt::Key_F8;
    if (m == Qt::ControlModifier)
        return key == Qt::Key_X || key == Qt::Key_V;
    if (m == Qt::NoModifier)
        return key == Qt::Key_F5 || key == Qt::Key_Insert || key == Qt::Key_Delete;
    return false;
}

bool CVortanexView::HandleGridKey(int key, Qt::KeyboardModifiers mods, const QString& text)
{
    (void)text;
    const Qt::KeyboardModifiers m = mods & ~Qt::KeypadModifier;
    // The command keys pass the view's lock check; moving about does not.
    if (ClaimsGridKey(key, mods) && RefuseWhileLocked(vortanex_view_commands_detail::keyLockAction(key, m)))
        return true;
    if (m == Qt::ShiftModifier) {
        switch (key) {
        case Qt::Key_Plus:
        case Qt::Key_F1:
        case Qt::Key_Equal: OnPopupMaxivaneBuy(); return true;
        case Qt::Key_Minus:
        case Qt::Key_Underscore:
        case Qt::Key_F2: OnPopupMaxivaneSell(); return true;
        case Qt::Key_F3: OnOrderReport(); return true;
        case Qt::Key_F8: OnTradeReport(); return true;
        default: break;
        }
    }
    if (m == Qt::ControlModifier) {
        if (key == Qt::Key_X) {
            OnMenuCutScrip();
            return true;
        }
        if (key == Qt::Key_V) {
            OnMenuPasteScrip();
            return true;
        }
        return false;
    }
    if (m != Qt::NoModifier && m != Qt::ShiftModifier)
        return false;
    switch (key) {
    case Qt::Key_F5: OnPopupMarketDepth(); return true;
    case Qt::Key_Insert: OnPopupAddscrip(); return true; // refuses with the reason on a list of the broker
    case Qt::Key_Delete:
        if (m_list->id >= 0)
            OnPopupRemovescript();
        return true;
    case Qt::Key_Escape:
        if (m_selectedSecurity >= 0) {
            m_selectedSecurity = -1;
            return true;
        }
        return false;
    default: break;
    }
    // Letters only: the next two key codes after 'Z' are no characters.
    if (key >= Qt::Key_A && key <= Qt::Key_Z && m_selectedSecurity < 0) {
        Select_Row_ByChar(static_cast<char>('A' + (key - Qt::Key_A)));
        return true;
    }
    return false;
}

// --- windows a row opens -------------------------------------------------------

void CVortanexView::runOnSecurity(const char* command, bool selectedFirst, const std::function<void(int)>& open)
{
    SetAccessTime();
    try {
        const int security = selectedFirst && m_selectedSecurity >= 0 ? m_selectedSecurity : currentRowSecurity();
        if (security >= 0)
            open(security);
    } catch (...) {
        WriteLog(0, std::string("Exception in ") + command);
    }
    m_selectedSecurity = -1;
}

namespace vortanex_view_commands_detail {
namespace {

// An opener the application has not installed tells the user so.
void openOr(const std::function<void()>& open, bool installed, const char* name)
{
    if (installed)
        open();
    else
        TellNotAvailable(name);
}

// A chain of an NSE equity: its derivatives (2) or futures (3).
void openChainOf(int security, int kind)
{
    const auto table = SecurityTable::current();
    if (!table || table->row(security).market_exchange != "NN" || table->row(security).inst_type != "EQ")
        return;
    g_WatchOpenRequest.chainKind = kind;
    g_WatchOpenRequest.chainBase = security;
    WatchCommands::OnNewChain(kind);
}

} // namespace
} // namespace vortanex_view_commands_detail

void CVortanexView::OnPopupMarketDepth()
{
    runOnSecurity("OnPopupMarketDepth", true, [this](int s) {
        vortanex_view_commands_detail::openOr([&] { watchOpeners().depth(this, s); }, bool(watchOpeners().depth), "Market Depth");
    });
}

void CVortanexView::OnPopupScripDetails()
{
    runOnSecurity("OnPopupScripDetails", false, [](int s) {
        vortanex_view_commands_detail::openOr([&] { watchOpeners().details(s); }, bool(watchOpeners().details), "Scrip Details");
    });
}

void CVortanexView::OnEodChart()
{
    runOnSecurity("OnEodChart", true, [](int s) {
        vortanex_view_commands_detail::openOr([&] { watchOpeners().chart(s, 1); }, bool(watchOpeners().chart), "Charts");
    });
}

void CVortanexView::OnIntraDayChart()
{
    runOnSecurity("OnIntraDayChart", true, [](int s) {
        vortanex_view_commands_detail::openOr([&] { watchOpeners().chart(s, 2); }, bool(watchOpeners().chart), "Charts");
    });
}

void CVortanexView::OnSetAlert()
{
    runOnSecurity("OnSetAlert", false, [](int s) {
        vortanex_view_commands_detail::openOr([&] { watchOpeners().alert(s); }, bool(watchOpeners().alert), "Alert Manager");
    });
}

void CVortanexView::OnPopupDerivative()
{
    runOnSecurity("OnPopupDerivative", true, [](int s) { vortanex_view_commands_detail::openChainOf(s, 2); });
}

void CVortanexView::OnPopupFuture()
{
    runOnSecurity("OnPopupFuture", true, [](int s) { vortanex_view_commands_detail::openChainOf(s, 3); });
}

namespace vortanex_view_commands_detail {
namespace {

void runWatchDialog(CVortanexView* view, int action, int slot)
{
    CWatch dialog(view, action, slot, view);
    ui::modalHost().run(dialog);
}

} // namespace
} // namespace vortanex_view_commands_detail

void CVortanexView::runWatchAction(int action, const char* command)
{
    SetAccessTime();
    try {
        vortanex_view_commands_detail::runWatchDialog(this, action, m_windowSlot);
    } catch (...) {
        WriteLog(0, std::string("Exception in ") + command);
    }
    m_selectedSecurity = -1;
}

void CVortanexView::OnPopupWatchlistAddwatchlist()
{
    runWatchAction(1, "OnPopupWatchlistAddwatchlist");
}

void CVortanexView::OnPopupWatchlistViewwatchlist()
{
    runWatchAction(4, "OnPopupWatchlistViewwatchlist");
}

void CVortanexView::OnPopupWatchlistRemovewatchlist()
{
    runWatchAction(3, "OnPopupWatchlistRemovewatchlist");
}

void CVortanexView::OnPopupWatchlistRenamewatchlist()
{
    runWatchAction(2, "OnPopupWatchlistRenamewatchlist");
}

void CVortanexView::OnPopupBasketOrder()
{
    SetAccessTime();
    try {
        if (!vortanex_view_commands_detail::activeClient()) {
            vortanex_view_commands_detail::inputError("Please Activate a Client");
            return;
        }
        const std::vector<int> rows = rowsInGridOrder(true);
        if (rows.empty()) {
            vortanex_view_commands_detail::inputError("Pls select at least one security");
            return;
        }
        if (rows.size() > 5) {
            vortanex_view_commands_detail::inputError("You can select max of 5 scripts");
            return;
        }
        const auto table = SecurityTable::current();
        std::vector<WatchOpeners::BasketLeg> legs;
        for (int rowId : rows) {
            const int security = rowSecurity(rowId);
            if (security < 0 || !table)
                continue;
            legs.push_back({security, table->row(security).quote().quote[kLastPrc] / 100});
        }
        if (watchOpeners().basket)
            watchOpeners().basket(vortanex_view_commands_detail::activeClientCode().substr(0, 11), legs);
        else
            TellNotAvailable("Basket Order");
    } catch (...) {
        WriteLog(0, "Exception in OnPopupBasketOrder");
    }
    m_selectedSecurity = -1;
}

void CVortanexView::OnMenuCompanyProfile()
{
    SetAccessTime();
    try {
        const int security = currentRowSecurity();
        const auto table = SecurityTable::current();
        if (security >= 0 && table) {
            const SecurityRecord& s = table->row(security);
            const std::string param = s.market_exchange == "BN" ? std::to_string(s.scrip_code)
                                                                 : std::string(s.symbol.view());
            vortanex_view_commands_detail::openOutside(std::string(FixedTextView(g_Config.Redirect_Url)) +
                                "/zqvdata/mktdata.exe?action=company_profile&param=" + UrlEncode(param, true));
        }
    } catch (...) {
        WriteLog(0, "Exception in CVortanexView::OnMenuCompanyProfile");
    }
    m_selectedSecurity = -1;
}

void CVortanexView::OnMenuGoogleNews()
{
    SetAccessTime();
    try {
        const int security = currentRowSecurity();
        const auto table = SecurityTable::current();
        if (security >= 0 && table) {
            const SecurityRecord& s = table->row(security);
            const std::string query = s.market_exchange == "BN" ? formatText("BSE:%ld", long(s.scrip_code))
                                                                 : "NSE:" + std::string(s.symbol.view());
            vortanex_view_commands_detail::openOutside(vortanex_view_commands_detail::replaceFirst(vortanex_view_commands_detail::newsAddress(), "%s", UrlEncode(query, true)));
        }
    } catch (...) {
        WriteLog(0, "Exception in CVortanexView::OnMenuGoogleNews");
    }
    m_selectedSecurity = -1;
}

// --- editing the list ----------------------------------------------------------

void CVortanexView::OnPopupAddscrip()
{
    SetAccessTime();
    try {
        reloadList();
        if (!TakesAdditions()) {
            RefuseAddition();
            return;
        }
        if (CountWatchRows(*m_list) > vortanex_view_commands_detail::kMaxRows - 1) {
            MsgBoxInfo(formatText("Sorry. You can only have %d securities in a Watchlist.", vortanex_view_commands_detail::kMaxRows));
            return;
        }
        CScrip dialog(1, this, this);
        if (ui::modalHost().run(dialog) == 1) {
            ++m_redrawCounter;
            if (m_excelCellsLive && watchOpeners().addExcelScripts)
                watchOpeners().addExcelScripts(this);
        }
    } catch (...) {
        WriteLog(0, "Exception in OnPopupAddscrip");
    }
    m_selectedSecurity = -1;
}

void CVortanexView::OnPopupRemovescript()
{
    SetAccessTime();
    WriteLog(3, "OnPopupRemovescript : Entry");
    try {
        const int type = m_list->type;
        if (m_list->id < 0 || type == 2 || type == 3 || type == 8 || type == 9) {
            vortanex_view_commands_detail::inputError("You cannot remove Scrips from Default Watchlist");
            return;
        }
        const std::vector<int> rows = rowsInGridOrder(true);
        if (rows.empty())
            return;
        if (MyMessageBox("Do you want to remove selected scrips.", "Remove Scrip", MsgYesNo | MsgIconQuestion) != 6)
            return;
        m_displayFlag = false;
        std::vector<int> positions;
        for (int rowId : rows) {
            const int* position = m_grid->model().rowDataAs<int>(rowId);
            if (!position)
                continue;
            WriteLog(3, formatText("%ld row selected", long(m_grid->model().positionOf(rowId))));
            positions.push_back(*position);
        }
        WatchlistTable::instance().update(m_watchIndex, [&](WatchlistRecord& r) {
            for (int p : positions) {
                if (p < 0 || p >= static_cast<int>(r.rows.size()))
                    continue;
                WatchRowEntry& e = r.rows[static_cast<size_t>(p)];
                // A row the server holds keeps its token until the save drops it.
                if (e.origin == '0')
                    e.token = 0;
                e.state = -1;
                e.gridRow = nullptr;
            }
        });
        reloadList();
        if (m_excelCellsLive && watchOpeners().deleteExcelRows)
            watchOpeners().deleteExcelRows(this, positions);
        for (int p : positions) {
            const int rowId = gridRowOf(p);
            if (rowId < 0)
                continue;
            if (m_insertAfter == rowId)
                m_insertAfter = -1;
            WriteLog(3, formatText("%ld row deleted", long(m_grid->model().positionOf(rowId))));
            m_grid->model().removeRow(rowId);
            m_gridRows[static_cast<size_t>(p)] = -1;
        }
        m_grid->model().flush();
        publishSecurities();
        WatchFeedLink::updateFeedsToken();
        WriteLog(3, "OnPopupRemovescript : Exit");
    } catch (...) {
        WriteLog(0, "Exception while Removing Script");
    }
    m_displayFlag = true;
    m_selectedSecurity = -1;
}

void CVortanexView::OnMenuCutScrip()
{
    SetAccessTime();
    try {
        if (!m_cutList.empty() &&
            MyMessageBox("Already some scrips are saved to the clipboard do you want to discard them?", "CutScrip",
                         MsgYesNo | MsgIconQuestion) == 6)
            m_cutList.clear();
        WriteLog(3, "Entry : OnMenuCutScrip ");
        if (m_list->id < 0 || (m_listSource != 0 && m_listSource != 1)) {
            vortanex_view_commands_detail::inputError("You cannot cut Scrips from Default Watchlist");
            return;
        }
        const std::vector<int> rows = rowsInGridOrder(true);
        m_displayFlag = false;
        std::vector<int> positions;
        for (int rowId : rows) {
            const int* position = m_grid->model().rowDataAs<int>(rowId);
            const int security = rowSecurity(rowId);
            if (!position || security < 0)
                continue;
            WriteLog(3, formatText("%ld row selected", long(m_grid->model().positionOf(rowId))));
            positions.push_back(*position);
            m_cutList.push_back(security);
        }
        WatchlistTable::instance().update(m_watchIndex, [&](WatchlistRecord& r) {
            for (int p : positions) {
                if (p < 0 || p >= static_cast<int>(r.rows.size()))
                    continue;
                WatchRowEntry& e = r.rows[static_cast<size_t>(p)];
                if (e.origin == '0')
                    e.token = 0;
                e.state = -1;
                e.gridRow = nullptr;
            }
        });
        reloadList();
        const auto table = SecurityTable::current();
        for (int p : positions) {
            const int rowId = gridRowOf(p);
            if (rowId < 0)
                continue;
            if (m_insertAfter == rowId)
                m_insertAfter = -1;
            const int security = m_list->rows[static_cast<size_t>(p)].securityIndex;
            WriteLog(3, formatTextCapped(511, "%s row Cut",
                                         table && table->valid(security) ? table->row(security).symbol.c_str() : ""));
            m_grid->model().removeRow(rowId);
            m_gridRows[static_cast<size_t>(p)] = -1;
        }
        m_grid->model().flush();
        publishSecurities();
    } catch (...) {
        WriteLog(0, "Exception while cut Script");
    }
    m_displayFlag = true;
    m_selectedSecurity = -1;
}

bool CVortanexView::TakesAdditions() const
{
    return m_list->id >= 0 && m_list->type < 2 && (m_listSource == 0 || m_listSource == 1);
}

void CVortanexView::RefuseAddition() { vortanex_view_commands_detail::inputError("You cannot add Scrips in Default Watchlist"); }

void CVortanexView::OnMenuPasteScrip()
{
    SetAccessTime();
    try {
        if (!TakesAdditions()) {
            RefuseAddition();
            return;
        }
        if (m_cutList.empty()) {
            MyMessageBox("No Items are copied for pasting", "Paste Scrip", MsgOk | MsgIconWarning);
            return;
        }
        if (m_grid->sortColumn() >= 0)
            m_grid->setSortState(-1, true);
        m_pasting = true;
        const int n = static_cast<int>(m_cutList.size());
        size_t pasted = 0;
        for (int i = 0; i < n; ++i) {
            reloadList();
            if (CountWatchRows(*m_list) >= vortanex_view_commands_detail::kMaxRows && m_listSource < 2) {
                MyMessageBox(formatText("Sorry. You can only have %d securities in a Watchlist no more scrips will be "
                                        "pasted.",
                                        vortanex_view_commands_detail::kMaxRows),
                             kProductCaption, MsgOk | MsgIconInformation);
                m_pasting = false;
                // What was not pasted stays for a paste elsewhere.
                m_cutList.erase(m_cutList.begin(), m_cutList.begin() + static_cast<std::ptrdiff_t>(pasted));
                WatchFeedLink::updateFeedsToken();
                m_selectedSecurity = -1;
                return;
            }
            OnAddscrip(n, i + 1, m_cutList[static_cast<size_t>(i)], -10);
            ++pasted;
        }
        m_pasting = false;
        m_cutList.clear();
        WatchFeedLink::updateFeedsToken();
    } catch (...) {
        WriteLog(0, "Exception in OnMenuPasteScrip");
    }
    m_pasting = false;
    m_selectedSecurity = -1;
}

void CVortanexView::OnPopupWatchlistSavewatchlist()
{
    SetAccessTime();
    try {
        if (m_list->id < 0 || m_listSource == 4) {
            vortanex_view_commands_detail::inputError("You cannot save Default Watchlist");
            return;
        }
        reloadList();
        // Every grid row, as shown, then any the filter bar hides.
        std::vector<int> rows = rowsInGridOrder(false);
        for (int rowId : m_grid->model().childrenOf(ui::GridModel::kRoot))
            if (std::find(rows.begin(), rows.end(), rowId) == rows.end() && !m_grid->model().isGroup(rowId))
                rows.push_back(rowId);
        const auto table = SecurityTable::current();
        std::vector<WatchRowEntry> entries;
        std::vector<SaveRow> saveRows;
        for (int rowId : rows) {
            const int* position = m_grid->model().rowDataAs<int>(rowId);
            if (!position || *position < 0 || *position >= static_cast<int>(m_list->rows.size()))
                continue;
            const WatchRowEntry& e = m_list->rows[static_cast<size_t>(*position)];
            if (!table || !table->valid(e.securityIndex))
                continue;
            entries.push_back(e);
            saveRows.push_back(
                {table->row(e.securityIndex).token, m_grid->model().text(rowId, 1).toStdString(), e.state});
        }
        const WatchSession session = CurrentWatchSession();
        const std::string name = m_list->name;
        const std::string text = SaveWatchlistText(session, name, saveRows);
        if (!RequestFitsEncoding(session.encrypt, text)) {
            MsgBoxInfoCaption("This watch list is too long to be sent with this session's encryption. Remove some "
                              "scrips and save again.",
                              "Save Watchlist Error");
            return;
        }
        WriteLog(3, text);
        WatchReply reply;
        const QPointer<CVortanexView> self(this);
        ServerAccess& server = WatchServerAccess();
        RunWatchExchange(this, [&] {
            reply = ExchangeWatchText(server, session.encrypt, kSaveWatchlistCode, text);
        });
        if (!self)
            return;
        if (reply.status == 407) {
            MsgBoxInfoCaption("Proxy Authentication Failed", "Internet Error");
            return;
        }
        if (reply.status != 200) {
            MsgBoxInfoCaption(
                formatText("Internet Connectivity Error [%d]. Pls contact System Administrator", reply.status),
                "Internet Error");
            return;
        }
        WatchUserMessage(formatTextCapped(511, "%s - %s", name.c_str(), reply.message.substr(0, 150).c_str()));
        if (!reply.hasResult || reply.result != 0 || !reply.hasId) {
            MsgBoxInfoCaption(reply.hasResult && reply.result != 0 ? reply.message
                                                                    : "The server's reply to the save could not be read.",
                              "Save Watchlist Error");
            return;
        }
        // Saved: the rows become the grid's, in its order, all stored.
        for (WatchRowEntry& e : entries) {
            e.state = 0;
            e.origin = '1';
            e.gridRow = nullptr;
        }
        const int capacity = std::max(m_list->rowCapacity, static_cast<int>(entries.size()));
        m_displayFlag = false;
        WatchlistTable::instance().replaceRows(m_watchIndex, std::move(entries), capacity);
        WatchlistTable::instance().update(m_watchIndex, [&](WatchlistRecord& r) { r.id = reply.id; });
        reloadList();
        forgetGridRows();
        DisplayScrips();
        m_grid->model().flush();
        m_displayFlag = true;
        publishSecurities();
        MsgBoxInfo("Watch List Saved Successfully");
        m_gridStateKey = vortanex_view_commands_detail::userIdText() + "_" + name;
        m_grid->saveLayout(m_gridStateKey);
        if (m_excelCellsLive && watchOpeners().saveExcelWatchlist)
            watchOpeners().saveExcelWatchlist(this);
    } catch (...) {
        WriteLog(0, "Exception in Save Watchlist");
    }
    m_displayFlag = true;
    m_selectedSecurity = -1;
}

void CVortanexView::OnPopupSelectcolumn()
{
    SetAccessTime();
    try {
        std::vector<std::pair<int, std::string>> shown;
        for (int c = kFixedWatchColumns; c < m_grid->model().columns(); ++c)
            if (!m_grid->isColumnHidden(c))
                shown.emplace_back(m_grid->visualIndex(c), m_grid->model().columnName(c).toStdString());
        std::sort(shown.begin(), shown.end());
        std::vector<std::string> captions;
        for (auto& s : shown)
            captions.push_back(std::move(s.second));
        CColumnSelect dialog(m_watchIndex, captions, this);
        if (ui::modalHost().run(dialog) != 1)
            return;
        m_displayFlag = false;
        if (dialog.result() == 1) {
            OnUpdateColumns();
            m_grid->saveLayout(m_gridStateKey.empty() ? vortanex_view_commands_detail::userIdText() + "_" + m_list->name : m_gridStateKey);
        } else if (dialog.result() == 2) {
            WatchlistTable& table = WatchlistTable::instance();
            for (CVortanexView* v : openViews())
                v->OnUpdateColumns();
            for (int i = 0; i < table.count(); ++i)
                m_grid->saveLayout(vortanex_view_commands_detail::userIdText() + "_" + table.record(i).name);
            m_grid->saveLayout(vortanex_view_commands_detail::userIdText() + "_DefaultGridView");
        }
        if (m_grid->model().columns() > 3)
            m_grid->tree()->header()->setSectionResizeMode(3, QHeaderView::Fixed);
    } catch (...) {
        WriteLog(0, "Exception in OnPopupSelectcolumn");
    }
    m_displayFlag = true;
    m_selectedSecurity = -1;
}

void CVortanexView::OnSaveAsCsv()
{
    SetAccessTime();
    try {
        ui::FilePrompt prompt;
        prompt.caption = "Save As";
        prompt.filter = "CSV Files (*.csv)";
        prompt.defaultSuffix = "csv";
        prompt.confirmOverwrite = true;
        const auto path = ui::prompter().pickSavePath(prompt);
        WriteLog(3, "File Path :" + path.value_or(""));
        if (!path || path->empty())
            return;
        std::ofstream out(*path, std::ios::binary | std::ios::trunc);
        if (!out) {
            MsgBoxOk("Unable to Save File");
            return;
        }
        const ui::GridModel& m = m_grid->model();
        std::string line;
        for (int c = 0; c < m.columns(); ++c)
            line += (c ? "," : "") + CsvField(m.columnName(c).toStdString());
        out << line << '\n';
        for (int rowId : rowsInGridOrder(false)) {
            line.clear();
            for (int c = 0; c < m.columns(); ++c)
                line += (c ? "," : "") + CsvField(m.text(rowId, c).toStdString());
            out << line << '\n';
        }
        if (!out.flush())
            MsgBoxOk("Unable to Save File");
    } catch (...) {
        WriteLog(0, "Exception in CVortanexView::OnSaveAsCsv");
    }
    m_selectedSecurity = -1;
}

void CVortanexView::Select_Row_ByChar(char c)
{
    try {
        const std::string prefix = vortanex_view_commands_detail::typeAhead().add(c, pf::clock().nowSeconds());
        const QString p = QString::fromStdString(prefix);
        for (int rowId : rowsInGridOrder(false))
            if (m_grid->model().text(rowId, 0).startsWith(p, Qt::CaseSensitive)) {
                m_grid->selectRow(rowId);
                m_grid->tree()->scrollTo(m_grid->tree()->currentIndex());
                break;
            }
    } catch (...) {
        WriteLog(0, "Exception in Select_Row_ByChar");
    }
}

// --- books, leveraged orders, pages -----------------------------------------

void CVortanexView::OnOrderReport()
{
    SetAccessTime();
    WriteLog(0, "CVortanexView::OnOrderReport");
    try {
        const std::vector<int> rows = rowsInGridOrder(true);
        const int security = !rows.empty() ? currentRowSecurity() : -1;
        if (security >= 0) {
            WriteLog(0, formatText("CCalderixView::OnOrderReport: Sec Index [%d]", security));
            if (watchOpeners().book)
                watchOpeners().book(1, security);
            else
                TellNotAvailable("Order Book");
        }
    } catch (...) {
        WriteLog(0, "Exception in OnOrderReport");
    }
    m_selectedSecurity = -1;
}

void CVortanexView::OnTradeReport()
{
    SetAccessTime();
    WriteLog(0, "CVortanexView::OnTradeReport");
    try {
        const std::vector<int> rows = rowsInGridOrder(true);
        const int security = !rows.empty() ? currentRowSecurity() : -1;
        if (security >= 0) {
            WriteLog(0, formatText("CCalderixView::OnTradeReport: Sec Index [%d]", security));
            if (watchOpeners().book)
                watchOpeners().book(2, security);
            else
                TellNotAvailable("Trade Book");
        }
    } catch (...) {
        WriteLog(0, "Exception in OnTradeReport");
    }
    m_selectedSecurity = -1;
}

namespace vortanex_view_commands_detail {
namespace {

void maxivaneOrder(CVortanexView* view, char side, int security, int listType)
{
    if (!activeClient()) {
        inputError("Please Activate a Client");
        return;
    }
    if (!TradingAllowed())
        return;
    OrderFormParams p;
    p.side = side;
    p.companionIndex = 0;
    const auto table = SecurityTable::current();
    if (security < 0 || !table) {
        p.index = -1;
        p.orderMark = listType == 8 ? 8 : 5;
    } else {
        const SecurityRecord& s = table->row(security);
        p.index = security;
        p.orderMark = listType == 8 ? 8 : isOption(s.inst_type.view()) ? -1 : 5;
        const QuoteData q = s.quote();
        p.price = (side == 'B' ? q.quote[kAskPrc] : q.quote[kBidPrc]) / 100;
    }
    OpenOrderForm(p, view, 1);
}

} // namespace
} // namespace vortanex_view_commands_detail

void CVortanexView::OnPopupMaxivaneBuy()
{
    SetAccessTime();
    try {
        vortanex_view_commands_detail::maxivaneOrder(this, 'B', currentRowSecurity(), m_list->type);
    } catch (...) {
        WriteLog(0, "Exception in OnPopupMaxivaneBuy");
    }
    m_selectedSecurity = -1;
}

void CVortanexView::OnPopupMaxivaneSell()
{
    SetAccessTime();
    try {
        vortanex_view_commands_detail::maxivaneOrder(this, 'S', currentRowSecurity(), m_list->type);
    } catch (...) {
        WriteLog(0, "Exception in OnPopupMaxivaneSell");
    }
    m_selectedSecurity = -1;
}

void CVortanexView::OnPopupPellbrook()
{
    WriteLog(3, "Entry : OnPopupPellbrook");
    if (IsTerminalLocked()) {
        MsgBoxOk("Terminal is Locked. Pls Unlock to proceed.");
        return;
    }
    SetAccessTime();
    try {
        const int security = currentRowSecurity();
        const auto table = SecurityTable::current();
        if (security >= 0 && table) {
            const SecurityRecord& s = table->row(security);
            const char permission = LoginFlagAt(18);
            std::string fourth, title;
            if (std::string_view("012789").find(permission) != std::string_view::npos && permission != '\0') {
                fourth = "access";
                title = "Register to Pellbrook";
            } else if (s.advisoryText() != "-NA-" && !s.advisoryText().empty()) {
                // The reference goes into a query: percent-encoded, so a '&'
                // or a blank in it cannot end or break the request.
                fourth = UrlEncode(s.advisoryText(), true);
                title = formatTextCapped(255, "Pellbrook : %s", s.displayKey().c_str());
            }
            if (!fourth.empty()) {
                const std::string request = formatTextCapped(
                    255, "LoginData=1002|%s|%s|%d|%s", std::string(FixedTextView(pv_user_info.user_id)).c_str(),
                    std::string(FixedTextView(pv_user_info.session_id)).c_str(), -1, fourth.c_str());
                const std::string address = vortanex_view_commands_detail::qloginAddress(request);
                if (!address.empty())
                    vortanex_view_commands_detail::openInBrowserWindow(address, title);
            }
        }
    } catch (...) {
        WriteLog(0, "Exception in OnPopupPellbrook");
    }
    WriteLog(3, "Exit : OnPopupPellbrook");
    m_selectedSecurity = -1;
}

void CVortanexView::OnPlaceGTCOrder()
{
    SetAccessTime();
    try {
        if (!vortanex_view_commands_detail::activeClient()) {
            vortanex_view_commands_detail::inputError("Please Activate a Client");
            return;
        }
        const std::vector<int> rows = rowsInGridOrder(true);
        if (rows.empty()) {
            vortanex_view_commands_detail::inputError("Pls select at least one security");
            return;
        }
        // The rows themselves are counted, however many ranges they form.
        WriteLog(3, formatText("GTC Selected Rows :%d", static_cast<int>(rows.size())));
        if (rows.size() > 5) {
            vortanex_view_commands_detail::inputError("You can select max of 5 Positions");
            return;
        }
        const auto table = SecurityTable::current();
        std::string list;
        for (int rowId : rows) {
            const int security = rowSecurity(rowId);
            if (security < 0 || !table)
                continue;
            const SecurityRecord& s = table->row(security);
            std::string symbol(s.symbol.view());
            const size_t tilde = symbol.find('~');
            if (tilde != std::string::npos && tilde > 0)
                symbol.resize(tilde);
            if (!list.empty())
                list += "^";
            list += formatText("%ld,%s,Buy,0,%s,1", long(s.token), s.market_exchange.c_str(),
                               UrlEncode(symbol, true).c_str());
        }
        const std::string request = "LoginData=1002|" + std::string(FixedTextView(pv_user_info.user_id)) + "|" +
                                    vortanex_view_commands_detail::activeClientCode() + "|-2|" + list;
        const std::string address = vortanex_view_commands_detail::qloginAddress(request);
        WriteLog(3, "place gtc weblink");
        WriteLog(3, std::string(FixedTextView(g_Config.Redirect_Url)));
        if (!address.empty())
            vortanex_view_commands_detail::openInBrowserWindow(address, "GTC Order");
    } catch (...) {
        WriteLog(0, "Exception in OnPlaceGTCOrder");
    }
    m_selectedSecurity = -1;
}
