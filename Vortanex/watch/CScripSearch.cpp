// The feed and server headers come before any Qt header: a member of the feed
// tables is named like one of Qt's keyword macros.
#include "watch/WatchFeed.h"

#include "server/SecurityTable.h"

#include "watch/CScripSearch.h"

#include "app/base/ActivityStamp.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/TextFormat.h"
#include "frame/CMainFrame.h"
#include "watch/CVortanexView.h"
#include "watch/ScripFinder.h"
#include "watch/WatchCommands.h"
#include "frame/WatchOpeners.h"
#include "frame/WindowOpeners.h"
#include "watch/base/WatchlistTable.h"

#include "ui/document_area.h"
#include "ui/modal_host.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>

namespace scrip_search_detail {
namespace {

CScripSearch* g_modeless = nullptr;

ui::FormSpec scripSearchSpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = CScripSearch::kTemplateId;
    spec.name = "CScripSearch";
    spec.caption = "Scrip Search";
    spec.width = 420;
    spec.height = 40;
    spec.controls = {
        {-1, ControlKind::Label, "Symbol", {6, 4, 60, 8}},
        {CScripSearch::kSymbol, ControlKind::ComboEdit, "", {6, 14, 70, 80}, ui::EditRules{true, 10, {}, false}},
        {-1, ControlKind::Label, "Exchange", {80, 4, 50, 8}},
        {CScripSearch::kExchange, ControlKind::Combo, "", {80, 14, 56, 80}},
        {-1, ControlKind::Label, "Series", {140, 4, 50, 8}},
        {CScripSearch::kSeries, ControlKind::ComboEdit, "", {140, 14, 44, 80}, ui::EditRules{true, 2, {}, false}},
        {-1, ControlKind::Label, "Expiry", {188, 4, 50, 8}},
        {CScripSearch::kExpiry, ControlKind::Combo, "", {188, 14, 60, 80}},
        {-1, ControlKind::Label, "Strike", {252, 4, 50, 8}},
        {CScripSearch::kStrike, ControlKind::Combo, "", {252, 14, 56, 80}},
        {-1, ControlKind::Label, "Opt Type", {312, 4, 40, 8}},
        {CScripSearch::kOptionType, ControlKind::Combo, "", {312, 14, 40, 80}},
        {CScripSearch::kOk, ControlKind::Button, "OK", {360, 13, 50, 14}},
    };
    return spec;
}

constexpr int kCombos[6] = {CScripSearch::kSymbol, CScripSearch::kExchange, CScripSearch::kSeries,
                            CScripSearch::kExpiry, CScripSearch::kStrike, CScripSearch::kOptionType};

// The market watch the search adds to: the frame's active document, else
// the one market watch when only one is open.
CVortanexView* currentWatchView()
{
    if (CMainFrame* frame = g_pMainFrame.load(); frame && frame->Documents())
        if (auto* v = qobject_cast<CVortanexView*>(frame->Documents()->activeDocument()))
            return v;
    const auto views = CVortanexView::openViews();
    return views.size() == 1 ? views.front() : nullptr;
}

} // namespace
} // namespace scrip_search_detail

struct CScripSearch::Filters : SearchFilters {};

CScripSearch::CScripSearch(int mode, std::function<void(int, int)> onChosen, int leg, QWidget* parent)
    : ui::Form(scrip_search_detail::scripSearchSpec(), parent), m_mode(mode), m_onChosen(std::move(onChosen)), m_leg(leg)
{
    for (int id : scrip_search_detail::kCombos)
        if (auto* combo = qobject_cast<QComboBox*>(control(id))) {
            combo->installEventFilter(this);
            if (combo->lineEdit())
                combo->lineEdit()->installEventFilter(this);
        }
    onChanged(kSymbol, [this] {
        // A list of one letter would be the whole letter: wait for a second.
        if (text(kSymbol).size() >= 2)
            FillSecurities();
        // The typed symbol's series come with it, the chosen one kept when
        // the symbol has it; an emptied symbol leaves the series alone.
        if (!text(kSymbol).empty())
            FillSeries();
    });
    onClick(kOk, [this] { OnEnter(); });
    onClick(2, [this] { OnCancel(); });
}

CScripSearch::~CScripSearch()
{
    if (scrip_search_detail::g_modeless == this)
        scrip_search_detail::g_modeless = nullptr;
}

CScripSearch* CScripSearch::modeless()
{
    return scrip_search_detail::g_modeless;
}

void CScripSearch::RefreshStyle()
{
    CScripSearch* search = modeless();
    if (!search)
        return;
    const QRect geometry = search->geometry();
    search->style()->unpolish(search);
    search->style()->polish(search);
    for (QWidget* child : search->findChildren<QWidget*>()) {
        child->style()->unpolish(child);
        child->style()->polish(child);
    }
    search->setGeometry(geometry);
    search->update();
}

void CScripSearch::OpenModeless()
{
    if (!scrip_search_detail::g_modeless) {
        CMainFrame* frame = g_pMainFrame.load();
        scrip_search_detail::g_modeless = new CScripSearch(0, {}, 0, frame);
        scrip_search_detail::g_modeless->setAttribute(Qt::WA_DeleteOnClose);
        ui::modalHost().showModeless(*scrip_search_detail::g_modeless);
    }
    scrip_search_detail::g_modeless->show();
    scrip_search_detail::g_modeless->raise();
    scrip_search_detail::g_modeless->activateWindow();
}

void CScripSearch::onInit()
{
    SetAccessTime();
    setComboItems(kExchange, {"NSE", "BSE", "NSE-FX", "MCX-CM"});
    setComboIndex(kExchange, 0);
    // The user types the symbol first; the exchange starts on NSE.
    focus(kSymbol);
    m_open = true;
}

CScripSearch::Filters CScripSearch::filters() const
{
    Filters f;
    f.symbol = text(kSymbol);
    if (comboIndex(kExchange) >= 0)
        f.exchange = SearchExchangeCode(text(kExchange));
    f.series = text(kSeries);
    if (comboIndex(kExpiry) >= 0)
        f.expiry = text(kExpiry);
    if (comboIndex(kStrike) >= 0)
        f.strike = text(kStrike);
    if (comboIndex(kOptionType) >= 0)
        f.optionType = text(kOptionType);
    return f;
}

bool CScripSearch::symbolListOpen() const
{
    auto* combo = qobject_cast<QComboBox*>(control(kSymbol));
    return combo && combo->view() && combo->view()->isVisible();
}

void CScripSearch::FillSecurities()
{
    try {
        const Filters f = filters();
        const auto table = SecurityTable::current();
        if (!table || f.allEmpty() || f.symbol.size() == 1)
            return;
        const std::vector<std::string> symbols = SearchSymbols(*table, f, !f.symbol.empty() || symbolListOpen());
        auto* combo = qobject_cast<QComboBox*>(control(kSymbol));
        if (!combo)
            return;
        const QString typed = combo->currentText();
        const QSignalBlocker block(combo);
        combo->clear();
        for (const std::string& s : symbols)
            combo->addItem(QString::fromStdString(s));
        combo->setCurrentIndex(-1);
        combo->setEditText(typed);
    } catch (const std::exception& e) {
        WriteLog(0, formatTextCapped(511, "SException in CScripSearch::FillSecurities : [%s]", e.what()));
    } catch (...) {
        WriteLog(0, "Exception in CScripSearch::FillSecurities");
    }
}

void CScripSearch::FillExchanges()
{
    if (!comboItems(kExchange).empty() && text(kSymbol).empty())
        return;
    const auto table = SecurityTable::current();
    if (!table)
        return;
    const std::string chosen = comboIndex(kExchange) >= 0 ? text(kExchange) : std::string();
    const std::vector<std::string> names = SearchExchanges(*table, filters());
    setComboItems(kExchange, names);
    const auto at = std::find(names.begin(), names.end(), chosen);
    setComboIndex(kExchange, at == names.end() ? -1 : static_cast<int>(at - names.begin()));
}

void CScripSearch::FillSeries()
{
    const auto table = SecurityTable::current();
    if (!table)
        return;
    const std::string chosen = text(kSeries);
    const std::vector<std::string> series = SearchSeries(*table, filters());
    setComboItems(kSeries, series);
    // The chosen series when the list has it, else the first ("EQ" heads
    // the list when there is one): a series box is never left empty.
    const auto at = std::find(series.begin(), series.end(), chosen);
    setComboIndex(kSeries, at != series.end() ? static_cast<int>(at - series.begin()) : series.empty() ? -1 : 0);
}

void CScripSearch::FillExpiries()
{
    const auto table = SecurityTable::current();
    if (!table)
        return;
    const Filters f = filters();
    const std::vector<std::string> expiries = SearchExpiries(*table, f);
    setComboItems(kExpiry, expiries);
    const auto at = std::find(expiries.begin(), expiries.end(), f.expiry);
    setComboIndex(kExpiry, at != expiries.end() ? static_cast<int>(at - expiries.begin()) : expiries.empty() ? -1 : 0);
}

void CScripSearch::FillStrikes()
{
    const auto table = SecurityTable::current();
    if (!table)
        return;
    const Filters f = filters();
    const std::vector<std::string> strikes = SearchStrikes(*table, f);
    setComboItems(kStrike, strikes);
    const auto at = std::find(strikes.begin(), strikes.end(), f.strike);
    setComboIndex(kStrike, at != strikes.end() ? static_cast<int>(at - strikes.begin()) : -1);
}

void CScripSearch::FillOptionTypes()
{
    setComboItems(kOptionType, SearchOptionTypes(text(kSeries)));
    setComboIndex(kOptionType, -1);
}

void CScripSearch::OnEnter()
{
    SetAccessTime();
    try {
        const Filters f = filters();
        if (f.series == "IN")
            return;
        // A field left out would only make a key that finds nothing: say
        // which one is missing instead.
        if (const std::string missing = SearchMissingField(f); !missing.empty()) {
            MsgBoxInfoCaption(missing, "Input Error");
            return;
        }
        const std::string key = SearchDisplayKey(f);
        WriteLog(3, formatTextCapped(511, "Security :%s, Me <%s>", key.c_str(), f.exchange.c_str()));
        const auto table = SecurityTable::current();
        const int security = table ? SearchChoice(*table, f) : -1;
        if (security < 0) {
            WriteLog(3, formatTextCapped(511, "Security :%s, Me <%s>,<%s> Not Found", key.c_str(), f.exchange.c_str(),
                                         f.exchange.c_str()));
            MsgBoxInfoCaption("Security not found", "Input Error");
            return;
        }
        if (m_mode == 1 || m_mode == 2) {
            if (m_onChosen)
                m_onChosen(m_leg, security);
            finish(1);
            return;
        }
        CVortanexView* view = scrip_search_detail::currentWatchView();
        if (!view) {
            MsgBoxOk("Open a market watch to add the security to.");
            return;
        }
        if (!view->TakesAdditions()) {
            CVortanexView::RefuseAddition();
            return;
        }
        const int wtoken = table->row(security).wtoken;
        const WatchlistRecord& list = view->list();
        int counted = 0;
        for (size_t i = 0; i < list.rows.size(); ++i) {
            const WatchRowEntry& r = list.rows[i];
            if (!WatchRowCounts(r) || view->gridRowOf(static_cast<int>(i)) < 0)
                continue;
            if (r.token == wtoken) {
                // Shown once: a second row of it would only repeat the first.
                MsgBoxOk("Security Already Present");
                return;
            }
            ++counted;
        }
        if (counted > 99) {
            MsgBoxInfo(formatText("You are allowed to add only %d scrips in the watchlist", 100));
            return;
        }
        WatchCommands::Activate(view);
        view->OnAddscrip(1, 1, security, -10);
        if (view->excelCellsLive() && watchOpeners().addExcelScripts)
            watchOpeners().addExcelScripts(view); // the linked sheet gets the new row
        WatchFeedLink::updateFeedsToken();
        // The watch came to the front to show the new row; the keys stay
        // with the search for the next scrip.
        activateWindow();
        focus(kExchange);
        const std::vector<std::string> names = comboItems(kExchange);
        const auto at = std::find(names.begin(), names.end(), std::string(SearchExchangeName(f.exchange)));
        if (at != names.end())
            setComboIndex(kExchange, static_cast<int>(at - names.begin()));
    } catch (...) {
        WriteLog(0, "Exception in CScripSearch::OnEnter");
    }
}

void CScripSearch::OnCancel()
{
    m_open = false;
    // Only the modeless instance is the frame's; a modal one from the order
    // form or a basket leaves it alone.
    if (scrip_search_detail::g_modeless == this) {
        scrip_search_detail::g_modeless = nullptr;
        finish(2);
        close();
        return;
    }
    finish(2);
}

void CScripSearch::MyUpdate()
{
    for (int id : {kSymbol, kSeries, kExpiry, kStrike, kOptionType})
        setComboItems(id, {});
}

bool CScripSearch::eventFilter(QObject* watched, QEvent* event)
{
    int id = 0;
    for (int c : scrip_search_detail::kCombos) {
        auto* combo = qobject_cast<QComboBox*>(control(c));
        if (combo && (watched == combo || watched == combo->lineEdit()))
            id = c;
    }
    if (id == 0)
        return ui::Form::eventFilter(watched, event);
    if (event->type() == QEvent::FocusIn) {
        switch (id) {
        case kSymbol: FillSecurities(); break;
        case kExchange: FillExchanges(); break;
        case kSeries: FillSeries(); break;
        case kExpiry: FillExpiries(); break;
        case kStrike: FillStrikes(); break;
        case kOptionType: FillOptionTypes(); break;
        default: break;
        }
    } else if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Backspace && id != kSymbol && id != kSeries && !comboItems(id).empty()) {
            setComboIndex(id, -1);
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            OnEnter();
            focusNextChild();
            return true;
        }
    }
    return ui::Form::eventFilter(watched, event);
}

namespace scrip_search_detail {
namespace {

// The search is the frame's scrip search for the other windows (the basket's
// legs) wherever it is linked in: no start-up step can forget it.
[[maybe_unused]] const bool g_searchInstalled = [] {
    windowOpeners().scripSearch = [](int mode, std::function<void(int leg, int security)> onChosen, int leg,
                                     QWidget* parent, const QPoint& at) {
        CScripSearch search(mode, std::move(onChosen), leg, parent);
        search.move(at);
        ui::modalHost().run(search);
    };
    return true;
}();

} // namespace
} // namespace scrip_search_detail
