// The order form's trailing stop-loss panel: expanding and collapsing it,
// the trailing trigger that follows the spread, the panel filled from a
// record of the trailing book, and the request 121, 122 or 123 sent on the
// form's worker while the form is busy; the reply is shown on the UI thread.
#include "orders/CDlgOrderFormExp.h"

#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "orders/ClientOrderStore.h"
#include "orders/OrderFormIds.h"
#include "orders/OrderFormRules.h"
#include "orders/OrderMessages.h"
#include "orders/OrderReply.h"
#include "orders/OrderRequestThread.h"
#include "orders/OrderValidation.h"
#include "orders/TsloOrder.h"
#include "orders/TsloOrderBook.h"
#include "server/RequestServer.h"
#include "server/ServerRequests.h"
#include "app/base/ConfigFile.h"
#include "frame/OrderFormLinks.h"
#include "orders/WebLinkPages.h"

#include "pf/clock.h"
#include "ui/ui_thread.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QWidget>

#include <algorithm>
#include <cstdlib>

namespace dlg_order_form_tslo_detail {
namespace {

using namespace orderform;

constexpr int kPanelIds[] = {kTrailLabel, kTrailHelp,   kSpreadLabel,  kSpread,      kTslTriggerLabel, kTslTrigger,
                             kTrailAtLabel, kMarketRadio, kWhenRadio,   kWhenPrice,   kBookProfit,      kBpPriceLabel,
                             kBpPrice,    kBpDisclosedLabel, kBpDisclosed, kAutoSquareOff};

double toDouble(const std::string& s) { return std::strtod(s.c_str(), nullptr); }

std::string trimmed(const std::string& s)
{
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos)
        return {};
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

bool isOneOf(std::string_view s, std::initializer_list<std::string_view> list)
{
    return std::find(list.begin(), list.end(), s) != list.end();
}

// Runs a handler when a control is left by Tab (a click elsewhere is the
// user's own choice of where to go).
class TabOutFilter final : public QObject {
public:
    TabOutFilter(QObject* parent, std::function<void()> handler) : QObject(parent), m_handler(std::move(handler)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusOut && m_handler) {
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)
                QMetaObject::invokeMethod(this, [h = m_handler] { h(); }, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_handler;
};

std::string helpText(char trailSide, bool existing)
{
    const char* kind = existing ? "stoploss order" : "trailing stoploss order";
    const std::string first =
        trailSide == 'B'
            ? formatText("You can limit the loss on the SELL position by placing a BUY %s.", kind)
            : formatText("You can limit the loss on the BUY position by placing a SELL %s.", kind);
    return first + "\n\nThe spread is the distance in rupees the trigger price keeps from the market price; the "
                   "trigger follows the market only in your favour.\n\nWhen the market reaches the trigger price "
                   "the order goes to the exchange at market rate.";
}

} // namespace
} // namespace dlg_order_form_tslo_detail

using namespace orderform;

void CDlgOrderFormExp::wireTsloPanel()
{
    onClick(kTrailing, [this] { OnAfterExpand(); });
    onClick(kBookProfit, [this] { onBookProfitClicked(); });
    onClick(kMarketRadio, [this] {
        enable(kWhenPrice, false);
        setText(kWhenPrice, "0");
        UpdateTrailingTrigger();
    });
    onClick(kWhenRadio, [this] {
        enable(kWhenPrice, true);
        UpdateTrailingTrigger();
    });
    onClick(kTrailHelp, [this] { setTrailLabels(); });
    onChanged(kSpread, [this] {
        WriteLog(0, "Spread " + text(kSpread));
        UpdateTrailingTrigger();
    });
    onChanged(kWhenPrice, [this] { UpdateTrailingTrigger(); });
    onChanged(kPrice, [this] {
        if (checked(kTrailing))
            UpdateTrailingTrigger();
    });
    if (QWidget* account = control(kAccount))
        account->installEventFilter(new dlg_order_form_tslo_detail::TabOutFilter(this, [this] { OnKillfocusAccount(); }));
    if (QWidget* exchange = control(kExchange))
        exchange->installEventFilter(new dlg_order_form_tslo_detail::TabOutFilter(this, [this] { OnCbnKillfocusCmbExch(); }));
    onClick(kCharges, [this] { OnBnClickedBtnEstmtedCharges(); });
    if (auto* marks = qobject_cast<QComboBox*>(control(kOrderMark)))
        connect(marks, &QComboBox::activated, this, [this] { OnCbnSelchangeOrderMark(); });
    if (QWidget* price = control(kPrice))
        price->installEventFilter(new dlg_order_form_tslo_detail::TabOutFilter(this, [this] { OnKillfocusPrice(); }));
    onClick(kNseRadio, [this] { OnRadioExchange(true); });
    onClick(kBseRadio, [this] { OnRadioExchange(false); });
    onClick(kSor, [this] { applySorRules(); });
    onClick(kAmo, [this] { applySorRules(); });
    onChanged(kOrderType, [this] { applySorRules(); });
    if (QWidget* box = control(kAutoSquareOff))
        box->setToolTip("Auto Square off will be triggered only if first leg of the order is completely executed.");
    if (QWidget* terms = control(kTermsLink))
        terms->setToolTip(QStringLiteral("View Terms and Conditions"));
    onClick(kTermsLink, [this] { OpenWebLinkPage("Terms and Conditions", dlg_order_form_tslo_detail::trimmed(text(kAccount))); });
    showTsloPanel(false);
}

void CDlgOrderFormExp::showTsloPanel(bool on)
{
    for (int id : dlg_order_form_tslo_detail::kPanelIds)
        showControl(id, on);
    // A research call's own controls; fillMorrowpick shows them.
    showControl(kCallLotLabel, false);
    showControl(kTermsLink, false);
    // The form grows to hold the panel and shrinks back without it.
    int bottom = 0;
    for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (!w->isHidden())
            bottom = std::max(bottom, w->geometry().bottom());
    if (bottom > 0)
        resize(width(), bottom + 8);
}

void CDlgOrderFormExp::setTrailLabels()
{
    const bool sell = m_cTrailSide != 'B';
    if (m_nTslKind == 5) {
        setText(kTrailLabel, sell ? "Morrowpick (Sell)" : "Morrowpick (Buy)");
        setText(kBookProfit, sell ? "Book Profit (Sell)" : "Book Profit (Buy)");
        if (QWidget* help = control(kTrailHelp))
            help->setToolTip(QStringLiteral("Morrowpick order."));
        return;
    }
    setText(kTrailLabel, sell ? "Trailing Stoploss (Sell)" : "Trailing Stoploss (Buy)");
    setText(kBookProfit, sell ? "Book Profit (Sell)" : "Book Profit (Buy)");
    if (QWidget* help = control(kTrailHelp))
        help->setToolTip(QString::fromStdString(dlg_order_form_tslo_detail::helpText(m_cTrailSide, m_nMode == 2 || m_nMode == 3)));
}

void CDlgOrderFormExp::onTrailSideChanged()
{
    if (m_nReqMode == 1 || m_nReqMode == 15) {
        m_cTrailSide = TsloTrailSideOnExpand(m_cSide, 1);
        setTrailLabels();
        UpdateTrailingTrigger();
    }
}

void CDlgOrderFormExp::onBookProfitClicked()
{
    const bool on = checked(kBookProfit);
    const OrderSecurity sec = security();
    enable(kBpPrice, on);
    enable(kBpDisclosed, on && !(sec.derivative == 1 && sec.exchange == "NN"));
    if (!on) {
        setText(kBpPrice, "");
        setText(kBpDisclosed, "");
    }
    m_nTslKind = TsloKindWithBookProfit(m_nTslKind, on);
}

void CDlgOrderFormExp::OnAfterExpand()
{
    try {
        const bool squareOff = m_nReqMode == 7 || m_nReqMode == 8 || m_nReqMode == 14;
        if (!checked(kTrailing)) {
            m_nTslKind = 0;
            showTsloPanel(false);
            if (m_nReqMode == 8)
                setCaptions("Place Normal Order Form", "Place Normal Order");
            else if (m_nReqMode == 7 || m_nReqMode == 14)
                setCaptions("Square-Off Order Form", "Square-Off Order");
            return;
        }
        if (m_nMode == 1) {
            const std::string mark = comboIndex(kOrderMark) >= 0 ? text(kOrderMark) : std::string();
            const std::string type = comboIndex(kOrderType) >= 0 ? text(kOrderType) : std::string();
            const std::string& bad = mark != "Normal" ? mark : type;
            if (mark != "Normal" || type != "GFD") {
                MsgBoxOk(formatText("Cannot place %s as TSLO Order.", bad.c_str()));
                setChecked(kTrailing, false);
                showTsloPanel(false);
                return;
            }
        }
        m_nTslKind = TsloKindOnExpand(m_nTslKind < 0 ? 0 : m_nTslKind, m_nReqMode);
        m_cTrailSide = TsloTrailSideOnExpand(m_cSide, m_nReqMode == 15 ? 1 : m_nReqMode);
        if (squareOff) {
            setText(kWhenPrice, "0");
            if (m_nReqMode == 8)
                setCaptions("Place TSLO Order Form", "Place TSLO Order");
            else
                setCaptions("Square-Off TSLO Order Form", "Square-Off TSLO Order");
        }
        showTsloPanel(true);
        for (int id : {kSpread, kMarketRadio, kWhenRadio, kBookProfit, kAutoSquareOff})
            enable(id, true);
        if (!checked(kMarketRadio) && !checked(kWhenRadio))
            setChecked(kMarketRadio, true);
        enable(kWhenPrice, checked(kWhenRadio));
        setChecked(kBookProfit, m_nTslKind == 2 || m_nTslKind == 4);
        enable(kBpPrice, checked(kBookProfit));
        enable(kBpDisclosed, checked(kBookProfit));
        setTrailLabels();
        UpdateTrailingTrigger();
    } catch (...) {
        WriteLog(0, "Exception in OnAfterExpand at 0");
    }
}

void CDlgOrderFormExp::UpdateTrailingTrigger()
{
    // A research call's trigger is the call's own.
    if (!checked(kTrailing) || m_nTslKind == 5)
        return;
    const OrderSecurity sec = security();
    const double last = sec.ltp / 100.0;
    const double spread = dlg_order_form_tslo_detail::toDouble(text(kSpread));
    const double base = TsloTriggerBase(m_bTsloLegTrails, checked(kWhenRadio), dlg_order_form_tslo_detail::toDouble(text(kWhenPrice)),
                                        m_nTslKind, dlg_order_form_tslo_detail::toDouble(text(kPrice)), last);
    const double trigger = TsloTrailingTrigger(m_cTrailSide, spread, base, last);
    setText(kTslTrigger, trigger < 0 ? std::string() : formatText(sec.currency ? "%.4lf" : "%.2lf", trigger));
}

bool CDlgOrderFormExp::stepTsloSpin(int id, int direction)
{
    if ((id != kSpread && id != kBpPrice) || !isEnabled(id))
        return false;
    const OrderSecurity sec = security();
    // The spread steps by the tick, and by a whole rupee once the key has
    // been held for 3 s; both boxes stop at the Order Value Limit.
    double step = sec.tickRupees();
    if (id == kSpread && m_spreadHold.press(direction, pf::clock().steadyMillis()))
        step = 1.0;
    const double v = dlg_order_form_tslo_detail::toDouble(text(id));
    const double next = PriceSpinStep(v, direction, step, OrderValueLimit());
    if (next == v && direction > 0)
        return true;
    setText(id, formatText(sec.currency ? "%.4lf" : "%.2lf", next));
    return true;
}

int CDlgOrderFormExp::SetTsloOrderData(int action, int index, char side)
{
    int step = 0;
    try {
        WriteLog(0, "Entry : CDlgOrderFormExp::SetTsloOrderData");
        setChecked(kTrailing, true);
        showTsloPanel(true);
        ClientInfo* client = ActiveClientEntry();
        if (!client) {
            MsgBoxStyle("Error : Unable to get active client detail", MsgIconError);
            return -1;
        }
        step = 1;
        if (action == 1 && m_nTslKind == 5) {
            fillMorrowpick(side);
            WriteLog(0, "Exit : CDlgOrderFormExp::SetTsloOrderData");
            return 0;
        }
        for (int id : {kSpreadLabel, kSpread, kTrailAtLabel, kMarketRadio, kWhenRadio, kWhenPrice})
            showControl(id, true);
        if (action == 1) {
            m_cTrailSide = TsloTrailSideOnExpand(side, m_nReqMode == 15 ? 1 : m_nReqMode);
            if (!checked(kMarketRadio) && !checked(kWhenRadio))
                setChecked(kMarketRadio, true);
            enable(kWhenPrice, checked(kWhenRadio));
            setChecked(kBookProfit, m_nTslKind == 2 || m_nTslKind == 4);
            enable(kBpPrice, checked(kBookProfit));
            enable(kBpDisclosed, checked(kBookProfit));
            setTrailLabels();
            UpdateTrailingTrigger();
            WriteLog(0, "Exit : CDlgOrderFormExp::SetTsloOrderData");
            return 0;
        }
        step = 2;
        // The book of the client whose order the user chose (the form's
        // client), which may not be the active client's.
        const std::string bookClient = m_strClient.empty() ? std::string(FixedTextView(client->client_code)) : m_strClient;
        const auto book = TsloBookOf(bookClient);
        const int at = book ? TsloFormRecord(*book, index, action) : -1;
        if (at < 0) {
            MsgBoxOk("Please select a valid TSLO order");
            return -1;
        }
        const TsloOrderInfo& r = (*book)[at];
        const TsloOrderInfo* leg2 = nullptr;
        if (static_cast<size_t>(at) + 1 < book->size() && (*book)[at + 1].leg == 2
            && (*book)[at + 1].special_order_no == r.special_order_no)
            leg2 = &(*book)[at + 1];
        const TsloOrderInfo& trailing = leg2 ? *leg2 : r;
        step = 3;
        const int secIndex = OrderSearchToken(r.token, std::string(FixedTextView(r.exchange)));
        setSecurityIndex(secIndex);
        const OrderSecurity sec = security();
        if (!sec.valid()) {
            MsgBoxOk("Security of the TSLO order is not present");
            return -1;
        }
        writeSecurityText(sec.displayKey);
        const std::string exchangeName = TsloExchangeName(FixedTextView(r.exchange));
        const std::vector<std::string> names = comboItems(kExchange);
        const auto it = std::find(names.begin(), names.end(), exchangeName);
        setComboIndex(kExchange, it == names.end() ? -1 : static_cast<int>(it - names.begin()));
        m_cSide = r.side() == 'S' ? 'S' : 'B';
        setComboIndex(kAction, m_cSide == 'B' ? 0 : 1);
        m_cTrailSide = trailing.side() == 'B' ? 'B' : 'S';
        m_nTslKind = r.kind;
        m_nTsloOrderNo = r.special_order_no;
        m_nTsloFirstLegTraded = r.traded_qty;
        m_bTsloLegTrails = std::string_view(trailing.status) == "TRL";
        const char* fmt = sec.currency ? "%.4lf" : "%.2lf";
        auto shown = [fmt](double v) { return v < 0 ? std::string("0") : formatText(fmt, v); };
        step = 4;
        // What is left of the entry leg while it can still be modified; once
        // it has traded, only the trailing leg is modified, for the order's
        // whole quantity.
        const bool entryOpen = dlg_order_form_tslo_detail::isOneOf(r.status, {"OPN", "OPF", "ACTIVE"});
        const int qty = action == 2 && entryOpen ? r.order_qty - r.traded_qty : r.order_qty;
        if (sec.inLots() && !sec.currency && !sec.commodity && sec.marketLot > 0) {
            setText(kLots, std::to_string(qty / sec.marketLot));
            setText(kQuantity, std::to_string(qty));
        } else if (sec.inLots()) {
            setText(kLots, std::to_string(qty));
            setText(kQuantity, std::to_string(qty));
        } else {
            setText(kQuantity, std::to_string(qty));
        }
        setText(kPrice, shown(r.price));
        setText(kTrigger, "0");
        setText(kDisclosed, r.disclosed < 0 ? "0" : std::to_string(r.disclosed));
        setText(kSpread, trailing.spread < 0 ? std::string() : formatText(fmt, trailing.spread));
        if (trailing.trailing_when <= 0) {
            setChecked(kMarketRadio, true);
            setChecked(kWhenRadio, false);
            setText(kWhenPrice, "0");
        } else {
            setChecked(kWhenRadio, true);
            setChecked(kMarketRadio, false);
            setText(kWhenPrice, shown(trailing.trailing_when));
        }
        setText(kTslTrigger, shown(trailing.trigger));
        const bool bookProfit = r.kind == 2 || r.kind == 4;
        setChecked(kBookProfit, bookProfit);
        setText(kBpPrice, bookProfit ? shown(trailing.price) : std::string());
        setText(kBpDisclosed, bookProfit && trailing.disclosed >= 0 ? std::to_string(trailing.disclosed) : std::string());
        setChecked(kAutoSquareOff, r.auto_square_off == 1);
        const std::vector<std::string> types = comboItems(kOrderType);
        const auto gfd = std::find(types.begin(), types.end(), "GFD");
        setComboIndex(kOrderType, gfd == types.end() ? -1 : static_cast<int>(gfd - types.begin()));
        fillOrderMarks();
        const std::vector<std::string> marks = comboItems(kOrderMark);
        const auto normal = std::find(marks.begin(), marks.end(), "Normal");
        setComboIndex(kOrderMark, normal == marks.end() ? -1 : static_cast<int>(normal - marks.begin()));
        step = 5;
        for (int id : {kAccount, kSecurity, kSearch, kExchange, kAction, kLots, kQuantity, kPrice, kTrigger, kDisclosed,
                       kOrderType, kOrderMark, kAmo, kSor, kTrailing, kSpread, kMarketRadio, kWhenRadio,
                       kWhenPrice, kBookProfit, kBpPrice, kBpDisclosed, kAutoSquareOff})
            enable(id, false);
        if (action == 3) {
            setCaptions("Cancel TSLO Order", "Cancel TSLO Order");
        } else {
            setCaptions("Modify TSLO Order", "Modify TSLO Order");
            if (dlg_order_form_tslo_detail::isOneOf(r.status, {"OPN", "OPF", "ACTIVE"})) {
                for (int id : {kLots, kQuantity, kPrice, kDisclosed})
                    enable(id, true);
                if (r.kind == 3 || r.kind == 4)
                    enable(kOrderMark, true);
            }
            if (dlg_order_form_tslo_detail::isOneOf(trailing.status, {"TRL", "WTRL", "ACTIVE"})) {
                for (int id : {kSpread, kMarketRadio, kWhenRadio})
                    enable(id, true);
                enable(kWhenPrice, checked(kWhenRadio));
                enable(kBpPrice, bookProfit);
            }
        }
        setTrailLabels();
        focus(action == 3 ? kOk : kSpread, action != 3);
        WriteLog(0, "Exit : CDlgOrderFormExp::SetTsloOrderData");
        return 0;
    } catch (...) {
        WriteLog(0, formatText("Exception in CDlgOrderFormExp::SetTsloOrderData on %ld", static_cast<long>(step)));
        return -1;
    }
}

bool CDlgOrderFormExp::confirmTslo(const OrderSecurity& sec, const TsloPanelOutcome& panel)
{
    const bool four = sec.currency != 0;
    const char* f = four ? "%.4lf" : "%.2lf";
    const COrderData& d = m_OrderData;
    const auto rupees = [](double paise) { return paise > 0 ? paise / 100 : 0.0; };
    // What a box shows where the checks left no value (a cancel's boxes are
    // off): the text of the box, read as a number.
    const auto boxValue = [this](int id) {
        const double v = std::strtod(dlg_order_form_tslo_detail::trimmed(text(id)).c_str(), nullptr);
        return v > 0 ? v : 0.0;
    };
    const double spread = panel.spread >= 0 ? panel.spread : boxValue(kSpread);
    const double stopTrigger = panel.kind == 5 && panel.trigger > 0 ? panel.trigger / 100 : boxValue(kTslTrigger);
    std::string trailingAt = "MKT";
    if (panel.trailingWhen > 0)
        trailingAt = formatText(f, panel.trailingWhen / 100);
    else if (panel.trailingWhen < 0 && !checked(kMarketRadio) && boxValue(kWhenPrice) > 0)
        trailingAt = formatText(f, boxValue(kWhenPrice));
    const bool bookProfit = checked(kBookProfit) || panel.kind == 5;
    const double bpPrice = panel.bpPrice > 0 ? panel.bpPrice / 100 : bookProfit ? boxValue(kBpPrice) : 0.0;
    const long bpDisclosed = panel.bpDisclosed > 0 ? panel.bpDisclosed
        : bookProfit                               ? static_cast<long>(boxValue(kBpDisclosed))
                                                   : 0;
    const char* action = m_nMode == 1 ? "Placing New" : m_nMode == 2 ? "Modifying" : m_nMode == 3 ? "Cancelling" : "";
    const std::string client(FixedTextView(d.client_code));
    const std::string exchange(ExchangeNameOfCode(FixedTextView(d.exchange)));
    const char* side = d.side == 'B' ? "Buy" : "Sell";
    const std::string orderType = text(kOrderType);
    const std::string mark = text(kOrderMark);
    const auto n = [&](double v) { return formatText(f, v); };
    std::string body;
    if (panel.kind == 5) {
        body = formatTextCapped(
            2047,
            "%s Trailing Stoploss Order for\n\nClient Code\t\t\t:\t%s\nSecurity\t\t\t\t:\t%s\nExchange\t\t\t:\t%s\n"
            "Buy / Sell\t\t\t:\t%s\nQuantity  \t\t\t:\t%ld\nPrice\t\t\t\t:\t%s\nOrder Type\t\t\t:\t%s\n"
            "Order Mark\t\t\t:\tTSLO %s\nStoploss Trigger Price\t\t:\t%s\nBook Profit Price\t\t\t:\t%s\n",
            action, client.c_str(), sec.displayKey.c_str(), exchange.c_str(), side, static_cast<long>(d.quantity),
            n(rupees(d.price)).c_str(), orderType.c_str(), mark.c_str(), n(stopTrigger).c_str(), n(bpPrice).c_str());
    } else {
        body = formatTextCapped(
            2047,
            "%s Trailing Stoploss Order for\n\nClient Code\t\t\t:\t%s\nSecurity\t\t\t\t:\t%s\nExchange\t\t\t:\t%s\n"
            "Buy / Sell\t\t\t:\t%s\nQuantity  \t\t\t:\t%ld\nPrice\t\t\t\t:\t%s\nTrigger Price\t\t\t:\t%s\n"
            "Disclose Qty\t\t\t:\t%ld\nOrder Type\t\t\t:\t%s\nOrder Mark\t\t\t:\tTSLO %s\n"
            "Trailing Stoploss Spread\t\t:\t%s\nStoploss Trigger Price\t\t:\t%s\nTrailing At\t\t\t:\t%s\n"
            "Book Profit Disc. Qty\t\t:\t%ld\nBook Profit Price\t\t\t:\t%s\n",
            action, client.c_str(), sec.displayKey.c_str(), exchange.c_str(), side, static_cast<long>(d.quantity),
            n(rupees(d.price)).c_str(), n(rupees(d.trigger)).c_str(), static_cast<long>(std::max(0, d.disclosed)),
            orderType.c_str(), mark.c_str(), n(spread).c_str(), n(stopTrigger).c_str(), trailingAt.c_str(), bpDisclosed,
            n(bpPrice).c_str());
    }
    if (m_nMode == 1 && sec.series == "BE")
        body += "\n\n\nPlease note that the said stock is in trade-for-trade group \nand consequently, no netting is "
                "permitted.";
    return MyMessageBox(ConfirmationBoxText(body), "Do You want to place order", MsgYesNo | MsgIconQuestion) == 6;
}

int CDlgOrderFormExp::sendTsloOrder(const OrderSecurity& sec, bool confirm)
{
    WriteLog(0, "Entry : COrderData::PlaceTsloOrder");
    TsloPanelInput p;
    p.mode = m_nMode;
    p.kind = m_nTslKind < 0 ? 0 : m_nTslKind;
    p.spreadEnabled = isEnabled(kSpread) && isVisible(kSpread);
    p.spreadText = dlg_order_form_tslo_detail::trimmed(text(kSpread));
    p.trailAtEnabled = isEnabled(kMarketRadio) && isVisible(kMarketRadio);
    p.market = checked(kMarketRadio);
    p.whenText = dlg_order_form_tslo_detail::trimmed(text(kWhenPrice));
    p.bookProfit = checked(kBookProfit);
    p.bpDisclosedText = dlg_order_form_tslo_detail::trimmed(text(kBpDisclosed));
    p.bpPriceText = dlg_order_form_tslo_detail::trimmed(text(kBpPrice));
    p.triggerText = dlg_order_form_tslo_detail::trimmed(text(kTslTrigger));
    p.ltpPaise = sec.ltp;
    const TsloPanelOutcome c = CheckTsloPanel(p);
    if (!c.message.empty()) {
        if (c.infoBox)
            MsgBoxInfo(c.message);
        else
            MsgBoxOk(c.message);
        focus(c.focusId, true);
        return -1;
    }
    m_nTslKind = c.kind;
    COrderData& d = m_OrderData;
    d.trailing_type = static_cast<short>(c.kind);
    d.trailing_side = m_cTrailSide;
    d.spread = c.spread;
    d.trailing_when = c.trailingWhen;
    d.bp_price = c.bpPrice;
    d.bp_disclosed = c.bpDisclosed;
    if (c.kind == 5)
        d.trigger = c.trigger;
    if ((m_nReqMode == 7 || m_nReqMode == 8 || m_nReqMode == 14) && c.kind <= 4) {
        d.price = -1;
        d.trigger = -1;
        d.disclosed = -1;
    }
    d.auto_square_off = static_cast<short>(isVisible(kAutoSquareOff) ? (checked(kAutoSquareOff) ? 1 : 0) : 2);
    d.trailing_order_no = m_nTsloOrderNo;
    d.first_leg_traded = m_nTsloFirstLegTraded;
    TsloRequestContext rc;
    rc.mode = m_nMode;
    rc.userType = pv_user_info.user_type;
    rc.userId = FixedTextView(pv_user_info.user_id);
    rc.infoText = GetInfoText();
    const TsloRequest request = BuildTsloRequest(d, sec, rc);
    if (request.code == 0)
        return -1;
    if (confirm && !confirmTslo(sec, c))
        return -1;
    // The line names what is sent: a modify or a cancel is no new order.
    d.description = m_nMode == 2 ? std::string("Modifying TSLO Order")
        : m_nMode == 3           ? std::string("Cancelling TSLO Order")
        : d.description.empty()  ? std::string("Placing TSLO Order")
                                 : d.description;
    OrderUserMessage(1, m_cSide == 'B' ? '+' : '-', d.description);
    WaitForRequest();
    m_nSentMode = m_nMode;
    QPointer<CDlgOrderFormExp> self(this);
    const int encrypt = pv_user_info.encrypt;
    auto flight = std::make_shared<OrderFlight>();
    startWorker(flight, d.description, [self, request, encrypt, flight] {
        int status = 0;
        std::string reply;
        long length = 0;
        try {
            status = RequestServer(encrypt, request.code, request.text, reply, length, &flight->cancel);
        } catch (...) {
            WriteLog(0, "Exception Occurred in COrderData::PlaceTsloOrder at line no 3");
            status = -1;
        }
        ui::UiThread::post([self, request, status, flight, reply = length < 1 ? std::string() : reply] {
            // A form going away names the order itself: no box now.
            if (!self || flight->closing.load())
                return;
            flight->reported.store(true);
            auto resetQuantities = [&self] {
                self->setText(kQuantity, "0");
                self->setText(kLots, "0");
            };
            if (status != 200) {
                // The request may have reached the broker: say so rather than
                // invite placing it again.
                const std::string text =
                    RequestWasSent(status) ? OrderStateUnknownText(status)
                    : status == 407        ? std::string("Proxy Authentication Failed")
                                           : formatText("Internet Connectivity Error [%d]. Pls contact System "
                                                        "Administrator",
                                                        status);
                MsgBoxOk(text);
            } else if (reply.empty()) {
                MsgBoxOk("No response received from server");
            } else {
                const TsloReply r = ParseTsloReply(request.code, reply);
                switch (r.kind) {
                case TsloReply::Kind::Incomplete:
                    // Whether the order went out is unknown: the user hears of it.
                    WriteLog(0, "Incomplete TSLO response [" + reply + "]");
                    OrderUserMessage(1, ' ', "Invalid response received from server");
                    resetQuantities();
                    break;
                case TsloReply::Kind::Invalid: MsgBoxOk(r.message); break;
                case TsloReply::Kind::Refused:
                    if (self)
                        self->m_OrderData.trailing_result_id = 0;
                    OrderUserMessage(1, ' ', r.message);
                    WriteLog(0, "TSLO order refused : " + r.message);
                    MyMessageBox(r.message, "Error", MsgOk | MsgIconWarning);
                    if (self)
                        resetQuantities();
                    break;
                case TsloReply::Kind::Accepted:
                    if (r.idMissing)
                        WriteLog(0, "TSLO reply without a trailing id [" + reply + "]");
                    self->m_OrderData.trailing_result_id = r.trailingId;
                    OrderUserMessage(1, ' ', r.message);
                    MyMessageBox(r.message, "Success", MsgOk | MsgIconInformation);
                    if (self)
                        resetQuantities();
                    break;
                }
            }
            if (self)
                self->SetFormReady(true);
            WriteLog(0, "Exit : COrderData::PlaceTsloOrder");
        });
    });
    return 0;
}

void CDlgOrderFormExp::applySorRules()
{
    static constexpr int kRouted[] = {kPrice, kTrigger, kDisclosed, kExchange, kNseRadio, kBseRadio,
                                      kNsePrice, kBsePrice, kTrailing};
    const OrderSecurity sec = security();
    if (!checked(kSor)) {
        for (int id : kRouted)
            enable(id, true);
        enable(kDisclosed, dlg_order_form_tslo_detail::isOneOf(sec.series, {"EQ", "BE", "FC", "OC"}));
        // Without AMO and SOR the trailing panel is offered for a security
        // not traded in lots.
        enable(kTrailing, !checked(kAmo) && !sec.commodity);
        return;
    }
    bool info = true;
    const std::string refusal =
        SorRefusal(comboIndex(kOrderType) >= 0 ? text(kOrderType) : std::string(),
                   comboIndex(kOrderMark) >= 0 ? text(kOrderMark) : std::string(), checked(kAmo), &info);
    if (!refusal.empty()) {
        setChecked(kSor, false);
        if (info)
            MsgBoxInfo(refusal);
        else
            MsgBoxOk(refusal);
        SetFormReady(true);
        applySorRules();
        return;
    }
    for (int id : {kPrice, kTrigger, kDisclosed})
        setText(id, "0");
    for (int id : kRouted)
        enable(id, false);
}

void CDlgOrderFormExp::OnBnClickedBtnEstmtedCharges()
{
    WriteLog(0, "OnBnClickedBtnEstmtedCharges");
    OpenWebLinkPage("Estimated Charges", dlg_order_form_tslo_detail::trimmed(text(kAccount)));
}

void CDlgOrderFormExp::OnRadioExchange(bool nse)
{
    const std::string code = nse ? "NN" : "BN";
    const OrderSecurity sec = security();
    // The security itself on that exchange, else its twin: the companion the
    // form was opened with, or the listing the form switched away from.
    OrderSecurity twin = OrderSecurityAt(m_nCompanion);
    if (sec.valid() && twin.exchange != code)
        twin = OrderSecurityAt(OrderFindOnExchange(sec.symbol, code, "", true));
    const OrderSecurity& on = sec.valid() && sec.exchange == code ? sec : twin;
    if (!on.valid() || on.exchange != code)
        return;
    setComboIndex(kExchange, nse ? 0 : 1);
    if (m_nReqMode != 8)
        OnCbnSelchangeCmbExch();
    const double paise = m_cSide == 'B' ? on.ask : on.bid;
    setText(kPrice, formatText("%.2lf", paise / 100));
}

int CDlgOrderFormExp::chosenMarkId() const
{
    if (comboIndex(kOrderMark) < 0)
        return -1;
    const std::string name = text(kOrderMark);
    const int n = std::min<int>(pv_user_info.segment_count, static_cast<int>(pv_user_info.segments.size()));
    for (int i = 0; i < n; ++i) {
        const ExchangeSegment& m = pv_user_info.segments[static_cast<size_t>(i)];
        if (FixedTextView(m.name) == name)
            return m.id;
    }
    return -1;
}

void CDlgOrderFormExp::OnCbnSelchangeOrderMark()
{
    const int id = chosenMarkId();
    const OrderSecurity sec = security();
    // A stop loss (5, 8) of a new order protects the opposite side; a
    // square-off or a modify names no side, nor does a currency stop loss.
    std::string label = "Trigger Price";
    if (id == 5 || id == 8) {
        if (m_nMode == 2 || m_nSquareOff != 0 || (id == 5 && sec.currency))
            label = "Stoploss Trigger";
        else
            label = m_cSide == 'B' ? "Stoploss Trig (Sell)" : "Stoploss Trig (Buy)";
    }
    setText(kTriggerLabel, label);
    const std::string other = sec.exchange == "NN" ? "BN" : sec.exchange == "BN" ? "NN" : std::string();
    const bool cash = sec.valid() && !sec.inLots() && !sec.derivative && !sec.currency;
    const OrderSecurity twin = cash && !other.empty() ? OrderSecurityAt(OrderTwinOnExchange(sec, other)) : OrderSecurity{};
    const bool offered = id == 0 && twin.valid();
    for (int c : {kNseRadio, kBseRadio, kNsePrice, kBsePrice, kHint})
        showControl(c, offered);
    if (offered) {
        const bool ownNse = sec.exchange == "NN";
        setText(ownNse ? kNsePrice : kBsePrice, formatText("%.2lf", sec.ltp / 100));
        setText(ownNse ? kBsePrice : kNsePrice, formatText("%.2lf", twin.ltp / 100));
        setChecked(ownNse ? kNseRadio : kBseRadio, true);
    }
}

void CDlgOrderFormExp::OnKillfocusPrice()
{
    if (!checked(kTrailing) || !isVisible(kSpread) || !isEnabled(kSpread))
        return;
    if (dlg_order_form_tslo_detail::toDouble(text(kPrice)) > 0 && dlg_order_form_tslo_detail::toDouble(text(kSpread)) > 0)
        UpdateTrailingTrigger();
    else
        focus(kSpread, true);
}

void CDlgOrderFormExp::fillMorrowpick(char side)
{
    // The research call fixes the order: its side, trigger and target; the
    // trailing fields do not apply.
    const OrderSecurity sec = security();
    m_cSide = side == 'S' ? 'S' : 'B';
    m_cTrailSide = m_cSide == 'B' ? 'S' : 'B';
    setComboIndex(kAction, m_cSide == 'B' ? 0 : 1);
    for (int id : {kSpreadLabel, kSpread, kTrailAtLabel, kMarketRadio, kWhenRadio, kWhenPrice}) {
        showControl(id, false);
        enable(id, false);
    }
    auto field = [this](size_t i) { return i < m_list.size() ? dlg_order_form_tslo_detail::trimmed(m_list[i]) : std::string(); };
    const char* fmt = sec.currency ? "%.4lf" : "%.2lf";
    setText(kTslTrigger, formatText(fmt, dlg_order_form_tslo_detail::toDouble(field(26))));
    setText(kBpPrice, formatText(fmt, dlg_order_form_tslo_detail::toDouble(field(25))));
    setChecked(kBookProfit, true);
    for (int id : {kBookProfit, kBpPrice, kAction, kSearch, kExchange, kOrderType, kOrderMark, kAmo, kSor,
                   kTrailing})
        enable(id, false);
    enable(kBpDisclosed, true);
    const bool autoSquareOff = field(28) != "2";
    showControl(kAutoSquareOff, autoSquareOff);
    enable(kAutoSquareOff, autoSquareOff);
    if (sec.valid())
        setText(sec.inLots() ? kLots : kQuantity, sec.inLots() ? "1" : std::to_string(std::max(1, sec.marketLot)));
    setText(kCallLotLabel, sec.currency ? formatText("Lot (1 Lot = %d units)", sec.lotUnits)
                                        : formatText("Market Lot : %d", std::max(1, sec.marketLot)));
    showControl(kCallLotLabel, true);
    showControl(kTermsLink, true);
    enable(kTermsLink, true);
    const char* bs = m_cSide == 'B' ? "Buy" : "Sell";
    setCaptions(formatText("New %s Order Form : Morrowpick", bs), formatText("New %s Order", bs));
    setTrailLabels();
}

void CDlgOrderFormExp::OnKillfocusAccount()
{
    if (!m_bInitialised || !QWidget::isVisible())
        return;
    const bool dealer = pv_user_info.user_type == 'D' || pv_user_info.user_type == 'A';
    const OrderSecurity sec = security();
    const int qtyBox = sec.valid() && sec.inLots() ? kLots : kQuantity;
    if (m_nSecIdx >= 0 && dealer) {
        if (m_nMode == 1)
            focus(qtyBox, true);
        return;
    }
    if (m_nSecIdx == -1)
        focus(kSecurity);
    else if (m_nSecIdx >= 0)
        focus(qtyBox, true);
}

void CDlgOrderFormExp::OnCbnKillfocusCmbExch()
{
    if (!m_bInitialised || !QWidget::isVisible() || m_nSecIdx != -1)
        return;
    MsgBoxOk("Please Select proper Security for the Order");
    focus(isEnabled(kSecurity) ? kSecurity : kSearch);
    SetFormReady(true);
}
