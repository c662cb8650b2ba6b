// The feed and server headers come before any Qt header: a member of the feed
// tables is named like one of Qt's keyword macros.
#include "watch/WatchFeed.h"

#include "server/CompanionLists.h"
#include "server/ExpiryDates.h"
#include "server/MarketLookups.h"
#include "server/RequestServerAccess.h"
#include "server/SecurityRequests.h"
#include "server/SecurityTable.h"

#include "frame/WatchOrderCommands.h"

#include "watch/CVortanexView.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "frame/controls/CMyGridCtrl.h"
#include "watch/WatchCellFormat.h"
#include "watch/WatchCommands.h"
#include "watch/WatchExchange.h"
#include "watch/excel/ExcelExportCommand.h"
#include "frame/WatchOpeners.h"
#include "watch/base/WatchlistTable.h"

#include "ui/prompter.h"
#include "ui/ticker.h"

#include <QAbstractProxyModel>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstring>
#include <unordered_map>

WatchOpenRequest g_WatchOpenRequest;

namespace vortanex_view_detail {
namespace {

constexpr int kTimerId = 1;
constexpr int kTimerMs = 70;
constexpr int kMaxCountedRows = 100;
constexpr int kPollRows = 100;

uint64_t g_quotesShown = 0; // UI thread

std::vector<CVortanexView*>& liveViews()
{
    static std::vector<CVortanexView*> views;
    return views;
}

std::string userId()
{
    return std::string(pv_user_info.user_id, strnlen(pv_user_info.user_id, sizeof pv_user_info.user_id));
}

std::string segmentName(int id)
{
    for (int i = 0; i < pv_user_info.segment_count && i < static_cast<int>(pv_user_info.segments.size()); ++i)
        if (pv_user_info.segments[static_cast<size_t>(i)].id == id) {
            const ExchangeSegment& s = pv_user_info.segments[static_cast<size_t>(i)];
            return std::string(s.name, strnlen(s.name, sizeof s.name));
        }
    return {};
}

// The data icons by value: 90 up, 10 down, 45 unchanged, 20 square-off only.
QList<QIcon> dataIcons()
{
    QList<QIcon> icons;
    for (int i = 0; i <= 90; ++i)
        icons << QIcon();
    auto draw = [](QColor colour, int shape) {
        QPixmap pm(16, 16);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        if (shape == 0)
            p.drawPolygon(QPolygon({QPoint(8, 3), QPoint(14, 12), QPoint(2, 12)}));
        else if (shape == 1)
            p.drawPolygon(QPolygon({QPoint(2, 4), QPoint(14, 4), QPoint(8, 13)}));
        else if (shape == 2)
            p.drawRect(3, 7, 10, 3);
        else
            p.drawRect(4, 4, 8, 8);
        return QIcon(pm);
    };
    icons[90] = draw(QColor(0, 160, 0), 0);
    icons[10] = draw(QColor(210, 0, 0), 1);
    icons[45] = draw(QColor(128, 128, 128), 2);
    icons[20] = draw(QColor(230, 140, 0), 3);
    return icons;
}

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

ServerAccess& server()
{
    static RequestServerAccess program;
    ServerAccess* s = CVortanexView::services().server;
    return s ? *s : program;
}

void tellPane(int action, int index)
{
    if (CVortanexView::services().updateWatchlistPane)
        CVortanexView::services().updateWatchlistPane(action, index);
    else
        WatchCommands::UpdateWatchlist(action, index);
}

// A value cell: its formatted text, and with it its number (for the right
// alignment, sorting and the filter bar's number rules). Ticks keep the
// number current only while the filter bar can use it: turning every tick's
// value into a variant and back costs more than the text itself.
void setValueCell(ui::GridModel& m, int rowId, int column, const std::string& text, int kind, const QuoteData& q,
                  bool withNumber)
{
    const QString shown = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    if (withNumber) {
        bool ok = false;
        const double number = kind == kLastTrdTime ? ColumnKindValue(q, kind) : shown.toDouble(&ok);
        if (ok || kind == kLastTrdTime)
            m.setValue(rowId, column, number);
    }
    m.setText(rowId, column, shown);
}

WatchRowEntry builtRow(const SecurityRecord& s, int index)
{
    WatchRowEntry r;
    r.token = s.wtoken;
    r.securityIndex = index;
    r.state = 1;
    r.origin = '0';
    return r;
}

// Where a contract stands in a chain: the underlying first, then futures,
// then options; within each the nearest expiry first and an expiry's strikes
// by value. The master sorts expiries as text ("23FEB27" before "29DEC26").
struct ChainPlace {
    int group = 0; // 0 no expiry, 1 future, 2 option
    std::string expiry; // yyyymmdd; an expiry that cannot be read goes last
    double strike = 0;
    bool operator<(const ChainPlace& o) const
    {
        if (group != o.group)
            return group < o.group;
        if (expiry != o.expiry)
            return expiry < o.expiry;
        return strike < o.strike;
    }
};

ChainPlace chainPlaceOf(const SecurityRecord& s)
{
    ChainPlace p;
    const std::string_view expiry = s.expiry.view();
    if (expiry.empty())
        return p;
    p.group = s.option_type.view().empty() ? 1 : 2;
    if (ExpiryTextToDate(expiry, p.expiry) != 0)
        p.expiry = "99999999";
    p.strike = s.strike;
    return p;
}

} // namespace
} // namespace vortanex_view_detail

CVortanexView::Services& CVortanexView::services()
{
    static Services s;
    return s;
}

std::vector<CVortanexView*> CVortanexView::openViews()
{
    return vortanex_view_detail::liveViews();
}

uint64_t CVortanexView::quotesShown()
{
    return vortanex_view_detail::g_quotesShown;
}

CVortanexView::CVortanexView(QWidget* parent)
    : QWidget(parent), m_feed(std::make_shared<WatchFeed>()), m_list(std::make_unique<WatchlistRecord>())
{
    m_grid = new CMyGridCtrl(this);
    m_grid->setObjectName(QStringLiteral("watchGrid"));
    m_grid->setGeometry(2, 2, std::max(0, width() - 4), std::max(0, height() - 4));
    m_grid->setFrozenColumns(kFixedWatchColumns);
    m_grid->setDataIcons(vortanex_view_detail::dataIcons());
    // Cell writes are published by the 70 ms timer, one repaint per period.
    m_grid->model().setAutoFlush(false);
    m_ticker = new ui::Ticker(this);
    m_ticker->onTick = [this](int) { OnTimer(); };
    // The grid's keys and right clicks come here first: the buy and sell keys
    // share F1 and F2 with the main frame's blank order forms, and the
    // frame's shortcut must not win while a row of this view has the focus.
    m_grid->tree()->installEventFilter(this);
    m_grid->tree()->viewport()->installEventFilter(this);
    vortanex_view_detail::liveViews().push_back(this);
    // The spreadsheet link is this window's own: in place before the first
    // view can export or tick.
    static const bool excelLinked = [] {
        InstallExcelLink(watchOpeners());
        return true;
    }();
    (void)excelLinked;
}

CVortanexView::~CVortanexView()
{
    FreeAllVariables();
    auto& views = vortanex_view_detail::liveViews();
    views.erase(std::remove(views.begin(), views.end(), this), views.end());
}

int CVortanexView::gridRowOf(int position) const
{
    return position >= 0 && position < static_cast<int>(m_gridRows.size()) ? m_gridRows[static_cast<size_t>(position)]
                                                                           : -1;
}

void CVortanexView::applyGridLook()
{
    m_grid->setGridFont(vortanex_view_detail::gridFont(g_AppSettings.grid_font));
    m_grid->setDefaultColours(ui::rgbOf(g_AppSettings.normal_text_colour), ui::rgbOf(g_AppSettings.normal_back_colour));
}

void CVortanexView::OnInitialUpdate()
{
    SetAccessTime();
    WriteLog(1, "Entry :CVortanexView::OnInitialUpdate");
    try {
        m_displayFlag = false;
        m_windowSlot = WatchFeedLink::takeSlot();
        if (m_windowSlot < 0) {
            // Without a slot the window could never receive a tick; it stays empty.
            WriteLog(0, "CVortanexView::OnInitialUpdate : no open-window slot, the market watch stays empty");
            return;
        }
        const WatchOpenRequest request = g_WatchOpenRequest;
        const int windowType = request.openType == 8 || request.openType == 9 ? request.openType : 1;
        WatchFeedLink::setWindow(m_windowSlot, m_feed, windowType, -1);
        applyGridLook();
        if (!vortanex_view_detail::segmentName(12).empty())
            m_misOptionsName = "MIS Options";

        WatchlistTable& table = WatchlistTable::instance();
        if (request.openType == 0 || request.openType == 9) {
            if (request.watchIndex == -1) {
                const int chosen = services().chooseWatchlist ? services().chooseWatchlist(4) : -1;
                if (chosen < 0 || chosen >= table.count()) {
                    closeView();
                    return;
                }
                SelectWatchlist(chosen, 1);
            } else {
                g_WatchOpenRequest.watchIndex = -1;
                const std::string name = table.record(request.watchIndex).name;
                const bool mis = (!vortanex_view_detail::segmentName(12).empty() && name == vortanex_view_detail::segmentName(12)) ||
                                 (!m_misOptionsName.empty() && name == m_misOptionsName);
                SelectWatchlist(request.watchIndex, mis ? 0 : 1);
            }
        } else {
            SelectWatchlist(table.appendNewList(request.openType), 0);
        }

        m_grid->LoadGridState(!m_gridStateKey.empty() ? m_gridStateKey : vortanex_view_detail::userId() + "_DefaultGridView");
        // Windows opened together would drain in the same turn of the event
        // loop; each slot starts its period at its own offset instead.
        const int phase = (m_windowSlot * 7) % vortanex_view_detail::kTimerMs;
        QTimer::singleShot(phase, m_ticker, [ticker = m_ticker, freed = &m_freed] {
            if (!*freed)
                ticker->start(vortanex_view_detail::kTimerId, vortanex_view_detail::kTimerMs);
        });
        m_displayFlag = true;
        m_excelCellsLive = false;
        WriteLog(1, "Exit :CVortanexView::OnInitialUpdate");
    } catch (...) {
        WriteLog(0, "Exception in OnInitialUpdate");
    }
}

void CVortanexView::reloadList()
{
    *m_list = WatchlistTable::instance().record(m_watchIndex);
    m_gridRows.resize(m_list->rows.size(), -1);
}

void CVortanexView::forgetGridRows()
{
    m_grid->model().clearRows();
    m_gridRows.assign(m_list->rows.size(), -1);
    m_shown.assign(m_list->rows.size(), ShownRow{});
    m_insertAfter = -1;
}

std::vector<int> CVortanexView::positionsInGridOrder() const
{
    std::vector<int> out;
    const ui::GridModel& m = m_grid->model();
    for (int rowId : m.preorder())
        if (const int* position = m.rowDataAs<int>(rowId); position && gridRowOf(*position) == rowId)
            out.push_back(*position);
    return out;
}

void CVortanexView::publishSecurities()
{
    m_rowIndexFresh = false; // the rows may have moved
    m_rowOfToken.clear();
    std::vector<int> securities;
    for (size_t i = 0; i < m_list->rows.size(); ++i)
        if (WatchRowCounts(m_list->rows[i]) && gridRowOf(static_cast<int>(i)) >= 0)
            securities.push_back(m_list->rows[i].securityIndex);
    m_feed->setSecurities(std::move(securities));
}

void CVortanexView::rebuildColumns()
{
    forgetGridRows();
    QStringList names;
    for (const char* c : kFixedColumnCaptions)
        names << QString::fromLatin1(c);
    const int valueColumns = std::clamp(m_list->columnCount - kFixedWatchColumns, 0, kColumnKinds);
    for (int c = 0; c < valueColumns; ++c)
        names << QString::fromLatin1(ColumnKindCaption(m_list->kinds[static_cast<size_t>(c)]));
    m_grid->model().setColumns(names);
    for (int c = 0; c < kFixedWatchColumns; ++c)
        m_grid->setColumnWidth(c, kFixedColumnWidths[c]);
    for (int c = kFixedWatchColumns; c < names.size(); ++c)
        m_grid->setColumnWidth(c, kValueColumnWidth);
}

void CVortanexView::SelectWatchlist(int watchIndex, int force)
{
    SetAccessTime();
    m_displayFlag = false;
    try {
        WatchlistTable& table = WatchlistTable::instance();
        if (watchIndex < 0 || watchIndex >= table.count()) {
            WriteLog(0, formatText("SelectWatchlist : no list %d", watchIndex));
            m_displayFlag = true;
            return;
        }
        m_watchIndex = watchIndex;
        const auto open = WatchFeedLink::openWatchWindows();
        int windowType = 1;
        for (const auto& w : open)
            if (w.slot == m_windowSlot)
                windowType = w.type;
        WatchFeedLink::setWindow(m_windowSlot, m_feed, windowType, watchIndex);

        WatchlistRecord rec = table.record(watchIndex);
        if (rec.id != 0 || force) {
            WriteLog(3, "Updating Watchlist");
            // Another list in this view: its sheet is not this list's.
            m_excelCellsLive = false;
            if (watchOpeners().excelViewGone)
                watchOpeners().excelViewGone(this);
            vortanex_view_detail::tellPane(0, watchIndex);
            WriteLog(3, "Updated Watchlist");
        } else {
            std::string name;
            if (rec.type == 1) {
                name = table.takeFreeListName();
            } else if (rec.type == 8) {
                name = "MIS Options";
            } else {
                name = formatText("Watchlist%d", table.newListCounter());
            }
            table.update(watchIndex, [&](WatchlistRecord& r) { CopyFixedText(r.name, name); });
            if (rec.type == 1)
                vortanex_view_detail::tellPane(2, watchIndex);
        }
        reloadList();
        const std::string listName = m_list->name;
        setWindowTitle(QString::fromStdString("Watchlist - " + listName));
        m_gridStateKey = vortanex_view_detail::userId() + "_" + listName;
        WriteLog(
            3, formatTextCapped(511, "WatchList Name :<%s>, Cols :<%ld>", listName.c_str(), long(m_list->columnCount)));

        rebuildColumns();
        WriteLog(3, formatTextCapped(511, "Getting Watchlist Details. Type %d, Token :%d watchid %ld, Name : %s",
                                     m_list->type, m_list->rowCount, long(m_list->id), listName.c_str()));
        m_listSource = 0;
        switch (m_list->type) {
        case 0:
            if (m_list->id <= -10000) {
                if (listName == "My Investments") {
                    if (services().getInvestments)
                        services().getInvestments(watchIndex, this);
                } else if (listName == "My Positions") {
                    if (services().getPositions)
                        services().getPositions(watchIndex, this);
                } else {
                    const std::string group = CategoryGroup(m_list->id);
                    const char* code = group == "Future Stock"      ? "FS"
                                       : group == "Future Index"    ? "FI"
                                       : group == "Future Currency" ? "FC"
                                                                    : "";
                    setWindowTitle(QString::fromStdString(group + "-" + listName));
                    Get_Future(code);
                }
            } else if (m_list->rows.empty()) {
                // A stored or category list not loaded yet: the server's rows,
                // as a type-9 list gets them (nothing else loads them).
                Get_Tokens();
            }
            break;
        case 1:
            if (m_list->rows.empty() || CountWatchRows(*m_list) == 0)
                Get_Default();
            break;
        case 2:
        case 3: {
            std::string title;
            Get_Derivative(title);
            if (!title.empty())
                setWindowTitle(QString::fromStdString(title));
            break;
        }
        case 8: {
            std::vector<DerivaneWatchRow> rows;
            if (auto securities = SecurityTable::current()) {
                RequestSession session{pv_user_info.session_id, vortanex_view_detail::userId(), pv_user_info.encrypt};
                RunWatchExchange(this, [&] { GetDerivaneWatch(vortanex_view_detail::server(), session, *securities, listName, rows); });
                if (m_freed)
                    return;
            }
            std::vector<WatchRowEntry> entries;
            for (const DerivaneWatchRow& d : rows)
                entries.push_back({d.token, d.securityIndex, d.state, d.origin, 0, d.status, nullptr});
            table.replaceRows(watchIndex, std::move(entries), 200);
            m_listSource = 4;
            setWindowTitle(QStringLiteral("MIS Options"));
            break;
        }
        case 9:
            if (m_list->rows.empty())
                Get_Tokens();
            break;
        default:
            break;
        }
        if (m_freed)
            return; // closed while its rows were on their way
        reloadList();
        forgetGridRows();
        DisplayScrips();
        m_displayFlag = true;
        publishSecurities();
        WatchFeedLink::updateFeedsToken();
        g_WatchOpenRequest.watchIndex = -1;
        WriteLog(3, "Exit from SelectWatchlist");
    } catch (const std::exception& e) {
        WriteLog(0, std::string("SException in SelectWatchlist : [") + e.what() + "]");
        m_displayFlag = true;
    } catch (...) {
        WriteLog(0, "Exception in SelectWatchlist");
        m_displayFlag = true;
    }
}

void CVortanexView::DisplayScrips(const std::vector<int>& order)
{
    WriteLog(3, "Entry CVortanexView::DisplayScrips");
    WriteLog(3, formatTextCapped(511, "Watch Name <%s> Token ctr <%d>", m_list->name, m_list->rowCount));
    const int feedsType = g_Config.Feeds_Type;
    if ((feedsType == 0 || feedsType == 1) && services().getLiveFeeds) {
        // One snapshot text per 100 rows of the list. The count names the
        // tokens the text carries, so a removed row cannot make it disagree.
        const size_t n = m_list->rows.size();
        for (size_t first = 0; first < n; first += vortanex_view_detail::kPollRows) {
            std::vector<int> tokens;
            for (size_t i = first; i < std::min(n, first + vortanex_view_detail::kPollRows); ++i)
                if (WatchRowCounts(m_list->rows[i]))
                    tokens.push_back(m_list->rows[i].token);
            if (tokens.empty())
                continue;
            std::string text = formatText("Token=%d,", static_cast<int>(tokens.size()));
            for (int t : tokens)
                text += std::to_string(t) + ",";
            services().getLiveFeeds(text);
        }
    }
    // The grid's order first: a rebuild (theme, columns) keeps the rows
    // where the user put them.
    std::vector<char> shown(m_list->rows.size(), 0);
    const auto show = [&](int position) {
        if (position < 0 || position >= static_cast<int>(shown.size()) || shown[static_cast<size_t>(position)])
            return;
        shown[static_cast<size_t>(position)] = 1;
        if (WatchRowCounts(m_list->rows[static_cast<size_t>(position)]))
            DisplayRow(position, 0);
    };
    for (int position : order)
        show(position);
    for (size_t i = 0; i < shown.size(); ++i)
        show(static_cast<int>(i));
    m_grid->SetFontScaledColumnWidths(m_grid->FontScaledColumnWidths());
    // Scaled to a short caption and the zeros of rows not yet quoted, a
    // column would clip the first real prices and longer names: the
    // security, exchange and value columns keep their own widths at least.
    if (m_grid->FontScaledColumnWidths())
        for (int c = 0; c < m_grid->model().columns(); ++c)
            if (c < 2 || c >= kFixedWatchColumns)
                m_grid->setColumnWidth(c, std::max(m_grid->columnWidth(c),
                                                   c < kFixedWatchColumns ? kFixedColumnWidths[c] : kValueColumnWidth));
    // The TS column keeps its width whatever the sizing mode.
    if (m_grid->model().columns() > 3)
        m_grid->tree()->header()->setSectionResizeMode(3, QHeaderView::Fixed);
    ++m_redrawCounter;
    WriteLog(3, "Exit CVortanexView::DisplayScrips");
}

void CVortanexView::paintCell(int rowId, int column, int paint, unsigned rowText, unsigned rowBack)
{
    ui::GridModel& m = m_grid->model();
    uint32_t fg = 0, bg = 0;
    switch (static_cast<CellPaint>(paint)) {
    case CellPaint::Keep:
        return;
    case CellPaint::Normal:
        fg = g_AppSettings.normal_text_colour;
        bg = g_AppSettings.normal_back_colour;
        break;
    case CellPaint::Rising:
        fg = g_AppSettings.up_text_colour;
        bg = g_AppSettings.up_back_colour;
        break;
    case CellPaint::Falling:
        fg = g_AppSettings.down_text_colour;
        bg = g_AppSettings.down_back_colour;
        break;
    case CellPaint::Row:
        fg = rowText;
        bg = rowBack;
        break;
    }
    m.setTextColour(rowId, column, ui::rgbOf(fg));
    m.setBackColour(rowId, column, ui::rgbOf(bg));
}

int CVortanexView::DisplayRow(int position, int ordinal)
{
    try {
        if (position < 0 || position >= static_cast<int>(m_list->rows.size()))
            return -1;
        WatchRowEntry& entry = m_list->rows[static_cast<size_t>(position)];
        const auto securities = SecurityTable::current();
        if (entry.securityIndex < 0 || !securities || !securities->valid(entry.securityIndex))
            return -1;
        SecurityRecord& s = securities->row(entry.securityIndex);
        ui::GridModel& m = m_grid->model();

        if (ordinal == 1) {
            const int current = m_grid->tree()->currentIndex().data(ui::GridModel::RowIdRole).toInt();
            if (m_grid->tree()->currentIndex().isValid() && m.isRow(current))
                m_insertAfter = current;
        }
        if (m_insertAfter >= 0 && !m.isRow(m_insertAfter))
            m_insertAfter = -1;
        const int rowId = m_insertAfter >= 0 ? m.insertRow(m.positionOf(m_insertAfter) + 1) : m.addRow();
        if (rowId < 0)
            return -1;

        QuoteData q = s.quote();
        const ui::Rgb normalText = ui::rgbOf(g_AppSettings.normal_text_colour);
        // The settings' text colour goes on the settings' back colour, as the
        // value cells have it: the theme's background (white in the light
        // themes) would hide the default white text.
        const ui::Rgb normalBack = ui::rgbOf(g_AppSettings.normal_back_colour);
        m.setText(rowId, 0, QString::fromLatin1(s.displayKey().c_str()));
        m.setText(rowId, 1, QString::fromLatin1(WatchExchangeName(s.market_exchange.view())));
        m.setIcon(rowId, 2, LastPriceIcon(q.tick_code[kLastPrc]));
        m.setIcon(rowId, 3, m_list->type == 8 ? StatusIcon(entry.status) : TrendIcon(s.advisory_kind));
        for (int c = 0; c < kFixedWatchColumns; ++c) {
            m.setTextColour(rowId, c, normalText);
            m.setBackColour(rowId, c, normalBack);
        }
        if (entry.highlight != 0) {
            entry.highlight = 0;
            WatchlistTable::instance().update(m_watchIndex, [&](WatchlistRecord& r) {
                if (position < static_cast<int>(r.rows.size()))
                    r.rows[static_cast<size_t>(position)].highlight = 0;
            });
        }

        const int valueColumns = std::clamp(m_list->columnCount - kFixedWatchColumns, 0, kColumnKinds);
        bool raised = false;
        for (int c = 0; c < valueColumns; ++c) {
            const int kind = m_list->kinds[static_cast<size_t>(c)];
            const WatchCell cell = RowCell(kind, s, q, &raised);
            vortanex_view_detail::setValueCell(m, rowId, c + kFixedWatchColumns, cell.text, kind, q, true);
            paintCell(rowId, c + kFixedWatchColumns, static_cast<int>(cell.paint), 0, 0);
        }
        if (raised) {
            const double high = q.year_high, low = q.year_low;
            s.updateQuote([&](QuoteData& d) {
                d.year_high = std::max(d.year_high, high);
                if (low > 0 && (d.year_low <= 0 || low < d.year_low))
                    d.year_low = low;
            });
        }

        m.setRowData(rowId, position);
        if (position >= static_cast<int>(m_gridRows.size()))
            m_gridRows.resize(static_cast<size_t>(position) + 1, -1);
        if (position < static_cast<int>(m_shown.size()))
            m_shown[static_cast<size_t>(position)].valid = false;
        m_gridRows[static_cast<size_t>(position)] = rowId;
        m_insertAfter = rowId;
        return m.positionOf(rowId);
    } catch (...) {
        WriteLog(0, "Exception in DisplayRow");
        return -1;
    }
}

void CVortanexView::OnAddscrip(int batchSize, int ordinal, int securityIndex, int status)
{
    try {
        WatchlistTable& table = WatchlistTable::instance();
        reloadList();
        const auto securities = SecurityTable::current();
        const int wtoken =
            securities && securities->valid(securityIndex) ? securities->row(securityIndex).wtoken : -1;
        int counted = 0;
        for (size_t i = 0; i < m_list->rows.size(); ++i) {
            const WatchRowEntry& r = m_list->rows[i];
            if (!WatchRowCounts(r))
                continue;
            ++counted;
            if (r.token != wtoken)
                continue;
            if (m_list->type == 8 && status >= -2) {
                table.update(m_watchIndex, [&](WatchlistRecord& rec) {
                    if (i < rec.rows.size())
                        rec.rows[i].status = static_cast<short>(status);
                });
                m_list->rows[i].status = static_cast<short>(status);
                const int rowId = gridRowOf(static_cast<int>(i));
                if (rowId >= 0) {
                    m_grid->model().setIcon(rowId, 3, StatusIcon(static_cast<short>(status)));
                    m_grid->model().setText(rowId, 3, QString::fromLatin1(StatusText(static_cast<short>(status))));
                }
                ++m_redrawCounter;
            } else {
                WriteLog(3, "Security exist for the watchlist");
            }
            m_displayFlag = true;
            m_selectedSecurity = -1;
            return;
        }
        if (counted >= vortanex_view_detail::kMaxCountedRows && !m_pasting && m_list->type != 8) {
            WriteLog(0, "Maximum Scrips Exceeded for the watchlist");
            m_displayFlag = true;
            m_selectedSecurity = -1;
            return;
        }
        if (wtoken < 0) {
            m_displayFlag = true;
            m_selectedSecurity = -1;
            return;
        }
        int position = -1;
        table.update(m_watchIndex, [&](WatchlistRecord& rec) {
            if (rec.rowCount >= rec.rowCapacity)
                rec.rowCapacity += 30;
            position = FindWatchRowSlot(rec, wtoken);
            if (position < 0) {
                WatchRowEntry fresh;
                fresh.origin = '\0';
                rec.rows.push_back(fresh);
                position = static_cast<int>(rec.rows.size()) - 1;
                rec.rowCount = static_cast<int>(rec.rows.size());
            }
            WatchRowEntry& e = rec.rows[static_cast<size_t>(position)];
            e.token = wtoken;
            e.securityIndex = securityIndex;
            e.state = 1;
            e.status = static_cast<short>(status);
        });
        m_displayFlag = false;
        reloadList();
        // A reused entry may still name the grid row of the row it held before.
        if (const int stale = gridRowOf(position); stale >= 0) {
            if (m_insertAfter == stale)
                m_insertAfter = -1;
            m_grid->model().removeRow(stale);
            m_gridRows[static_cast<size_t>(position)] = -1;
        }
        const int shown = DisplayRow(position, ordinal);
        if (shown >= 0 && ordinal == batchSize) {
            ++m_redrawCounter;
            m_grid->selectRow(gridRowOf(position));
        }
        publishSecurities();
    } catch (const std::exception& e) {
        WriteLog(0, std::string("SException in OnAddscrip : [") + e.what() + "]");
    } catch (...) {
        WriteLog(0, "Exception in OnAddscrip");
    }
    m_displayFlag = true;
    m_selectedSecurity = -1;
}

int CVortanexView::rowOfToken(int token)
{
    auto holds = [&](int position) {
        if (position < 0 || position >= static_cast<int>(m_list->rows.size()))
            return false;
        const WatchRowEntry& r = m_list->rows[static_cast<size_t>(position)];
        return r.token == token && r.state >= 0;
    };
    const auto it = m_rowOfToken.find(token);
    if (it != m_rowOfToken.end() && holds(it->second))
        return it->second;
    if (m_rowIndexFresh && it == m_rowOfToken.end())
        return -1;
    // The list changed since the index was made: make it again.
    m_rowOfToken.clear();
    for (size_t i = 0; i < m_list->rows.size(); ++i) {
        const WatchRowEntry& r = m_list->rows[i];
        if (r.state >= 0)
            m_rowOfToken.emplace(r.token, static_cast<int>(i));
    }
    m_rowIndexFresh = true;
    const auto again = m_rowOfToken.find(token);
    return again != m_rowOfToken.end() ? again->second : -1;
}

int CVortanexView::DisplayFeeds(int securityIndex)
{
    int step = 0;
    try {
        const auto securities = SecurityTable::current();
        if (!m_displayFlag || !securities || !securities->valid(securityIndex))
            return 0;
        step = 1;
        const SecurityRecord& s = securities->row(securityIndex);
        const int position = rowOfToken(s.wtoken);
        if (position < 0)
            return 0;
        step = 2;
        const int rowId = gridRowOf(position);
        if (rowId < 0 || !m_grid->model().isRow(rowId))
            return 0; // no Excel link is kept: nothing else to hand the tick to
        WatchRowEntry& entry = m_list->rows[static_cast<size_t>(position)];
        const QuoteData q = s.quote();
        const WatchColours colours = WatchColoursFrom(g_AppSettings);
        step = 3;
        const RowHighlight h = PercentChangeHighlight(q.quote[kPctChange], colours, entry.highlight);
        ui::GridModel& m = m_grid->model();
        if (h.firstCrossing) {
            WatchlistTable::instance().update(m_watchIndex, [&](WatchlistRecord& r) {
                if (position < static_cast<int>(r.rows.size()))
                    r.rows[static_cast<size_t>(position)].highlight = 1;
            });
            for (int c = 0; c < kFixedWatchColumns; ++c) {
                m.setTextColour(rowId, c, ui::rgbOf(h.text));
                m.setBackColour(rowId, c, ui::rgbOf(h.back));
            }
        }
        step = 4;
        const int valueColumns = std::clamp(m_list->columnCount - kFixedWatchColumns, 0, kColumnKinds);
        if (position >= static_cast<int>(m_shown.size()))
            m_shown.resize(static_cast<size_t>(position) + 1);
        ShownRow& shown = m_shown[static_cast<size_t>(position)];
        // Cells whose value, tick code and row colours are what the row
        // already shows are left alone: in a quiet market most are.
        const bool sameRow = shown.valid && shown.rowText == h.text && shown.rowBack == h.back;
        const bool withNumber = m_grid->filterBarVisible();
        for (int c = 0; c < valueColumns; ++c) {
            const int kind = m_list->kinds[static_cast<size_t>(c)];
            const double value = ColumnKindValue(q, kind);
            const short tick = ColumnKindTick(q, kind);
            const bool banded = kind == kWeek52High || kind == kWeek52Low;
            if (sameRow && !banded && shown.value[static_cast<size_t>(c)] == value &&
                shown.tick[static_cast<size_t>(c)] == tick)
                continue;
            shown.value[static_cast<size_t>(c)] = value;
            shown.tick[static_cast<size_t>(c)] = tick;
            const WatchCell cell = TickCell(kind, s, q);
            const int column = c + kFixedWatchColumns;
            vortanex_view_detail::setValueCell(m, rowId, column, cell.text, kind, q, withNumber);
            paintCell(rowId, column, static_cast<int>(cell.paint), h.text, h.back);
            if (cell.band)
                m.setBackColour(rowId, column, ui::rgbOf(*cell.band));
        }
        shown.valid = true;
        shown.rowText = h.text;
        shown.rowBack = h.back;
        step = 5;
        m.setIcon(rowId, 2, LastPriceIcon(q.tick_code[kLastPrc]));
        ++m_redrawCounter;
        ++vortanex_view_detail::g_quotesShown;
        if (m_excelCellsLive && !(watchOpeners().excelTick && watchOpeners().excelTick(this, position, securityIndex)))
            m_excelCellsLive = false; // the spreadsheet link is gone
        return 1;
    } catch (const std::exception& e) {
        WriteLog(0, formatTextCapped(511, "SException in DisplayFeeds [%d] : [%s]", step, e.what()));
        return 0;
    } catch (...) {
        WriteLog(0, formatText("Exception in DisplayFeeds [%d]", step));
        return 0;
    }
}

void CVortanexView::OnTimer()
{
    if (m_freed)
        return;
    m_rowIndexFresh = false; // one rebuild per drain at most for a token not in the index
    m_feed->ticks().drain([this](int security) { DisplayFeeds(security); });
    if (m_redrawCounter != 0) {
        m_redrawCounter = 0;
        m_grid->model().flush();
        // Painted in this tick: left to the window's next update request,
        // the paint came 5 to 20 ms later on a busy loop, and every quote
        // waited for it on top of the period. What is painted is what the
        // flush marked (the changed cells) and whatever else the window has
        // due, not every cell: a whole window's paint cost several
        // milliseconds that every quote of the period waited for.
        QWidget* cells = m_grid->tree()->viewport();
        if (cells->isVisible())
            QCoreApplication::sendPostedEvents(cells->window(), QEvent::UpdateRequest);
    }
}

void CVortanexView::Get_Default()
{
    WriteLog(3, formatTextCapped(511, "Entry Get_Default for %s", m_list->name));
    const auto securities = SecurityTable::current();
    if (securities && CountWatchRows(*m_list) == 0) {
        static const int kExchangeTokens[7] = {1410, 1524, 14922, 1949, 2046, 9495, 2314};
        static const int kWatchTokens[7] = {2819, 3047, 29843, 3897, 4091, 4627, 18989};
        std::vector<WatchRowEntry> rows;
        for (int i = 0; i < 7; ++i) {
            int index = -1;
            if (services().directWatchTokens) {
                const int byToken = securities->searchToken(kExchangeTokens[i], "NN");
                if (byToken >= 0)
                    index = securities->searchWToken(securities->row(byToken).wtoken);
            } else {
                index = securities->searchWToken(kWatchTokens[i]);
            }
            if (index >= 0)
                rows.push_back(vortanex_view_detail::builtRow(securities->row(index), index));
        }
        WatchlistTable::instance().replaceRows(m_watchIndex, std::move(rows), 10);
    }
    m_gridStateKey = vortanex_view_detail::userId() + "_DefaultGridView";
    reloadList();
    WriteLog(3, "Exit Get_Default");
}

void CVortanexView::Get_Future(const std::string& code)
{
    m_listSource = 3;
    WriteLog(3, formatTextCapped(511, "Entry Get_Future for %s %s ", m_list->name, code.c_str()));
    std::vector<WatchRowEntry> rows;
    int capacity = 10;
    if (const auto securities = SecurityTable::current()) {
        const std::string_view listName(m_list->name);
        for (int i = 0; i < securities->count(); ++i) {
            const SecurityRecord& s = securities->row(i);
            if (s.inst_type == code && s.expiry.view() == listName) {
                if (static_cast<int>(rows.size()) >= capacity)
                    capacity += 10;
                rows.push_back(vortanex_view_detail::builtRow(s, i));
            }
        }
    }
    WatchlistTable::instance().replaceRows(m_watchIndex, std::move(rows), capacity);
    reloadList();
    WriteLog(3, "Exit Get_Future");
}

void CVortanexView::Get_Derivative(std::string& title)
{
    m_listSource = 2;
    WatchlistTable& table = WatchlistTable::instance();
    int kind = g_WatchOpenRequest.chainKind;
    int base = g_WatchOpenRequest.chainBase;
    const bool recorded = m_list->chainKind != -1 && m_list->chainKind != 0 && m_list->chainSecurity != -1 &&
                          m_list->chainSecurity != 0 && m_list->type >= 1 && m_list->type <= 3;
    if (recorded) {
        kind = m_list->chainKind;
        base = m_list->chainSecurity;
    }
    g_WatchOpenRequest.chainKind = -1;
    g_WatchOpenRequest.chainBase = -1;
    WriteLog(3, formatText("Entry Get_Derivative : Index %d, Type %d", base, kind));
    const auto securities = SecurityTable::current();
    if (!securities)
        return;
    std::string symbol, exch;
    int baseToken = 0;
    if (kind == 1) {
        const auto indices = IndexTable::instance().entries();
        if (base < 0 || base >= static_cast<int>(indices.size()))
            return;
        const IndexRecord& ix = indices[static_cast<size_t>(base)];
        title = std::string("Derv Chain-") + ix.name;
        exch.assign(ix.exchange, strnlen(ix.exchange, sizeof ix.exchange));
        if (securities->valid(ix.securityIndex)) {
            symbol = std::string(securities->row(ix.securityIndex).symbol.view());
            baseToken = securities->row(ix.securityIndex).token;
        } else {
            symbol.assign(ix.code, strnlen(ix.code, sizeof ix.code));
            baseToken = ix.feedCode;
        }
    } else if (kind == 2 || kind == 3) {
        if (!securities->valid(base))
            return;
        const SecurityRecord& s = securities->row(base);
        title = (kind == 2 ? "Derv Chain-" : "Future Chain-") + std::string(s.symbol.view());
        symbol = std::string(s.symbol.view());
        exch = std::string(s.market_exchange.view());
        baseToken = s.token;
    } else {
        return;
    }
    if (exch == "BN") {
        const int index = m_watchIndex;
        RunWatchExchange(this, [index, baseToken] { Get_Watchlist_Details(vortanex_view_detail::server(), index, baseToken, "BN"); });
        if (m_freed)
            return;
    } else if ((exch == "NN" || exch == "CN" || exch == "CM") && !recorded && !symbol.empty()) {
        std::vector<WatchRowEntry> rows;
        int capacity = 10;
        for (int i = 0; i < securities->count(); ++i) {
            const SecurityRecord& s = securities->row(i);
            if (s.symbol.view() != symbol || s.market_exchange.view() != exch || s.inst_type == "IN")
                continue;
            if (kind == 3 && (s.inst_type == "OS" || s.inst_type == "OI" || s.inst_type == "OC"))
                continue;
            if (static_cast<int>(rows.size()) >= capacity)
                capacity += 10;
            rows.push_back(vortanex_view_detail::builtRow(s, i));
        }
        std::stable_sort(rows.begin(), rows.end(), [&](const WatchRowEntry& a, const WatchRowEntry& b) {
            return vortanex_view_detail::chainPlaceOf(securities->row(a.securityIndex)) <
                   vortanex_view_detail::chainPlaceOf(securities->row(b.securityIndex));
        });
        table.replaceRows(m_watchIndex, std::move(rows), capacity);
        table.update(m_watchIndex, [&](WatchlistRecord& r) {
            r.chainKind = kind;
            r.chainSecurity = base;
        });
    }
    reloadList();
    WriteLog(3, "Exit Get_Derivative");
}

void CVortanexView::Get_Tokens()
{
    try {
        const int index = m_watchIndex;
        RunWatchExchange(this, [index] { Get_Watchlist_Details(vortanex_view_detail::server(), index, 0, ""); });
    } catch (...) {
        WriteLog(0, "Exception in Get_Tokens");
    }
    if (m_freed)
        return;
    reloadList();
}

void CVortanexView::OnUpdateColumns()
{
    SetAccessTime();
    m_displayFlag = false;
    reloadList();
    const std::vector<int> order = positionsInGridOrder();
    rebuildColumns();
    WriteLog(3, formatText("OnUpdateColumns : Selected Columns [%d]", m_list->columnCount));
    DisplayScrips(order);
    m_displayFlag = true;
    m_redrawCounter = 0;
    m_grid->model().flush();
    publishSecurities();
}

void CVortanexView::MyUpdate(int kind)
{
    try {
        m_grid->setGridFont(vortanex_view_detail::gridFont(g_AppSettings.grid_font));
        if (kind != 1 && kind != 9) {
            applyGridLook();
            m_displayFlag = false;
            reloadList();
            std::vector<int> order = positionsInGridOrder();
            forgetGridRows();
            if (kind == 8) {
                order.clear(); // the list's rows are the server's anew
                std::vector<DerivaneWatchRow> rows;
                if (auto securities = SecurityTable::current()) {
                    RequestSession session{pv_user_info.session_id, vortanex_view_detail::userId(), pv_user_info.encrypt};
                    const std::string name = m_list->name;
                    RunWatchExchange(this, [&] { GetDerivaneWatch(vortanex_view_detail::server(), session, *securities, name, rows); });
                    if (m_freed)
                        return;
                }
                std::vector<WatchRowEntry> entries;
                for (const DerivaneWatchRow& d : rows)
                    entries.push_back({d.token, d.securityIndex, d.state, d.origin, 0, d.status, nullptr});
                WatchlistTable::instance().replaceRows(m_watchIndex, std::move(entries), 200);
                m_listSource = 4;
                reloadList();
                forgetGridRows();
            }
            DisplayScrips(order);
            m_displayFlag = true;
            publishSecurities();
        }
        ++m_redrawCounter;
        m_selectedSecurity = -1;
    } catch (...) {
        WriteLog(0, "Exception in CVortanexView::MyUpdate");
    }
}

void CVortanexView::OnGridCommand(int commandId)
{
    const std::string defaultKey = vortanex_view_detail::userId() + "_DefaultGridView";
    switch (commandId) {
    case 32935:
    case 32936:
        m_grid->SetFontScaledColumnWidths(commandId == 32935);
        ++m_redrawCounter;
        m_selectedSecurity = -1;
        break;
    case 32966: {
        m_grid->saveLayout(defaultKey);
        WatchlistTable& table = WatchlistTable::instance();
        for (int i = 0; i < table.count(); ++i)
            m_grid->saveLayout(vortanex_view_detail::userId() + "_" + table.record(i).name);
        for (CVortanexView* v : openViews())
            v->m_grid->LoadGridState(v->m_gridStateKey.empty() ? defaultKey : v->m_gridStateKey);
        break;
    }
    case 32967:
        m_grid->loadLayout(defaultKey);
        break;
    case 32968: {
        WatchlistTable& table = WatchlistTable::instance();
        for (int i = 0; i < table.count(); ++i)
            m_grid->saveLayout(vortanex_view_detail::userId() + "_" + table.record(i).name);
        MsgBoxInfoCaption("Settings applied to all the watchlists", "Client Message");
        break;
    }
    default:
        break;
    }
}

void CVortanexView::FreeAllVariables()
{
    if (m_freed)
        return;
    m_freed = true;
    WriteLog(1, "Entry : CVortanexView::FreeAllVariables");
    try {
        m_feed->setClosing();
        m_displayFlag = false;
        if (m_windowSlot >= 0) {
            WatchFeedLink::removeWatchInfoDlgRef(m_windowSlot);
            WatchFeedLink::releaseSlot(m_windowSlot);
        }
        m_ticker->stopAll();
        WatchFeedLink::updateFeedsToken();
        if (m_watchIndex >= 0)
            vortanex_view_detail::tellPane(1, m_watchIndex);
        m_excelCellsLive = false;
        if (watchOpeners().excelViewGone)
            watchOpeners().excelViewGone(this);
        m_windowSlot = -1;
        WriteLog(1, "Exit : CVortanexView::FreeAllVariables");
    } catch (...) {
        WriteLog(0, "CVortanexView::FreeAllVariables");
    }
}

void CVortanexView::Close_Window()
{
    try {
        m_displayFlag = false;
        WatchFeedLink::removeWatchInfoDlgRef(m_windowSlot);
        closeView();
    } catch (...) {
        WriteLog(0, "Exception in CVortanexView::Close_Window");
    }
}

void CVortanexView::closeView()
{
    // Queued, as the close command was posted: the caller's stack may still
    // be inside this view.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) {
                sub->close();
            } else {
                FreeAllVariables();
                hide();
                deleteLater();
            }
        },
        Qt::QueuedConnection);
}

void CVortanexView::resizeEvent(QResizeEvent* event)
{
    SetAccessTime();
    QWidget::resizeEvent(event);
    m_grid->setGeometry(2, 2, std::max(0, width() - 4), std::max(0, height() - 4));
}

char CVortanexView::OrderKeySide(int qtKey, Qt::KeyboardModifiers modifiers)
{
    return ::OrderKeySide(qtKey, modifiers);
}

bool CVortanexView::eventFilter(QObject* watched, QEvent* event)
{
    QTreeView* tree = m_grid ? m_grid->tree() : nullptr;
    if (!tree || (watched != tree && watched != tree->viewport()))
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        // Claiming the key here keeps the frame's accelerator from firing;
        // the key press then reaches the grid.
        auto* key = static_cast<QKeyEvent*>(event);
        if (OrderKeySide(key->key(), key->modifiers()) != 0 || ClaimsGridKey(key->key(), key->modifiers())) {
            event->accept();
            return true;
        }
        break;
    }
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        const char side = OrderKeySide(key->key(), key->modifiers());
        if (side == 0) {
            if (HandleGridKey(key->key(), key->modifiers(), key->text()))
                return true;
            break;
        }
        // Swallowed even when trading is off, so it never edits or moves the grid.
        if (TradingAllowed() && !RefuseWhileLocked("Place Order."))
            side == 'B' ? OnPopupBuy() : OnPopupSell();
        return true;
    }
    case QEvent::MouseButtonDblClick:
        if (watched == tree->viewport()) {
            if (!RefuseWhileLocked("proceed."))
                OnPopupMarketDepth();
            return true;
        }
        break;
    case QEvent::ContextMenu: {
        auto* menu = static_cast<QContextMenuEvent*>(event);
        OnContextMenu(menu->globalPos());
        return true;
    }
    default: break;
    }
    return QWidget::eventFilter(watched, event);
}

int CVortanexView::currentRowSecurity() const
{
    QTreeView* tree = m_grid->tree();
    const QModelIndex current = tree->currentIndex();
    if (!current.isValid())
        return -1;
    QModelIndex source = current;
    if (auto* proxy = qobject_cast<QAbstractProxyModel*>(tree->model()))
        source = proxy->mapToSource(current);
    const ui::GridModel& m = m_grid->model();
    const int rowId = m.rowIdOf(source);
    const int* position = rowId >= 0 ? m.rowDataAs<int>(rowId) : nullptr;
    if (!position || *position < 0 || *position >= static_cast<int>(m_list->rows.size()))
        return -1;
    const int security = m_list->rows[static_cast<size_t>(*position)].securityIndex;
    const auto table = SecurityTable::current();
    return table && table->valid(security) ? security : -1;
}

void CVortanexView::orderFromRow(char side)
{
    WatchOrderSource source;
    source.securityIndex = currentRowSecurity();
    source.listType = m_list->type;
    source.listId = m_list->id;
    if (source.securityIndex < 0) {
        const QItemSelectionModel* selection = m_grid->tree()->selectionModel();
        WriteLog(0, selection && selection->hasSelection() ? "No Row selected on Buy 1." : "No Row selected on Buy 2.");
    }
    OpenOrderFromWatch(source, side, this);
    m_selectedSecurity = -1;
}

void CVortanexView::OnPopupBuy() { orderFromRow('B'); }

void CVortanexView::OnPopupSell() { orderFromRow('S'); }

void CVortanexView::OnContextMenu(const QPoint& globalPos)
{
    SetAccessTime();
    int step = 1;
    try {
        const ui::MenuSpec menu = BuildContextMenu();
        step = 4;
        const int chosen = ui::prompter().pickMenuCommand(menu, globalPos.x(), globalPos.y());
        if (chosen != 0)
            OnCommand(chosen);
    } catch (const std::exception& e) {
        WriteLog(0, formatTextCapped(511, "SException in OnContextMenu(WL) : [%s] at [%d]", e.what(), step));
    } catch (...) {
        WriteLog(0, formatText("Exception in OnContextMenu(WL) at %d", step));
    }
    m_selectedSecurity = -1;
}
