// The feed's headers first: a member of the feed tables is named like one of
// Qt's keyword macros.
#include "market/DepthFeed.h"
#include "server/SecurityTable.h"

#include "market/CMDepthView.h"

#include "app/base/ActivityStamp.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "frame/FrameThemes.h"
#include "frame/OrderFormOpener.h"
#include "frame/controls/CMyListCtrl.h"
#include "market/LinearGauge.h"
#include "market/MarketDepthRecord.h"
#include "frame/OrderFormLinks.h"
#include "frame/WatchOrderCommands.h"
#include "frame/PositionServices.h"
#include "server/ExpiryDates.h"

#include "pf/threads.h"
#include "ui/modal_host.h"
#include "ui/prompter.h"
#include "ui/rgb.h"
#include "ui/ticker.h"
#include "ui/ui_thread.h"

#include <QComboBox>
#include <QCompleter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QVBoxLayout>

#include <algorithm>
#include <map>
#include <set>

namespace cm_depth_view_detail {
namespace {

std::vector<CMDepthView*> g_views; // UI thread

ui::FormSpec depthSpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = CMDepthView::kTemplateId;
    spec.name = "CMDepthView";
    spec.caption = "Market Depth";
    spec.width = 372;
    spec.height = 232;
    spec.controls = {
        {CMDepthView::kExchange, ControlKind::Combo, "", {4, 4, 52, 12}},
        {CMDepthView::kInstrument, ControlKind::ComboEdit, "", {60, 4, 40, 12}},
        {CMDepthView::kSymbol, ControlKind::ComboEdit, "", {104, 4, 80, 12}, ui::EditRules{true, 10, "", false}},
        {CMDepthView::kExpiry, ControlKind::Combo, "", {188, 4, 60, 12}},
        {CMDepthView::kStrike, ControlKind::Combo, "", {252, 4, 64, 12}},
        {CMDepthView::kOptionType, ControlKind::Combo, "", {320, 4, 48, 12}},
        {-1, ControlKind::Label, "LTP : ", {4, 22, 24, 10}},
        {CMDepthView::kLastPrice, ControlKind::Label, "0.00", {30, 22, 70, 10}},
        {CMDepthView::kPercent, ControlKind::Label, "(0.00)", {104, 22, 50, 10}},
        {-1, ControlKind::Label, "%", {156, 22, 10, 10}},
        {CMDepthView::kLadder, ControlKind::Static, "", {4, 36, 250, 104}},
        {-1, ControlKind::Label, "Open :", {258, 36, 56, 9}},
        {CMDepthView::kOpen, ControlKind::Label, "0", {316, 36, 54, 9}},
        {-1, ControlKind::Label, "Close : ", {258, 47, 56, 9}},
        {CMDepthView::kClose, ControlKind::Label, "0", {316, 47, 54, 9}},
        {-1, ControlKind::Label, "OI : ", {258, 58, 56, 9}},
        {CMDepthView::kOpenInterest, ControlKind::Label, "0", {316, 58, 54, 9}},
        {-1, ControlKind::Label, "Wtd Avg : ", {258, 69, 56, 9}},
        {CMDepthView::kWeightedAverage, ControlKind::Label, "0", {316, 69, 54, 9}},
        {-1, ControlKind::Label, "Last Trd Qty : ", {258, 80, 56, 9}},
        {CMDepthView::kLastTradeQty, ControlKind::Label, "0", {316, 80, 54, 9}},
        {-1, ControlKind::Label, "LTDate : ", {258, 91, 56, 9}},
        {CMDepthView::kLastTradeDate, ControlKind::Label, "00-00-00", {316, 91, 54, 9}},
        {CMDepthView::kLastTradeTime, ControlKind::Label, "00:00:00", {316, 102, 54, 9}},
        {-1, ControlKind::Label, "TTQ : ", {258, 113, 56, 9}},
        {CMDepthView::kTotalQty, ControlKind::Label, "0", {316, 113, 54, 9}},
        {-1, ControlKind::Label, "TTV : ", {258, 124, 56, 9}},
        {CMDepthView::kTotalValue, ControlKind::Label, "0", {316, 124, 54, 9}},
        {-1, ControlKind::Label, "Net Chg :", {258, 135, 56, 9}},
        {CMDepthView::kNetChange, ControlKind::Label, "0", {316, 135, 54, 9}},
        {-1, ControlKind::Label, "Today's High Low", {4, 146, 120, 9}},
        {CMDepthView::kTodayGauge, ControlKind::Static, "", {4, 156, 120, 34}},
        {CMDepthView::kYearLabel, ControlKind::Label, "52 Week High Low", {126, 146, 120, 9}},
        {CMDepthView::kYearGauge, ControlKind::Static, "", {126, 156, 120, 34}},
        {-1, ControlKind::Label, "Circuit Limit", {248, 146, 120, 9}},
        {CMDepthView::kCircuitGauge, ControlKind::Static, "", {248, 156, 120, 34}},
    };
    return spec;
}

std::shared_ptr<SecurityTable> table()
{
    return SecurityTable::current();
}

const SecurityRecord* rowOf(const std::shared_ptr<SecurityTable>& t, int security)
{
    return t && t->valid(security) ? &t->row(security) : nullptr;
}

DepthSecurityFacts factsOf(const SecurityRecord* rec)
{
    DepthSecurityFacts f;
    if (!rec)
        return f;
    f.secondToken = rec->wtoken;
    f.commodity = rec->commodity != 0;
    f.marketLot = rec->market_lot;
    f.currency = rec->currency != 0;
    return f;
}

std::string trimmedCopy(std::string s)
{
    while (!s.empty() && s.front() == ' ')
        s.erase(s.begin());
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

const char* kExchangeNames[] = {"NSE", "BSE", "NSE-FX", "MCX-CM"};
const char* kExchangeCodes[] = {"NN", "BN", "CN", "MC"};

std::string codeOfName(const std::string& name)
{
    for (size_t i = 0; i < std::size(kExchangeNames); ++i)
        if (name == kExchangeNames[i])
            return kExchangeCodes[i];
    return {};
}

} // namespace
} // namespace cm_depth_view_detail

CMDepthView::CMDepthView(QWidget* parent, int security)
    : ui::Form(cm_depth_view_detail::depthSpec(), parent), m_security(security), m_feed(std::make_shared<DepthFeed>())
{
    setAttribute(Qt::WA_DeleteOnClose);
    cm_depth_view_detail::g_views.push_back(this);
    m_reload = SecurityReload::instance().add("depth", [this](const SecurityTable&, SecurityTable&) {
        if (followTable())
            return SecurityReload::Outcome{};
        m_reload.reset();
        return SecurityReload::Outcome{true, "Market Depth"};
    });
    m_ticker = new ui::Ticker(this);
    m_ticker->onTick = [this](int) { OnTimer(); };
    if (QWidget* holder = control(kLadder)) {
        auto* layout = new QVBoxLayout(holder);
        layout->setContentsMargins(0, 0, 0, 0);
        m_list = new CMyListCtrl(holder);
        layout->addWidget(m_list);
    }
    const int gaugeIds[3] = {kTodayGauge, kYearGauge, kCircuitGauge};
    for (size_t i = 0; i < 3; ++i)
        if (QWidget* holder = control(gaugeIds[i])) {
            auto* layout = new QVBoxLayout(holder);
            layout->setContentsMargins(0, 0, 0, 0);
            m_gauges[i] = new LinearGauge(holder);
            layout->addWidget(m_gauges[i]);
        }
    onChanged(kExchange, [this] { onExchangeChanged(); });
    onChanged(kInstrument, [this] { onInstrumentChanged(); });
    onChanged(kSymbol, [this] { onSymbolEdited(); });
    onChanged(kExpiry, [this] {
        if (!m_pickersInit) {
            m_expiry = text(kExpiry);
            fillStrikes();
            SelectSecurityFromPickers();
        }
    });
    onChanged(kStrike, [this] {
        if (!m_pickersInit) {
            m_strike = text(kStrike);
            SelectSecurityFromPickers();
        }
    });
    onChanged(kOptionType, [this] {
        if (!m_pickersInit) {
            m_optionType = text(kOptionType);
            SelectSecurityFromPickers();
        }
    });
    // The symbol picker offers the matching symbols while the user types
    // without taking the keyboard from the edit.
    if (auto* combo = qobject_cast<QComboBox*>(control(kSymbol))) {
        combo->setInsertPolicy(QComboBox::NoInsert);
        if (QCompleter* c = combo->completer()) {
            c->setCompletionMode(QCompleter::PopupCompletion);
            c->setCaseSensitivity(Qt::CaseInsensitive);
        }
    }
    keys().onKeyDown = [](ui::Key, ui::Mods) { return false; };
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);
    installEventFilter(this);
}

CMDepthView::~CMDepthView()
{
    if (!m_closed) {
        m_feed->setClosing();
        DepthFeedLink::release(m_slot, m_security);
    }
    cm_depth_view_detail::g_views.erase(std::remove(cm_depth_view_detail::g_views.begin(), cm_depth_view_detail::g_views.end(), this), cm_depth_view_detail::g_views.end());
}

std::vector<CMDepthView*> CMDepthView::openViews()
{
    return cm_depth_view_detail::g_views;
}

LinearGauge* CMDepthView::gauge(int id) const
{
    if (id == kTodayGauge)
        return m_gauges[0];
    if (id == kYearGauge)
        return m_gauges[1];
    if (id == kCircuitGauge)
        return m_gauges[2];
    return nullptr;
}

std::string CMDepthView::cellText(int row, int column) const
{
    if (!m_list)
        return {};
    const int id = m_list->model().idAt(row);
    return id < 0 ? std::string() : m_list->model().text(id, column).toStdString();
}

void CMDepthView::onInit()
{
    try {
        SetAccessTime();
        const auto t = cm_depth_view_detail::table();
        m_feed->setToken(cm_depth_view_detail::factsOf(cm_depth_view_detail::rowOf(t, m_security)).secondToken);
        m_slot = DepthFeedLink::takeSlot(m_feed, m_security);
        if (m_slot < 0)
            return;
        rememberSecurity();
        QFont big("Courier New");
        big.setPixelSize(18);
        big.setWeight(QFont::DemiBold);
        for (int id : {kLastPrice, kPercent})
            if (QWidget* label = control(id))
                label->setFont(big);
        WriteLog(3, formatText("Entry in CMDepthView::OnInitialUpdate <%d>", m_slot));
        if (m_list) {
            m_list->model().setColumns({"", "Price", "Qty", "Ords", "Price", "Qty", "Ords"});
            const int widths[7] = {0, 70, 63, 37, 70, 63, 37};
            for (int c = 0; c < 7; ++c)
                m_list->setColumnWidth(c, widths[c]);
            m_list->setColumnHidden(0, true);
            m_list->ResetSortState(IsDarkTheme() ? 8 : 0);
            // The colours of the first exchange segment of the login.
            if (pv_user_info.segment_count > 0 && !pv_user_info.segments.empty())
                m_list->setDefaultColours(ui::rgbOf(pv_user_info.segments[0].text_colour),
                                          ui::rgbOf(pv_user_info.segments[0].row_colour));
            for (int r = 0; r < 6; ++r)
                m_list->model().addRow();
            m_list->model().setText(m_list->model().idAt(5), 1, "Total");
        }
        m_bid.fill(0);
        m_ask.fill(0);
        if (m_security >= 0) {
            setCaption();
            DepthFeedLink::sendDepthTokens();
        }
        setText(kLastPrice, "0.00");
        setText(kPercent, "(0.00)");
        for (int id : {kOpen, kClose, kNetChange, kWeightedAverage, kTotalQty, kTotalValue, kOpenInterest,
                       kLastTradeQty})
            setText(id, "0");
        setText(kLastTradeTime, "00:00:00");
        setText(kLastTradeDate, "00-00-00");
        initPickers();
        OnUpdateGauge(1);
        m_ticker->start(kTimerId, kTimerMs);
    } catch (...) {
        WriteLog(0, "Exception in CMDepthView::OnInitialUpdate");
    }
}

void CMDepthView::setCaption()
{
    const auto t = cm_depth_view_detail::table();
    const SecurityRecord* rec = cm_depth_view_detail::rowOf(t, m_security);
    if (!rec)
        return;
    const std::string caption = DepthCaption(rec->displayKey().view(), rec->market_exchange.view());
    if (!caption.empty())
        setWindowTitle(QString::fromStdString(caption));
    setText(kYearLabel, rec->commodity ? "Lifetime High Low" : "52 Week High Low");
    if (m_list) {
        // Lots for commodities and currencies.
        const QString qty = rec->currency || rec->commodity ? "Lot" : "Qty";
        m_list->model().setColumnName(2, qty);
        m_list->model().setColumnName(5, qty);
    }
    const bool cash = IsCashScrip(*rec);
    showControl(kYearGauge, cash);
    showControl(kYearLabel, cash);
}

void CMDepthView::rememberSecurity()
{
    const auto t = cm_depth_view_detail::table();
    m_tableSeen = t.get();
    if (const SecurityRecord* rec = cm_depth_view_detail::rowOf(t, m_security)) {
        m_token = rec->token;
        m_exchangeCode = std::string(rec->market_exchange.view());
    }
}

bool CMDepthView::followTable()
{
    const auto t = cm_depth_view_detail::table();
    if (t.get() == m_tableSeen || m_security < 0)
        return true;
    const int found = t ? t->searchToken(m_token, m_exchangeCode) : -1;
    if (found < 0) {
        WriteLog(0, formatText("Market Depth closed: token %d of %s is no longer in the master", m_token,
                               m_exchangeCode.c_str()));
        OnCancel();
        MsgBoxOk("The security of this Market Depth is no longer available.");
        return false;
    }
    m_drawnSecurity = -1;
    if (found != m_security) {
        ReturnMessage(found);
    } else {
        m_feed->setToken(t->row(found).wtoken);
        DepthFeedLink::sendDepthTokens();
    }
    rememberSecurity();
    return true;
}

void CMDepthView::OnTimer()
{
    if (!followTable())
        return;
    std::vector<std::string> latest;
    m_feed->records().drain([&](int, std::string& text) { latest.push_back(std::move(text)); });
    if (latest.empty())
        return;
    const auto t = cm_depth_view_detail::table();
    const SecurityRecord* rec = cm_depth_view_detail::rowOf(t, m_security);
    if (rec && rec->currency)
        DisplayMDepth_Cur(latest.back());
    else
        DisplayMDepth(latest.back());
}

void CMDepthView::DisplayMDepth(const std::string& text)
{
    applyRecord(text, false);
}

void CMDepthView::DisplayMDepth_Cur(const std::string& text)
{
    applyRecord(text, true);
}

void CMDepthView::applyRecord(const std::string& text, bool currency)
{
    int step = 0;
    try {
        const auto t = cm_depth_view_detail::table();
        const SecurityRecord* rec = cm_depth_view_detail::rowOf(t, m_security);
        if (!rec)
            return;
        DepthSecurityFacts facts = cm_depth_view_detail::factsOf(rec);
        facts.currency = currency;
        step = 1;
        const MarketDepthLadder ladder = ParseMarketDepthRecord(text, facts);
        if (!ladder.matched)
            return;
        step = 2;
        if (ladder.lastPrice)
            m_lastPrice = *ladder.lastPrice;
        for (size_t i = 0; i < 5; ++i) {
            if (ladder.bidPrice[i])
                m_bid[i] = *ladder.bidPrice[i];
            if (ladder.askPrice[i])
                m_ask[i] = *ladder.askPrice[i];
        }
        step = 3;
        if (m_list) {
            ui::GridModel& m = m_list->model();
            for (int r = 0; r < 6; ++r) {
                const int id = m.idAt(r);
                for (int c = 1; c < 7; ++c)
                    if (const auto& cell = ladder.cells[static_cast<size_t>(r)][static_cast<size_t>(c)])
                        m.setText(id, c, QString::fromStdString(*cell));
            }
        }
        step = 4;
        setLabelsFromQuote();
        step = 5;
        refreshGauges();
    } catch (...) {
        WriteLog(0, currency ? formatText("Exception in DisplayMDepth_Cur at [%d]", step)
                             : formatText("Exception in DisplayMDepth at [%d]", step));
    }
}

void CMDepthView::setLabelsFromQuote()
{
    const auto t = cm_depth_view_detail::table();
    const SecurityRecord* rec = cm_depth_view_detail::rowOf(t, m_security);
    if (!rec)
        return;
    const DepthLabels l = MakeDepthLabels(rec->quote(), cm_depth_view_detail::factsOf(rec));
    setText(kOpen, l.open);
    setText(kClose, l.close);
    setText(kNetChange, l.netChange);
    setText(kWeightedAverage, l.weightedAverage);
    setText(kTotalQty, l.totalQuantity);
    setText(kTotalValue, l.totalValue);
    setText(kOpenInterest, l.openInterest);
    setText(kLastTradeDate, l.lastTradeDate);
    setText(kLastTradeTime, l.lastTradeTime);
    setText(kLastTradeQty, l.lastTradeQuantity);
    setText(kLastPrice, l.lastPrice);
    setText(kPercent, l.percentChange);
}

namespace cm_depth_view_detail {
namespace {

// Start and finish of the three gauges in rupees: today's, 52-week, circuit.
std::array<std::array<double, 2>, 3> gaugeBounds(const QuoteData& q)
{
    return {{{q.quote[6] / 100, q.quote[5] / 100}, {q.year_low, q.year_high}, {q.quote[20] / 100, q.quote[19] / 100}}};
}

} // namespace
} // namespace cm_depth_view_detail

void CMDepthView::refreshGauges()
{
    const auto t = cm_depth_view_detail::table();
    const SecurityRecord* rec = cm_depth_view_detail::rowOf(t, m_security);
    if (!rec)
        return;
    // A rebuild only when the security or a bound moved; otherwise the
    // pointers alone follow the price (the drawing is the same).
    const auto bounds = cm_depth_view_detail::gaugeBounds(rec->quote());
    if (m_security != m_drawnSecurity || bounds != m_drawnBounds)
        OnUpdateGauge(0);
    else
        movePointers();
}

void CMDepthView::OnUpdateGauge(int colourFlag)
{
    const auto t = cm_depth_view_detail::table();
    const SecurityRecord* rec = cm_depth_view_detail::rowOf(t, m_security);
    if (!rec)
        return;
    m_gaugeRebuilding = true;
    ++m_gaugeRebuilds;
    const QuoteData q = rec->quote();
    const auto bounds = cm_depth_view_detail::gaugeBounds(q);
    const bool cash = IsCashScrip(*rec);
    const bool currency = rec->currency != 0;
    const double last = q.quote[4];
    for (size_t g = 0; g < 3; ++g) {
        try {
            LinearGauge* gauge = m_gauges[g];
            if (!gauge || (g == 1 && !cash))
                continue;
            const GaugeScale s = MakeGaugeScale(bounds[g][0], bounds[g][1], currency);
            gauge->setScale(s.start, s.finish, s.step);
            gauge->removeRanges();
            gauge->setPointer(0);
            gauge->setTickMarkSize(6);
            if (!s.placeholder) {
                gauge->addRange({s.start, s.middle, QColor(0xFF, 0xD7, 0x00, 0x80), QColor(0x8B, 0, 0), 10});
                gauge->addRange({s.middle, s.finish, QColor(0, 0x80, 0), QColor(0xFF, 0xD7, 0x00), 10});
                gauge->setLabelFormat(s.labelFormat);
                if (const auto p = GaugePointer(s, last / 100))
                    gauge->setPointer(*p);
            } else {
                gauge->addRange({0, 50, QColor(0x8B, 0, 0), QColor(0x8B, 0, 0), 10});
                gauge->addRange({50, 100, QColor(0, 0x80, 0), QColor(0, 0x80, 0), 10});
                gauge->setFixedLabel(s.placeholderLabel);
            }
            if (colourFlag)
                gauge->setColours(QColor(0xFF, 0, 0), Qt::black, QColor(0, 0, 0xFF),
                                  IsDarkTheme() ? Qt::white : Qt::black);
            gauge->update();
        } catch (...) {
            WriteLog(0, formatText("Exception 2 in OnUpdateGauge [0] for Guage no %d [%.4lf - %.4lf] SecIdx : %d",
                                   static_cast<int>(g), bounds[g][0], bounds[g][1], m_security));
        }
    }
    m_drawnSecurity = m_security;
    m_drawnBounds = bounds;
    m_gaugeRebuilding = false;
}

void CMDepthView::movePointers()
{
    const auto t = cm_depth_view_detail::table();
    const SecurityRecord* rec = cm_depth_view_detail::rowOf(t, m_security);
    if (!rec || m_gaugeRebuilding)
        return;
    const double last = rec->quote().quote[4] / 100;
    for (LinearGauge* gauge : m_gauges) {
        if (!gauge || gauge->isHidden())
            continue;
        const GaugeScale s{false, gauge->start(), gauge->finish(), gauge->majorStep(), 0, {}, {}};
        if (gauge->majorStep() == 100 && gauge->start() == 0 && gauge->finish() == 100 && !gauge->ranges().empty() &&
            gauge->ranges()[0].startColour == gauge->ranges()[0].finishColour)
            continue; // the placeholder never points
        if (const auto p = GaugePointer(s, last)) {
            gauge->setPointer(*p);
            gauge->update();
        }
    }
}

void CMDepthView::clearLadder()
{
    if (!m_list)
        return;
    ui::GridModel& m = m_list->model();
    for (int r = 0; r < 6; ++r)
        for (int c = 1; c < 7; ++c)
            if (!(r == 5 && c == 1))
                m.setText(m.idAt(r), c, QString());
}

void CMDepthView::ReturnMessage(int security)
{
    try {
        const auto t = cm_depth_view_detail::table();
        if (!cm_depth_view_detail::rowOf(t, security))
            return;
        m_security = security;
        m_lastPrice = 0;
        m_bid.fill(0);
        m_ask.fill(0);
        m_feed->setToken(t->row(security).wtoken);
        setCaption();
        clearLadder();
        for (int id : {kOpen, kClose, kLastPrice, kOpenInterest, kLastTradeQty})
            setText(id, "0");
        setText(kNetChange, "0.00");
        setText(kLastTradeTime, "00:00:00");
        setText(kLastTradeDate, "00-00-00");
        for (int id : {kTotalQty, kTotalValue, kPercent})
            setText(id, "");
        rememberSecurity();
        DepthFeedLink::setSecurity(m_slot, m_feed, m_security);
        DepthFeedLink::sendDepthTokens();
    } catch (...) {
        WriteLog(0, "Exception in CMDepthView::ReturnMessage");
    }
}

void CMDepthView::Place_Order(char side)
{
    int step = 0;
    try {
        if (!TradingAllowed())
            return;
        SetAccessTime();
        const auto t = cm_depth_view_detail::table();
        const SecurityRecord* rec = cm_depth_view_detail::rowOf(t, m_security);
        if (!rec) {
            MsgBoxOk("Please Select Security.");
            return;
        }
        step = 1;
        if (pv_user_info.user_type == 'P') {
            ClientInfo* client = ActiveClientEntry();
            if (!client || !client->active) {
                MsgBoxInfoCaption("Please Activate a Client", "Input Error");
                return;
            }
        }
        step = 2;
        const double price = side == 'B' ? m_ask[0] : side == 'S' ? m_bid[0] : m_lastPrice;
        WriteLog(3, "Place_Order(MD) " + std::string(rec->symbol.view()));
        OrderFormParams p;
        p.index = m_security;
        p.side = side == 'S' ? 'S' : 'B';
        p.price = price;
        int other = -1;
        const std::string exch(rec->market_exchange.view());
        if (!rec->derivative && !rec->commodity && !rec->currency && (exch == "NN" || exch == "BN")) {
            const int found = Search_Symbol(rec->symbol.view(), exch == "NN" ? "BN" : "NN", rec->inst_type.view());
            if (found > 0)
                other = found;
        }
        p.companionIndex = other;
        step = 3;
        if (other < 0) {
            OpenOrderForm(p, this, 1);
            return;
        }
        // The twin's quote comes from the server: fetched on a worker, the
        // form opens when it is in (and not at all if this window is gone).
        QPointer<CMDepthView> self(this);
        pf::Worker::start("SetFeedData(MD)", [self, p, other] {
            SetFeedData(other);
            ui::UiThread::post([self, p] {
                if (self)
                    OpenOrderForm(p, self, 1);
            });
        });
    } catch (...) {
        WriteLog(0, formatText("Exception in CMDepthView::Place_Order at [%d]", step));
    }
}

void CMDepthView::OnBasketOrder(char side)
{
    const char* name = side == 'B' ? "OnBasketOrderBuy" : side == 'S' ? "OnBasketOrderSell" : "OnBasketOrder";
    try {
        if (!TradingAllowed())
            return;
        SetAccessTime();
        if (pv_user_info.user_type == 'P') {
            ClientInfo* client = ActiveClientEntry();
            if (!client || !client->active) {
                MsgBoxInfoCaption("Please Activate a Client", "Input Error");
                return;
            }
        }
        if (!cm_depth_view_detail::rowOf(cm_depth_view_detail::table(), m_security)) {
            MsgBoxOk("Please Select Security.");
            return;
        }
        BasketService* basket = InstalledBasketService();
        if (!basket) {
            MsgBoxOk("Basket Order is not available in this version.");
            return;
        }
        basket->reset();
        if (ClientInfo* client = ActiveClientEntry())
            basket->setClient(std::string(FixedTextView(client->client_code)));
        for (int n = 0; n < 5; ++n) {
            BasketLeg leg;
            leg.sec_index = m_security;
            if (side == 'B') {
                leg.side = 'B';
                leg.price = m_bid[static_cast<size_t>(n)];
            } else if (side == 'S') {
                leg.side = 'S';
                leg.price = m_ask[static_cast<size_t>(n)];
            }
            basket->setLeg(n, leg);
        }
        basket->refreshOrShow();
        if (m_list)
            m_list->update();
    } catch (...) {
        WriteLog(0, std::string("Exception in CMDepthView::") + name);
    }
}

void CMDepthView::OnContextMenu(int x, int y)
{
    try {
        SetAccessTime();
        ui::MenuSpec menu;
        const bool trading = TradingAllowed();
        menu.items = {{ID_MDEPTH_PLACEORDER, "&Place Order", false, trading, {}},
                      {ID_MDEPTH_BASKETORDER, "&Basket Order", false, trading, {}},
                      {ID_MDEPTH_BASKETORDER_BUY, "&Basket Order - Buy", false, trading, {}},
                      {ID_MDEPTH_BASKETORDER_SELL, "&Basket Order - Sell", false, trading, {}}};
        switch (ui::prompter().pickMenuCommand(menu, x, y)) {
        case ID_MDEPTH_PLACEORDER: Place_Order('B'); break;
        case ID_MDEPTH_BASKETORDER: OnBasketOrder(0); break;
        case ID_MDEPTH_BASKETORDER_BUY: OnBasketOrder('B'); break;
        case ID_MDEPTH_BASKETORDER_SELL: OnBasketOrder('S'); break;
        default: break;
        }
    } catch (...) {
        WriteLog(0, "Exception Error in Right Click of Net Position.");
    }
}

bool CMDepthView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (handleKey(k->key(), k->modifiers()))
            return true;
    } else if (event->type() == QEvent::ContextMenu && m_list && watched && m_list->isAncestorOf(
                   qobject_cast<QWidget*>(watched))) {
        const QPoint at = QCursor::pos();
        OnContextMenu(at.x(), at.y());
        return true;
    }
    return ui::Form::eventFilter(watched, event);
}

void CMDepthView::changeEvent(QEvent* event)
{
    ui::Form::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && !m_closed && m_slot >= 0) {
        // The ladder's rows follow the theme as its text does: light rows
        // under light text would not read.
        if (m_list)
            m_list->SetColourMode(IsDarkTheme() ? 8 : 0);
        OnUpdateGauge(1);
    }
}

bool CMDepthView::handleKey(int qtKey, Qt::KeyboardModifiers mods)
{
    try {
        if (mods.testFlag(Qt::ShiftModifier) && qtKey == Qt::Key_F3) {
            CurrentOrderFormLinks().openOrderBook(m_security);
            return true;
        }
        if (mods.testFlag(Qt::ShiftModifier) && qtKey == Qt::Key_F8) {
            CurrentOrderFormLinks().openTradeBook(m_security);
            return true;
        }
        if (qtKey == Qt::Key_Return || qtKey == Qt::Key_Enter) {
            SelectSecurityFromPickers();
            focusNextChild();
            return true;
        }
        if (qtKey == Qt::Key_Menu && m_list && TradingAllowed()) {
            const QPoint at = m_list->mapToGlobal(QPoint(20, 20));
            OnContextMenu(at.x(), at.y());
            return true;
        }
        char side = OrderKeySide(qtKey, mods);
        if (!side && !mods.testFlag(Qt::ShiftModifier) && qtKey == Qt::Key_Plus)
            side = 'B';
        if (side) {
            if (auto* combo = qobject_cast<QComboBox*>(control(kSymbol)))
                combo->hidePopup();
            m_orderKey = true;
            Place_Order(side);
            return true;
        }
    } catch (...) {
        WriteLog(0, "Exception in CMDepthView::PreTranslateMessage");
    }
    return false;
}

// --- pickers ---

std::string CMDepthView::pickerExchangeCode() const
{
    return cm_depth_view_detail::codeOfName(text(kExchange));
}

void CMDepthView::initPickers()
{
    const auto t = cm_depth_view_detail::table();
    const SecurityRecord* rec = cm_depth_view_detail::rowOf(t, m_security);
    m_pickersInit = true;
    if (rec) {
        m_symbol = std::string(rec->symbol.view());
        m_exchange = std::string(rec->market_exchange.view());
        m_type = std::string(rec->inst_type.view());
        m_expiry = std::string(rec->expiry.view());
        m_strike = formatText(rec->currency ? "%.4lf" : "%.2lf", rec->strike);
        m_optionType = std::string(rec->option_type.view());
    }
    FillMarketExchange();
    fillInstrumentTypes();
    setText(kSymbol, m_symbol);
    setComboItems(kOptionType, {"CE", "PE"});
    fillExpiries();
    fillStrikes();
    const bool option = IsOptionType(m_type);
    const auto opts = comboItems(kOptionType);
    const auto it = std::find(opts.begin(), opts.end(), m_optionType);
    setComboIndex(kOptionType, option && it != opts.end() ? int(it - opts.begin()) : option ? 0 : -1);
    enable(kOptionType, option);
    m_pickersInit = false;
}

void CMDepthView::FillMarketExchange()
{
    WriteLog(3, "Entry::FillMarketExchange");
    const auto t = cm_depth_view_detail::table();
    if (!t)
        return;
    if (m_symbol.empty()) {
        WriteLog(3, "debug 100");
        m_bucketFirst = 0;
        m_bucketLast = t->count();
    } else {
        const SecurityTable::Range r = t->bucket(static_cast<unsigned char>(m_symbol[0]));
        m_bucketFirst = r.first;
        m_bucketLast = r.last;
    }
    WriteLog(3, formatText("startindex=[%d],stopIndex[%d]", m_bucketFirst, m_bucketLast));
    if (comboItems(kExchange).empty()) {
        std::set<std::string> present;
        for (int i = m_bucketFirst; i < m_bucketLast; ++i)
            present.insert(std::string(t->row(i).market_exchange.view()));
        std::vector<std::string> names;
        for (size_t k = 0; k < std::size(cm_depth_view_detail::kExchangeCodes); ++k)
            if (present.count(cm_depth_view_detail::kExchangeCodes[k]))
                names.push_back(cm_depth_view_detail::kExchangeNames[k]);
        setComboItems(kExchange, names);
    }
    const std::string name = DepthExchangeName(m_exchange);
    const auto items = comboItems(kExchange);
    const auto it = std::find(items.begin(), items.end(), name);
    setComboIndex(kExchange, it != items.end() ? int(it - items.begin()) : (items.empty() ? -1 : 0));
}

void CMDepthView::fillInstrumentTypes()
{
    const auto t = cm_depth_view_detail::table();
    if (!t)
        return;
    std::vector<std::string> types;
    std::set<std::string> seen;
    for (int i = m_bucketFirst; i < m_bucketLast && i < t->count(); ++i) {
        std::string type(t->row(i).inst_type.view());
        if (!type.empty() && seen.insert(type).second)
            types.push_back(type);
    }
    const auto eq = std::find(types.begin(), types.end(), "EQ");
    if (eq != types.end())
        std::rotate(types.begin(), eq, eq + 1);
    setComboItems(kInstrument, types);
    const auto it = std::find(types.begin(), types.end(), m_type);
    setComboIndex(kInstrument, it != types.end() ? int(it - types.begin()) : (eq != types.end() ? 0 : -1));
    if (it == types.end())
        m_type = types.empty() ? std::string() : types.front();
}

void CMDepthView::fillSymbols(const std::string& typed)
{
    const auto t = cm_depth_view_detail::table();
    if (!t || typed.empty())
        return;
    const SecurityTable::Range r = t->bucket(static_cast<unsigned char>(typed[0]));
    const std::string code = pickerExchangeCode();
    std::vector<std::string> symbols;
    std::set<std::string> seen;
    for (int i = r.first; i < r.last; ++i) {
        const SecurityRecord& rec = t->row(i);
        const std::string sym(rec.symbol.view());
        if (sym.compare(0, typed.size(), typed) != 0 || (!code.empty() && rec.market_exchange.view() != code) ||
            (!m_type.empty() && rec.inst_type.view() != m_type))
            continue;
        if (seen.insert(sym).second)
            symbols.push_back(sym);
    }
    std::sort(symbols.begin(), symbols.end());
    if (auto* combo = qobject_cast<QComboBox*>(control(kSymbol))) {
        const QSignalBlocker block(combo);
        combo->clear();
        for (const std::string& s : symbols)
            combo->addItem(QString::fromStdString(s));
        combo->setEditText(QString::fromStdString(typed));
    }
}

void CMDepthView::fillExpiries()
{
    const auto t = cm_depth_view_detail::table();
    if (!t || !(IsFutureType(m_type) || IsOptionType(m_type))) {
        setComboItems(kExpiry, {});
        return;
    }
    const std::string code = m_exchange;
    std::vector<std::pair<int64_t, std::string>> dated;
    std::set<std::string> seen;
    for (int i = m_bucketFirst; i < m_bucketLast && i < t->count(); ++i) {
        const SecurityRecord& rec = t->row(i);
        if (rec.symbol.view() != m_symbol || rec.market_exchange.view() != code || rec.inst_type.view() != m_type)
            continue;
        const std::string e(rec.expiry.view());
        if (e.empty() || !seen.insert(e).second)
            continue;
        int64_t when = 0;
        try {
            when = ParseExpiryDate(e);
        } catch (...) {
        }
        dated.emplace_back(when, e);
    }
    std::sort(dated.begin(), dated.end());
    std::vector<std::string> items;
    for (const auto& d : dated)
        items.push_back(d.second);
    setComboItems(kExpiry, items);
    const auto it = std::find(items.begin(), items.end(), m_expiry);
    setComboIndex(kExpiry, it != items.end() ? int(it - items.begin()) : (items.empty() ? -1 : 0));
    if (it == items.end())
        m_expiry = items.empty() ? std::string() : items.front();
}

void CMDepthView::fillStrikes()
{
    const auto t = cm_depth_view_detail::table();
    if (!t || !IsOptionType(m_type)) {
        setComboItems(kStrike, {});
        return;
    }
    std::vector<std::pair<double, std::string>> strikes;
    std::set<double> seen;
    for (int i = m_bucketFirst; i < m_bucketLast && i < t->count(); ++i) {
        const SecurityRecord& rec = t->row(i);
        if (rec.symbol.view() != m_symbol || rec.market_exchange.view() != m_exchange ||
            rec.inst_type.view() != m_type || rec.expiry.view() != m_expiry || !(rec.strike > 0))
            continue;
        if (seen.insert(rec.strike).second)
            strikes.emplace_back(rec.strike, formatText(rec.currency ? "%.4lf" : "%.2lf", rec.strike));
    }
    std::sort(strikes.begin(), strikes.end());
    std::vector<std::string> items;
    for (const auto& s : strikes)
        items.push_back(s.second);
    setComboItems(kStrike, items);
    const auto it = std::find(items.begin(), items.end(), m_strike);
    setComboIndex(kStrike, it != items.end() ? int(it - items.begin()) : (items.empty() ? -1 : 0));
    if (it == items.end())
        m_strike = items.empty() ? std::string() : items.front();
}

void CMDepthView::onExchangeChanged()
{
    if (m_pickersInit)
        return;
    WriteLog(3, "OnKillFocusME " + text(kExchange));
    const std::string code = pickerExchangeCode();
    if (code == m_exchange)
        return;
    m_exchange = code;
    m_expiry.clear();
    m_strike.clear();
    m_optionType.clear();
    setComboItems(kExpiry, {});
    setComboItems(kStrike, {});
}

void CMDepthView::onInstrumentChanged()
{
    if (m_pickersInit)
        return;
    const std::string type = cm_depth_view_detail::trimmedCopy(text(kInstrument));
    if (type == m_type)
        return;
    m_type = type;
    m_expiry.clear();
    m_strike.clear();
    setComboItems(kExpiry, {});
    setComboItems(kStrike, {});
    const bool option = IsOptionType(m_type);
    enable(kOptionType, option);
    if (option) {
        setComboIndex(kOptionType, 0);
        m_optionType = "CE";
    }
}

void CMDepthView::onSymbolEdited()
{
    if (m_pickersInit)
        return;
    const std::string raw = text(kSymbol);
    const std::string clean = StripOrderKeys(raw);
    if (clean != raw) {
        m_orderKey = true;
        m_pickersInit = true;
        setText(kSymbol, clean);
        m_pickersInit = false;
        if (auto* combo = qobject_cast<QComboBox*>(control(kSymbol)))
            combo->hidePopup();
    }
    const std::string typed = cm_depth_view_detail::trimmedCopy(clean);
    m_pickersInit = true;
    if (typed.size() > 1 && !m_orderKey)
        fillSymbols(typed);
    m_pickersInit = false;
    m_orderKey = false;
    if (typed != m_symbol && !typed.empty()) {
        m_symbol = typed;
        m_pickersInit = true;
        fillExpiries();
        fillStrikes();
        m_pickersInit = false;
    }
}

void CMDepthView::SelectSecurityFromPickers()
{
    try {
        const auto t = cm_depth_view_detail::table();
        if (!t)
            return;
        m_symbol = cm_depth_view_detail::trimmedCopy(StripOrderKeys(text(kSymbol)));
        if (m_symbol.empty())
            return;
        const std::string key = PickerDisplayKey(m_symbol, m_type, m_expiry, m_strike, m_optionType);
        const std::string code = pickerExchangeCode();
        const SecurityTable::Range r = t->bucket(static_cast<unsigned char>(m_symbol[0]));
        for (int i = r.first; i < r.last; ++i) {
            const SecurityRecord& rec = t->row(i);
            if (rec.displayKeyIs(key) && rec.market_exchange.view() == code) {
                if (i != m_security)
                    ReturnMessage(i);
                return;
            }
        }
    } catch (...) {
        WriteLog(0, "Exception in SelectSecurityFromPickers");
    }
}

void CMDepthView::MyUpdate(int kind)
{
    (void)kind;
    OnUpdateGauge(1);
    update();
}

void CMDepthView::reject()
{
    OnCancel();
}

void CMDepthView::OnCancel()
{
    try {
        if (m_closed)
            return;
        m_closed = true;
        // A closed window is no longer one of the five, even before it is deleted.
        cm_depth_view_detail::g_views.erase(std::remove(cm_depth_view_detail::g_views.begin(), cm_depth_view_detail::g_views.end(), this),
                              cm_depth_view_detail::g_views.end());
        m_ticker->stopAll();
        m_feed->setClosing();
        DepthFeedLink::release(m_slot, m_security);
        m_slot = -1;
        WriteLog(3, "Exit CMDepthView::OnCancel");
        ui::Form::reject();
        close();
    } catch (...) {
        WriteLog(0, "Exception in CMDepthView::OnCancel");
    }
}

CMDepthView* OpenMarketDepth(int security, QWidget* parent)
{
    try {
        SetAccessTime();
        const DepthOpenDecision d = DecideDepthOpen(security);
        if (d.kind == DepthOpenDecision::BringForward) {
            for (CMDepthView* v : CMDepthView::openViews())
                if (v->slot() == d.slot) {
                    v->show();
                    v->raise();
                    v->activateWindow();
                    return v;
                }
            return nullptr;
        }
        if (d.kind == DepthOpenDecision::Refuse) {
            MsgBoxOk("You are allowed to open 5 Market Depth");
            return nullptr;
        }
        auto* view = new CMDepthView(parent, security);
        ui::modalHost().showModeless(*view);
        view->raise();
        view->activateWindow();
        return view;
    } catch (...) {
        WriteLog(0, "Exception in OpenMarketDepth");
        return nullptr;
    }
}
