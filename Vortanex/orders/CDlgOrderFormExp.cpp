#include "orders/CDlgOrderFormExp.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MachineDetails.h"
#include "app/base/MessageBox.h"
#include "frame/OrderFormService.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "app/base/WholeNumber.h"
#include "frame/CMainFrame.h"
#include "orders/COrderViewEx.h"
#include "orders/ClientOrderStore.h"
#include "orders/OrderFormIds.h"
#include "frame/OrderFormLinks.h"
#include "orders/OrderMessages.h"
#include "orders/OrderRequestThread.h"
#include "orders/OrderValidation.h"
#include "orders/PositionRecords.h"

#include "ui/key_filter.h"
#include "ui/modal_host.h"
#include "pf/ui_guard.h"
#include "ui/ui_thread.h"

#include <QEvent>
#include <QFocusEvent>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>

namespace dlg_order_form_exp_detail {
namespace {

using namespace orderform;
using ui::ControlKind;

CDlgOrderFormExp* g_pDlgOrderFormExp = nullptr;

ui::FormSpec orderFormSpec()
{
    ui::FormSpec spec;
    spec.templateId = CDlgOrderFormExp::kTemplateId;
    spec.name = "CDlgOrderFormExp";
    spec.width = 420;
    spec.height = 150;
    spec.controls = {
        {-1, ControlKind::Label, "Account", {6, 6, 50, 8}},
        {kAccount, ControlKind::Edit, "", {6, 16, 60, 12}, ui::EditRules{true, 10, {}, false}},
        {-1, ControlKind::Label, "Security", {70, 6, 60, 8}},
        {kSecurity, ControlKind::Edit, "", {70, 16, 120, 12}, ui::EditRules{false, 60, {}, false}},
        {kSearch, ControlKind::Button, "...", {192, 16, 14, 12}},
        {-1, ControlKind::Label, "Exchange", {210, 6, 50, 8}},
        {kExchange, ControlKind::Combo, "", {210, 16, 56, 60}},
        {-1, ControlKind::Label, "Action", {270, 6, 40, 8}},
        {kAction, ControlKind::Combo, "", {270, 16, 44, 40}},
        {-1, ControlKind::Label, "Lot", {6, 34, 30, 8}},
        {kLots, ControlKind::Edit, "", {6, 44, 40, 12}, ui::EditRules{false, 9, {}, false}},
        {-1, ControlKind::Label, "Qty", {50, 34, 30, 8}},
        {kQuantity, ControlKind::Edit, "", {50, 44, 50, 12}, ui::EditRules{false, 9, {}, false}},
        {kPriceLabel, ControlKind::Label, "Price :", {104, 34, 70, 8}},
        {kPrice, ControlKind::Edit, "", {104, 44, 60, 12}, ui::EditRules{false, 15, {}, false}},
        {kTriggerLabel, ControlKind::Label, "Trigger Price", {168, 34, 60, 8}},
        {kTrigger, ControlKind::Edit, "", {168, 44, 60, 12}, ui::EditRules{false, 15, {}, false}},
        {kDisclosedLabel, ControlKind::Label, "Disclose Qty", {232, 34, 60, 8}},
        {kDisclosed, ControlKind::Edit, "", {232, 44, 50, 12}, ui::EditRules{false, 9, {}, false}},
        {-1, ControlKind::Label, "Order Type", {6, 62, 50, 8}},
        {kOrderType, ControlKind::Combo, "", {6, 72, 60, 40}},
        {-1, ControlKind::Label, "Order Mark", {70, 62, 60, 8}},
        {kOrderMark, ControlKind::Combo, "", {70, 72, 90, 80}},
        {kAmo, ControlKind::Check, "AMO", {166, 72, 36, 10}},
        {kSor, ControlKind::Check, "SOR", {206, 72, 36, 10}},
        {kNseRadio, ControlKind::Radio, "NSE", {246, 62, 36, 10}, {}, 1},
        {kBseRadio, ControlKind::Radio, "BSE", {246, 74, 36, 10}, {}, 1},
        {kNsePrice, ControlKind::Label, "", {286, 62, 50, 8}},
        {kBsePrice, ControlKind::Label, "", {286, 74, 50, 8}},
        {kHint, ControlKind::Button, "?", {340, 66, 14, 12}},
        {kMargin, ControlKind::Button, "M", {300, 96, 20, 14}},
        {kTrailing, ControlKind::Check, "&Trailing Stoploss Order", {6, 96, 120, 10}},
        {kCharges, ControlKind::Button, "Estimated Charges", {210, 96, 80, 14}},
        // The trailing stop-loss panel, shown while the box above is checked.
        {kTrailLabel, ControlKind::Label, "Trailing Stoploss (Sell)", {6, 140, 110, 8}},
        {kTrailHelp, ControlKind::Button, "?", {118, 138, 14, 12}},
        {kSpreadLabel, ControlKind::Label, "Spread", {6, 152, 50, 8}},
        {kSpread, ControlKind::Edit, "", {6, 162, 50, 12}, ui::EditRules{false, 12, {}, false}},
        {kTslTriggerLabel, ControlKind::Label, "Trigger Price", {60, 152, 60, 8}},
        {kTslTrigger, ControlKind::Edit, "", {60, 162, 60, 12}, ui::EditRules{false, 15, {}, true}},
        {kTrailAtLabel, ControlKind::Label, "Start Trailing at", {124, 152, 70, 8}},
        {kMarketRadio, ControlKind::Radio, "Market", {124, 162, 40, 10}, {}, 2},
        {kWhenRadio, ControlKind::Radio, "When Price Reaches", {166, 162, 96, 10}, {}, 2},
        {kWhenPrice, ControlKind::Edit, "", {264, 162, 50, 12}, ui::EditRules{false, 15, {}, false}},
        {kBookProfit, ControlKind::Check, "Book Profit (Sell)", {6, 180, 90, 10}},
        {kBpPriceLabel, ControlKind::Label, "Book Profit Price", {100, 180, 72, 8}},
        {kBpPrice, ControlKind::Edit, "", {174, 178, 50, 12}, ui::EditRules{false, 15, {}, false}},
        {kBpDisclosedLabel, ControlKind::Label, "Disclose Qty / Lot", {230, 180, 80, 8}},
        {kBpDisclosed, ControlKind::Edit, "", {312, 178, 40, 12}, ui::EditRules{false, 9, {}, false}},
        {kAutoSquareOff, ControlKind::Check, "Auto Square Off", {6, 196, 80, 10}},
        {kCallLotLabel, ControlKind::Label, "", {90, 197, 110, 8}},
        {kTermsLink, ControlKind::Button, "Terms and Conditions", {210, 194, 90, 14}},
        {kOk, ControlKind::Button, "New Buy Order", {324, 96, 90, 18}},
        {kCancel, ControlKind::Button, "&Cancel", {324, 118, 90, 14}},
    };
    return spec;
}

// How long the form waits for its thread when it goes or starts the next
// request: a cancelled exchange ends at once, so this is only a bound.
constexpr int kFlightWaitMs = 4000;

std::string closedInFlightText(const std::string& line)
{
    return "Order status unknown (the terminal closed before its reply arrived): " + line
        + ". Please check the Order Book before placing it again.";
}

int toInt(const std::string& s) { return static_cast<int>(std::strtol(s.c_str(), nullptr, 10)); }
double toDouble(const std::string& s) { return std::strtod(s.c_str(), nullptr); }

// The prompts of the checks, through the program's message boxes.
class FormPrompts final : public OrderPrompts {
public:
    void box(Box kind, const std::string& text) override
    {
        if (kind == Box::Info)
            MsgBoxInfo(text);
        else if (kind == Box::Error)
            MsgBoxStyle(text, MsgIconError);
        else
            MsgBoxOk(text);
    }
    bool askYesNo(const std::string& text, const std::string& caption) override
    {
        // The order's details in aligned columns; other questions as they are.
        const bool details = text.find("\t:\t") != std::string::npos;
        return MyMessageBox(details ? ConfirmationBoxText(text) : text, caption, MsgYesNo | MsgIconQuestion) == 6;
    }
};

// A trailing order's checks: the confirmation the order's checks ask for
// waits until the panel's values are read, and then shows them.
class TrailingPrompts final : public OrderPrompts {
public:
    void box(Box kind, const std::string& text) override { m_inner.box(kind, text); }
    bool askYesNo(const std::string& text, const std::string& caption) override
    {
        if (caption == "Do You want to place order") {
            confirmDue = true;
            return true;
        }
        return m_inner.askYesNo(text, caption);
    }
    bool confirmDue = false;

private:
    FormPrompts m_inner;
};

bool isDealer() { return pv_user_info.user_type == 'D' || pv_user_info.user_type == 'A'; }

// The order form as the program's order form service.
class OrderFormServiceImpl final : public OrderFormService {
public:
    bool getInstance(int formType, QWidget* parent, const OrderFormParams& p) override
    {
        m_form = CDlgOrderFormExp::GetInstance(parent, formType, p.index, p.side, p.scripType, p.quantity,
                                               p.clientCode, p.orderMark, p.callFields, p.tslKind, p.companionIndex,
                                               p.price);
        return m_form != nullptr;
    }
    void showForm() override
    {
        if (m_form) {
            m_form->show();
            m_form->raise();
            // Opened by a key in another window (a chart): the keys typed
            // next belong to the form, also when it was open behind.
            m_form->activateWindow();
        }
    }

private:
    QPointer<CDlgOrderFormExp> m_form;
};

OrderFormServiceImpl g_service;

// Runs a handler when a control loses the keyboard focus.
class FocusOutFilter final : public QObject {
public:
    FocusOutFilter(QObject* parent, std::function<void(Qt::FocusReason)> handler)
        : QObject(parent), m_handler(std::move(handler))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusOut && m_handler)
            m_handler(static_cast<QFocusEvent*>(event)->reason());
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(Qt::FocusReason)> m_handler;
};

} // namespace
} // namespace dlg_order_form_exp_detail

using namespace orderform;

CDlgOrderFormExp::CDlgOrderFormExp(QWidget* parent) : ui::Form(dlg_order_form_exp_detail::orderFormSpec(), nullptr), m_parent(parent)
{
    setModal(false);
    wireControls();
    m_reload = SecurityReload::instance().add("order form", [this](const SecurityTable&, SecurityTable&) {
        if (m_nSecIdx < 0 || security().valid() || !isVisible())
            return SecurityReload::Outcome{};
        OnCancel();
        MsgBoxOk("The security of this order form is no longer in the security file; the form is closed.");
        return SecurityReload::Outcome{true, "order form"};
    });
}

CDlgOrderFormExp::~CDlgOrderFormExp()
{
    // The security box loses the focus while the dialog's own parts go: no
    // handler of this form may run then.
    delete m_focusOutFilter;
    // DestroyInstance has waited for the thread already; here nothing may
    // wait (the thread may be waiting on this very thread), so one still
    // running is ended and left to finish on its own.
    if (m_worker.joinable()) {
        if (m_flight && !m_flight->done.load()) {
            m_flight->closing.store(true);
            m_flight->cancel.cancel();
            WriteLog(0, "Order form thread still running as the form goes");
            m_worker.detach();
        } else {
            pf::uiguard::join(m_worker, "the order form's ended request");
        }
    }
    if (dlg_order_form_exp_detail::g_pDlgOrderFormExp == this)
        dlg_order_form_exp_detail::g_pDlgOrderFormExp = nullptr;
}

void CDlgOrderFormExp::startWorker(std::shared_ptr<OrderFlight> flight, std::string orderLine,
                                   std::function<void()> body)
{
    m_flight = flight;
    m_strFlightLine = std::move(orderLine);
    m_worker = std::thread([flight = std::move(flight), body = std::move(body)] {
        body();
        flight->done.store(true);
    });
}

void CDlgOrderFormExp::WaitForRequest()
{
    if (!m_worker.joinable())
        return;
    // Never a plain join: the thread may be waiting on the UI thread for a
    // box or the proxy dialog, so the UI thread is served until it is done.
    const std::shared_ptr<OrderFlight> flight = m_flight;
    if (!ui::UiThread::joinWorker(m_worker, [flight] { return !flight || flight->done.load(); },
                                  "the order form's request", dlg_order_form_exp_detail::kFlightWaitMs))
        WriteLog(0, "Order form thread still running after the wait; it ends on its own");
}

void CDlgOrderFormExp::CloseInFlight()
{
    const std::shared_ptr<OrderFlight> flight = m_flight;
    if (!flight)
        return;
    // Its reply would come to a form that is gone: the exchange ends now, and
    // a reply not yet shown is not shown at all.
    flight->closing.store(true);
    if (!flight->done.load())
        flight->cancel.cancel();
    WaitForRequest();
    if (!m_strFlightLine.empty() && !flight->reported.load()) {
        const std::string text = dlg_order_form_exp_detail::closedInFlightText(m_strFlightLine);
        WriteLog(0, text);
        OrderUserMessage(1, ' ', text);
    }
}

void CDlgOrderFormExp::onInit() {}

CDlgOrderFormExp* CDlgOrderFormExp::Instance() { return dlg_order_form_exp_detail::g_pDlgOrderFormExp; }

void CDlgOrderFormExp::wireControls()
{
    fillExchangeList();
    setComboItems(kAction, {"BUY", "SELL"});
    setComboItems(kOrderType, {"GFD", "IOC"});
    onClick(kOk, [this] { OnOk(); });
    onClick(kCancel, [this] { OnCancel(); });
    onClick(kSearch, [] { CurrentOrderFormLinks().searchScrip(); });
    onClick(kMargin, [this] {
        if (m_nMode == 1 || m_nMode == 2 || m_nMode == 15)
            CalculateMarginRequired();
    });
    onChanged(kAction, [this] {
        if (comboIndex(kAction) == 0)
            OnBuy();
        else if (comboIndex(kAction) == 1)
            OnSell();
        if (checked(kTrailing))
            onTrailSideChanged();
    });
    onChanged(kExchange, [this] { OnCbnSelchangeCmbExch(); });
    onChanged(kSecurity, [this] {
        if (!m_bWritingSecurity && m_nInitSecIdx == -1 && m_bInitialised)
            setSecurityIndex(-2);
    });
    onChanged(kLots, [this] { readLots(); });
    if (QWidget* security = control(kSecurity))
        security->installEventFilter(m_focusOutFilter = new dlg_order_form_exp_detail::FocusOutFilter(this, [this](Qt::FocusReason reason) {
            const bool typed = m_nSecIdx == -2;
            OnKillfocusSec();
            // Tab from a typed security goes on to the price: the quantity is
            // filled with one lot, the price is what the user types next.
            if (typed && m_nSecIdx >= 0 && reason == Qt::TabFocusReason && isEnabled(kPrice))
                focus(kPrice, true);
        }));
    onChanged(kOrderMark, [this] {
        if (m_nModeCopy == 1)
            UpdateStopLossTrigger();
    });
    keys().onKeyDown = [this](ui::Key key, ui::Mods mods) { return onKey(static_cast<int>(key), mods.shift, mods.ctrl); };
    wireTsloPanel();
}

// BSE-CDX is a currency exchange like NSE-FX: without it an order of the
// book on BSE-CDX could be neither modified nor cancelled.
void CDlgOrderFormExp::fillExchangeList()
{
    setComboItems(kExchange, {"NSE", "BSE", "NSE-FX", "BSE-CDX", "MCX-CM"});
}

OrderSecurity CDlgOrderFormExp::security()
{
    if (m_nSecIdx < 0)
        return {};
    OrderSecurity sec = OrderSecurityAt(m_nSecIdx);
    if (sec.valid() && sec.token == m_nSecToken && sec.exchange == m_strSecExch)
        return sec;
    // The master was loaded again: the security is where its token is now.
    const int now = OrderSearchToken(m_nSecToken, m_strSecExch);
    WriteLog(0, formatText("Order form security [%d %s] moved from row %d to %d", m_nSecToken, m_strSecExch.c_str(),
                           m_nSecIdx, now));
    m_nSecIdx = now;
    return OrderSecurityAt(now);
}

void CDlgOrderFormExp::setSecurityIndex(int index)
{
    m_nSecIdx = index;
    const OrderSecurity sec = OrderSecurityAt(index);
    m_nSecToken = sec.valid() ? sec.token : 0;
    m_strSecExch = sec.valid() ? sec.exchange : std::string();
}

void CDlgOrderFormExp::writeSecurityText(const std::string& text)
{
    m_bWritingSecurity = true;
    setText(kSecurity, text);
    m_bWritingSecurity = false;
}

std::string CDlgOrderFormExp::chosenExchangeCode() const
{
    return comboIndex(kExchange) >= 0 ? std::string(ExchangeCodeOfName(text(kExchange))) : std::string();
}

CDlgOrderFormExp* CDlgOrderFormExp::GetInstance(QWidget* parent, int mode, int index, char side, short scripType,
                                                int quantity, const std::string& clientCode, int orderMark,
                                                const std::vector<std::string>& stringList, int tslKind,
                                                int companionIndex, double price)
{
    int step = 0;
    try {
        CDlgOrderFormExp* form = dlg_order_form_exp_detail::g_pDlgOrderFormExp;
        if (form && form->m_bRequestInProcess) {
            MsgBoxOk("Please wait. Existing Request in Process.");
            return nullptr;
        }
        step = 1;
        if (!form) {
            form = new CDlgOrderFormExp(parent);
            dlg_order_form_exp_detail::g_pDlgOrderFormExp = form;
        }
        step = 2;
        form->ResetData(1);
        form->m_nMode = mode;
        form->m_nReqMode = mode;
        form->m_nRefIdx = index;
        form->m_cSide = side;
        form->setSecurityIndex(index);
        form->m_nInitSecIdx = index;
        form->m_dPrice = price;
        form->m_nScripType = scripType;
        form->m_nQty = quantity;
        form->m_strClient = clientCode;
        form->m_strClientCopy = clientCode;
        form->m_nOrderMark = orderMark;
        form->m_nTslKind = tslKind;
        form->m_nCompanion = companionIndex;
        form->m_parent = parent;
        form->m_list.clear();
        if (tslKind == 5)
            form->m_list = stringList;
        step = 3;
        WriteLog(0, formatTextCapped(
                        511,
                        "Type [%d - %d], Ref Idx[%d - %d], BS [%c - %c], Sec Idx [%d - %d], Sec InitIdx [%d - "
                        "%d], Stk Prc [%lf - %lf], Scrip Type [%d - %d], Qty [%d - %d], Client [%s - %s - %s], "
                        "Delv Mark [%d - %d], TSLO [%d - %d]",
                        mode, form->m_nMode, index, form->m_nRefIdx, side, form->m_cSide, index, form->m_nSecIdx, index,
                        form->m_nInitSecIdx, price, form->m_dPrice, scripType, form->m_nScripType, quantity,
                        form->m_nQty, clientCode.c_str(), form->m_strClient.c_str(), form->m_strClientCopy.c_str(),
                        orderMark, form->m_nOrderMark, tslKind, form->m_nTslKind));
        if (form->SetInitData() != 1)
            return nullptr;
        return form;
    } catch (...) {
        WriteLog(0, formatText("Exception in CDlgOrderFormExp::GetInstance at %d, error %d", step, 0));
        DestroyInstance();
        return nullptr;
    }
}

void CDlgOrderFormExp::DestroyInstance()
{
    try {
        CDlgOrderFormExp* form = dlg_order_form_exp_detail::g_pDlgOrderFormExp;
        if (!form)
            return;
        dlg_order_form_exp_detail::g_pDlgOrderFormExp = nullptr;
        form->ResetData(0);
        form->CloseInFlight();
        delete form;
    } catch (...) {
        WriteLog(0, "Exception in CDlgOrderFormExp::DestroyInstance");
    }
}

void CDlgOrderFormExp::ResetData(int kind)
{
    if (kind == 0) {
        m_bInitialised = false;
        m_nMode = 0;
        m_dPrice = 0;
        setSecurityIndex(-1);
        m_nInitSecIdx = -1;
        m_nOpenQty = 0;
        m_dOrderNo = 0;
        m_dOldPrice = 0;
        m_nScripType = 0;
        m_bSor = false;
        m_bSideLock = false;
        m_bReady = true;
        m_nExchSel = 0;
        m_strClient.clear();
        m_strClientCopy.clear();
        m_nQty = 0;
        m_nOrderMark = -1;
        m_dPriceStep = 0;
        m_bRequestInProcess = false;
        m_nTslKind = -1;
        m_cTrailSide = ' ';
        m_nSquareOff = 0;
        return;
    }
    if (kind == 1) {
        m_bInitialised = false;
        for (int id : {kAccount, kPrice, kTrigger})
            setText(id, "");
        writeSecurityText("");
        setText(kQuantity, "0");
        setText(kDisclosed, "0");
        setChecked(kAmo, false);
        setChecked(kSor, false);
        for (int id : {kAccount, kSecurity, kSearch, kExchange, kAction, kLots, kQuantity, kPrice, kTrigger,
                       kDisclosed, kOrderType, kOrderMark, kAmo, kSor, kOk, kCancel, kMargin})
            enable(id, true);
        // The trailing stop-loss panel starts collapsed.
        setChecked(kTrailing, false);
        enable(kTrailing, true);
        showTsloPanel(false);
        m_nTsloOrderNo = 0;
        m_nTsloFirstLegTraded = 0;
        m_bTsloLegTrails = false;
        m_nQtyStep = 1;
        m_bHoldOk = false;
        m_bSideLock = false;
        m_nSquareOff = 0;
        m_nOpenQty = 0;
        m_dOrderNo = 0;
        m_dOldPrice = 0;
    }
}

int CDlgOrderFormExp::SetInitData()
{
    int line = 0;
    try {
        if (IsTerminalLocked()) {
            MsgBoxOk("Terminal is Locked. Pls Unlock to Place Order.");
            m_bInitialised = false;
            OnCancel();
            return 0;
        }
        line = 1;
        SetFormReady(false);
        setComboItems(kAction, {"BUY", "SELL"});
        SetAccessTime();
        fillExchangeList();
        setChecked(kNseRadio, false);
        setChecked(kBseRadio, false);
        const OrderSecurity sec = security();
        line = 2;
        writeSecurityText("");
        if (m_nInitSecIdx == -1) {
            setText(kPrice, "0");
            setText(kLots, " ");
        } else {
            setText(kPrice, priceText(m_dPrice, sec));
        }
        line = 3;
        setText(kTrigger, "0");
        setText(kQuantity, std::to_string(m_nQty));
        setText(kDisclosed, "0");
        for (int id : {kNseRadio, kBseRadio, kNsePrice, kBsePrice, kHint})
            showControl(id, false);
        if (sec.valid() && m_nMode != 8) {
            if (sec.inLots()) {
                enable(kQuantity, false);
                enable(kLots, true);
                enable(kPrice, true);
                if (m_nMode == 1) {
                    m_nQty = sec.marketLot;
                    setText(kQuantity, "");
                    setText(kLots, "");
                }
            } else {
                enable(kLots, false);
                setText(kLots, " ");
                enable(kQuantity, true);
                if (m_nMode == 1)
                    setText(kQuantity, "");
                const OrderSecurity companion = OrderSecurityAt(m_nCompanion);
                if (m_nCompanion > 0 && companion.valid()) {
                    for (int id : {kNseRadio, kBseRadio, kNsePrice, kBsePrice, kHint})
                        showControl(id, true);
                    setText(kPrice, formatText("%.2lf", m_dPrice));
                    const bool ownNse = sec.exchange == "NN";
                    setText(ownNse ? kNsePrice : kBsePrice, formatText("%.2lf", sec.ltp / 100));
                    setText(ownNse ? kBsePrice : kNsePrice, formatText("%.2lf", companion.ltp / 100));
                    setChecked(ownNse ? kNseRadio : kBseRadio, true);
                }
            }
        }
        line = 4;
        setChecked(kSor, false);
        for (int id : {kAction, kSearch, kOrderType, kOrderMark, kExchange})
            enable(id, true);
        m_nModeCopy = m_nMode;
        if (m_nMode > 0 && SetMessage(m_nMode, m_nRefIdx, m_cSide) != 0) {
            WriteLog(0, "Error : SetMessage Failed");
            // The caller gets no form; the form itself stays for the next opening.
            m_bInitialised = false;
            SetFormReady(true);
            hide();
            return 0;
        }
        line = 5;
        m_bInitialised = true;
        if (QWidget* main = m_parent ? m_parent->window() : nullptr) {
            const QRect r = main->geometry();
            move(x(), std::max(0, r.bottom() - 200 - height()));
        }
        control(kMargin)->setToolTip("Calculate the required margin");
        control(kHint)->setToolTip(QString::fromUtf8("By-default prices are pre-filled as:\n \u2022 for Buy transaction - "
                                                     "Best Ask price \n \u2022 for Sell transaction - Best Bid price \n "
                                                     "You can edit / enter your desired price to place Limit orders."));
        SetFormReady(true);
        if (m_bHoldOk) {
            enable(kOk, false);
            m_bReady = false;
        }
        WriteLog(3, "exit setinit data");
        return 1;
    } catch (...) {
        WriteLog(0, formatText("Error in CDlgOrderFormExp::SetInitData() , at Line number [%d]", line));
        WriteLog(0, "Exception in CDlgOrderFormExp::SetInitData");
        SetFormReady(true);
        return 0;
    }
}

void CDlgOrderFormExp::setCaptions(const std::string& caption, const std::string& okText)
{
    setWindowTitle(QString::fromStdString(caption));
    setText(kOk, okText);
    // Where OK cancels an order, the button that only closes the form must
    // not read "Cancel" as well.
    setText(kCancel, okText.rfind("Cancel", 0) == 0 ? "&Close" : "&Cancel");
}

void CDlgOrderFormExp::fillOrderMarks()
{
    std::vector<std::string> names;
    int selected = -1;
    const int n = std::min<int>(pv_user_info.segment_count, static_cast<int>(pv_user_info.segments.size()));
    int chosen = m_nOrderMark;
    if (chosen < 1)
        chosen = g_AppSettings.default_order_type;
    for (int i = 0; i < n; ++i) {
        const ExchangeSegment& m = pv_user_info.segments[static_cast<size_t>(i)];
        if (m.flag == 'N' || m.id == 7)
            continue;
        if (m.flag != 'A' && m.flag != m_cSide)
            continue;
        if (m.id == chosen)
            selected = static_cast<int>(names.size());
        names.emplace_back(FixedTextView(m.name));
    }
    setComboItems(kOrderMark, names);
    setComboIndex(kOrderMark, selected >= 0 ? selected : (names.empty() ? -1 : 0));
    setComboIndex(kOrderType, 0);
}

void CDlgOrderFormExp::selectExchangeOf(const OrderSecurity& sec)
{
    static const char* codes[] = {"NN", "BN", "CN", "CB", "MC"};
    for (int i = 0; i < 5; ++i)
        if (sec.exchange == codes[i]) {
            setComboIndex(kExchange, i);
            m_nExchSel = i;
            return;
        }
}

void CDlgOrderFormExp::applySecurity(const OrderSecurity& sec, bool fromSearch)
{
    writeSecurityText(sec.displayKey);
    selectExchangeOf(sec);
    m_dPriceStep = sec.tickRupees();
    m_nQtyStep = sec.inLots() ? 1 : std::max(1, sec.marketLot);
    if (sec.commodity) {
        setText(kPriceLabel,
                formatTextCapped(511, "Price \n For(%s %s)", sec.priceUnit.c_str(), sec.priceQuantity.c_str()));
        setText(kDisclosedLabel, "Disclose Lot");
    } else {
        setText(kPriceLabel, "Price :");
        setText(kDisclosedLabel, "Disclose Qty");
    }
    if (fromSearch) {
        if (sec.inLots()) {
            enable(kQuantity, false);
            enable(kLots, true);
            setText(kLots, "1");
            setText(kQuantity, std::to_string(lotSize(sec)));
        } else {
            setText(kQuantity, "1");
            setText(kLots, " ");
            enable(kQuantity, true);
            enable(kLots, false);
        }
        const bool nseDerivative = sec.exchange == "NN" && sec.derivative == 1 && !sec.currency;
        setText(kDisclosed, "");
        enable(kDisclosed, !nseDerivative);
        for (int id : {kNseRadio, kBseRadio, kNsePrice, kBsePrice})
            showControl(id, false);
    }
}

bool CDlgOrderFormExp::fillFromStore(int index)
{
    OrderInfo o;
    if (!ReadStoredOrder(ActiveClientEntry(), index, o)) {
        WriteLog(0, "Order record not found at index " + std::to_string(index));
        return false;
    }
    // The record names its security by token and exchange; its row number
    // is that of the table loaded when the record was stored.
    setSecurityIndex(OrderSearchToken(o.token, std::string(FixedTextView(o.exchange))));
    const OrderSecurity sec = security();
    if (!sec.valid()) {
        // The security left the master (a new security file): the form
        // cannot be filled, so it says why rather than open nothing.
        const char* what = m_nMode == 2 ? "modified" : m_nMode == 3 ? "cancelled" : m_nMode == 15 ? "placed again"
                                                                                                    : "changed";
        const std::string text = formatText(
            "Order No %.0lf cannot be %s here: its security (token %d, %s) is no longer in the security file.",
            o.order_no, what, o.token, std::string(FixedTextView(o.exchange)).c_str());
        WriteLog(0, text);
        MsgBoxOk(text);
        return false;
    }
    m_strClient = FixedTextView(o.client_code);
    setText(kAccount, m_strClient);
    applySecurity(sec, false);
    m_nOrderMark = o.order_mark;
    m_nOpenQty = o.open_qty;
    m_dOldPrice = o.price;
    m_dOrderNo = o.order_no;
    setText(kPrice, priceText(o.price, sec));
    setText(kTrigger, formatText(sec.currency ? "%0.4lf" : "%0.2lf", o.trigger));
    setText(kDisclosed, std::to_string(o.disclosed));
    setChecked(kAmo, FixedTextView(o.status) == "AMO");
    const int qty = o.open_qty;
    if (sec.inLots()) {
        enable(kQuantity, false);
        enable(kLots, true);
        if (sec.currency) {
            setText(kLots, std::to_string(qty));
            setText(kQuantity, std::to_string(qty * sec.lotUnits));
        } else if (sec.commodity) {
            setText(kLots, std::to_string(qty));
            setText(kQuantity, std::to_string(sec.marketLot * qty));
        } else {
            // A lot of 0 would divide by zero; show no lots then.
            setText(kLots, sec.marketLot > 0 ? std::to_string(qty / sec.marketLot) : std::string("0"));
            setText(kQuantity, std::to_string(qty));
            enable(kDisclosed, false);
        }
    } else {
        enable(kLots, false);
        enable(kQuantity, true);
        setText(kQuantity, std::to_string(qty));
    }
    return true;
}

void CDlgOrderFormExp::applyDealerFocus()
{
    const bool ownEntry = dlg_order_form_exp_detail::isDealer() && pv_user_info.client_index <= 0 && m_strClientCopy.empty();
    if (ownEntry && m_nMode == 1 && m_nTslKind != 5) {
        setText(kAccount, "");
        control(kAccount)->setProperty("readOnly", false);
        focus(kAccount);
        return;
    }
    control(kAccount)->setProperty("readOnly", true);
    focus(m_nSecIdx < 0 ? kSecurity : kQuantity, m_nSecIdx >= 0);
}

int CDlgOrderFormExp::SetMessage(int mode, int index, char side)
{
    try {
        WriteLog(0,
                 formatText("Entry in CDlgOrderFormExp::SetMessage : Type :%d, Index :%d, BS :%c", mode, index, side));
        m_nReqMode = mode;
        ClientInfo* client = ActiveClientEntry();
        if (!client) {
            MsgBoxStyle("Error : Unable to get active client detail", MsgIconError);
            return -1;
        }
        const std::string activeCode(FixedTextView(client->client_code));
        setText(kAccount, m_strClient.empty() ? activeCode : m_strClient);
        if (m_nTslKind >= 1 && m_nTslKind <= 4 && (mode == 2 || mode == 3)) {
            // A record of the trailing book: the panel fills the form.
            m_nMode = mode;
            m_nSquareOff = 0;
            return SetTsloOrderData(mode, index, side == 'B' ? 'B' : 'S');
        }
        m_nMode = mode;
        m_nSquareOff = 0;
        m_cSide = side == 'B' ? 'B' : 'S';
        setComboIndex(kAction, m_cSide == 'B' ? 0 : 1);
        if (mode != 1) {
            setChecked(kSor, false);
            enable(kSor, false);
        }
        const char* bs = m_cSide == 'B' ? "Buy" : "Sell";
        OrderSecurity sec;
        switch (mode) {
        case 1: {
            sec = security();
            if (sec.valid())
                applySecurity(sec, false);
            if (m_nOrderMark < 1)
                m_nOrderMark = g_AppSettings.default_order_type;
            if (sec.valid() && sec.exchange == "NN" && sec.derivative == 1 && !sec.currency) {
                enable(kExchange, false);
                enable(kDisclosed, false);
            }
            if (sec.currency)
                enable(kDisclosed, true);
            if (m_nOrderMark == 8)
                enable(kDisclosed, false);
            if (m_nOrderMark == 5 && sec.currency) {
                setText(kPrice, "0");
                enable(kPrice, false);
            }
            setCaptions(formatTextCapped(511, "New %s Order Form", bs), formatTextCapped(511, "New %s Order", bs));
            break;
        }
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
        case 15: {
            if (!fillFromStore(index))
                return -1;
            sec = security();
            if (mode == 15) {
                OrderInfo o;
                ReadStoredOrder(ActiveClientEntry(), index, o);
                setText(kQuantity, std::to_string(o.total_qty));
                if (sec.inLots())
                    setText(kLots, std::to_string(sec.currency || sec.commodity
                                                      ? o.total_qty
                                                      : (sec.marketLot > 0 ? o.total_qty / sec.marketLot : 0)));
                m_dOldPrice = o.price;
                m_dOrderNo = 0;
                setCaptions(formatTextCapped(511, "New %s Order Form", bs), formatTextCapped(511, "New %s Order", bs));
                break;
            }
            for (int id : {kExchange, kAction, kSearch, kOrderMark, kAmo, kSor})
                enable(id, false);
            if (mode == 2) {
                if ((m_nOrderMark == 5 || m_nOrderMark == 8) && dlg_order_form_exp_detail::toDouble(text(kTrigger)) == 0) {
                    enable(kTrigger, false);
                    enable(kDisclosed, false);
                }
                setCaptions(formatText("Modify Order Form - TWXS Order No :%.0lf", m_dOrderNo),
                            formatTextCapped(511, "Modify %s Order", bs));
            } else {
                if (mode == 4)
                    m_nOrderMark = 1;
                else if (mode == 5)
                    m_nOrderMark = 2;
                else if (mode == 6)
                    m_nOrderMark = 4;
                for (int id : {kAccount, kSecurity, kLots, kQuantity, kPrice, kTrigger, kDisclosed, kOrderType})
                    enable(id, false);
                if (mode == 3)
                    setCaptions(formatText("Cancel Order Form - TWXS Order No :%.0lf", m_dOrderNo),
                                formatTextCapped(511, "Cancel %s Order", bs));
                else if (mode == 4)
                    setCaptions(formatText("Delivery Mark Order Form - TWXS Order No :%.0lf", m_dOrderNo),
                                "Order Delivery Mark");
                else if (mode == 5)
                    setCaptions(formatText("Bnst Mark Order Form - TWXS Order No :%.0lf", m_dOrderNo),
                                "Order Bnst Mark");
                else
                    setCaptions(formatText("MF Mark Order Form - TWXS Order No :%.0lf", m_dOrderNo), "Order MF Mark");
            }
            break;
        }
        case 7:
        case 8:
        case 14: {
            int qty = m_nQty;
            int securityIndex = index;
            if (mode == 7) {
                PositionRecord p;
                if (!ReadPosition(index, p))
                    return -1;
                securityIndex = p.sec_index;
                qty = std::abs(p.net_qty);
                m_nOrderMark = p.product_code == 3 ? 1 : p.product_code;
            } else if (mode == 8) {
                HoldingRecord h;
                if (!ReadHolding(index, h))
                    return -1;
                securityIndex = h.sec_index;
                qty = m_nQty != 0 ? std::abs(m_nQty) : std::abs(h.quantity);
                m_nOrderMark = h.holding_type == 4 ? 4 : -1;
            } else {
                securityIndex = m_nSecIdx;
            }
            if (securityIndex != m_nSecIdx)
                setSecurityIndex(securityIndex);
            sec = security();
            if (!sec.valid())
                return -1;
            applySecurity(sec, false);
            m_nMode = 1;
            m_bSideLock = true;
            if (mode != 8)
                m_nSquareOff = 1;
            setChecked(kAmo, false);
            for (int id : {kAction, kOrderMark, kOrderType, kSearch})
                enable(id, false);
            if (mode != 8)
                enable(kExchange, false);
            if (sec.inLots()) {
                setText(kLots, std::to_string(sec.currency || sec.commodity || sec.marketLot <= 0
                                                  ? qty
                                                  : qty / sec.marketLot));
                setText(kQuantity, std::to_string(sec.currency ? qty * sec.lotUnits : qty));
            } else {
                setText(kQuantity, std::to_string(qty));
            }
            if (mode != 8)
                setText(kTrigger, "0.00");
            setText(kDisclosed, "0");
            if (m_nOrderMark == 5 || m_nOrderMark == 8 || m_nOrderMark == 12) {
                enable(kDisclosed, false);
                enable(kTrigger, mode == 14 ? m_nOrderMark == 8 : (m_nOrderMark == 8 || m_nOrderMark == 12));
            }
            if (mode == 8)
                setCaptions("Place Order Form", "Place Order");
            else
                setCaptions("Square-Off Order Form", "Square-Off Order");
            break;
        }
        default:
            break;
        }
        fillOrderMarks();
        if (mode == 15)
            setComboIndex(kOrderMark, comboItems(kOrderMark).empty() ? -1 : 0);
        if (m_nMode == 1 && m_nModeCopy == 1)
            UpdateStopLossTrigger();
        if (mode == 1 && m_nTslKind >= 1 && m_nTslKind <= 5)
            SetTsloOrderData(1, index, m_cSide);
        if (mode == 3 || mode == 4 || mode == 5 || mode == 6)
            focus(kOk);
        else
            applyDealerFocus();
        WriteLog(3, "Exit : CDlgOrderFormExp::SetMessage");
        return 0;
    } catch (...) {
        WriteLog(0, "Exception in CDlgOrderFormExp::SetMessage");
        return -1;
    }
}

void CDlgOrderFormExp::ReturnMessage(int securityIndex)
{
    try {
        const OrderSecurity sec = OrderSecurityAt(securityIndex);
        if (!sec.valid())
            return;
        setSecurityIndex(securityIndex);
        m_nRefIdx = securityIndex;
        setText(kPrice, "");
        applySecurity(sec, true);
    } catch (...) {
        WriteLog(0, "Exception in CDlgOrderFormExp::ReturnMessage");
    }
}

void CDlgOrderFormExp::OnKillfocusSec()
{
    try {
        if (m_nSecIdx != -2)
            return;
        resolveTypedSecurity();
    } catch (...) {
        WriteLog(0, "Exception in CDlgOrderFormExp::OnKillfocusSec");
    }
}

bool CDlgOrderFormExp::resolveTypedSecurity()
{
    const std::string typed = text(kSecurity).substr(0, 60);
    if (typed.empty())
        return false;
    // The symbol on the exchange the form shows: the same symbol trades on
    // several exchanges, and the user means the one chosen in the form.
    const int found = OrderResolveTyped(typed, chosenExchangeCode());
    if (found < 0) {
        setSecurityIndex(-1);
        MsgBoxOk("Please Select proper Security for the Order");
        writeSecurityText("");
        if (m_nInitSecIdx == -1)
            setSecurityIndex(-2);
        focus(kSecurity);
        SetFormReady(true);
        return false;
    }
    ReturnMessage(found);
    return true;
}

void CDlgOrderFormExp::OnCbnSelchangeCmbExch()
{
    try {
        if (!m_bInitialised)
            return;
        const std::string name = text(kExchange);
        const std::string code(ExchangeCodeOfName(name));
        if (m_nSecIdx == -2) {
            // A typed symbol not looked up yet is looked up on the new exchange.
            if (!code.empty())
                m_nExchSel = comboIndex(kExchange);
            resolveTypedSecurity();
            return;
        }
        const OrderSecurity sec = security();
        if (!sec.valid() || code.empty() || code == sec.exchange)
            return;
        // The same instrument on the other exchange; an equity's series differs
        // between the exchanges, so its cash row stands for it there.
        const bool cash = !sec.inLots();
        const int found = OrderFindOnExchange(sec.symbol, code, sec.series, !cash);
        const OrderSecurity now = OrderSecurityAt(found);
        if (found < 0 || (!cash && now.series != sec.series)) {
            MsgBoxInfo(
                formatTextCapped(511, "Security %s is not present in %s exchange", sec.symbol.c_str(), name.c_str()));
            setComboIndex(kExchange, m_nExchSel);
            return;
        }
        m_nExchSel = comboIndex(kExchange);
        setSecurityIndex(found);
        m_nRefIdx = found;
        UpdateStopLossTrigger();
        if (m_nReqMode != 8) {
            // On the other exchanges the new security's own best price stands in,
            // as there is no companion security to take it from.
            const double paise = m_cSide == 'B' ? now.ask : now.bid;
            setText(kPrice, formatText(now.currency ? "%.4lf" : "%.2lf", paise / 100));
            if (code == "NN" || code == "BN")
                setChecked(code == "NN" ? kNseRadio : kBseRadio, true);
        }
        writeSecurityText(now.displayKey);
        m_dPriceStep = now.tickRupees();
    } catch (...) {
        WriteLog(0, "Exception in CDlgOrderFormExp::OnCbnSelchangeCmbExch");
    }
}

void CDlgOrderFormExp::OnBuy()
{
    try {
        if (comboIndex(kAction) != 0)
            return;
        m_nSquareOff = m_bSideLock ? m_nSquareOff : 0;
        m_cSide = 'B';
        if (m_nMode == 1 || m_nMode == 15)
            setCaptions("New Buy Order Form", "New Buy Order");
        if (m_bInitialised)
            fillOrderMarks();
    } catch (const std::exception& e) {
        WriteLog(0, std::string("SException in CDlgOrderFormExp::OnBuy() : [") + e.what() + "]");
        MsgBoxOk("An unknown exception encountered. Please try again.");
    } catch (...) {
        WriteLog(0, "Exception in CDlgOrderFormExp::OnBuy() at [0]");
    }
}

void CDlgOrderFormExp::OnSell()
{
    try {
        if (comboIndex(kAction) != 1)
            return;
        m_nSquareOff = m_bSideLock ? m_nSquareOff : 0;
        m_cSide = 'S';
        if (m_nMode == 1 || m_nMode == 15)
            setCaptions("New Sell Order Form", "New Sell Order");
        if (m_bInitialised)
            fillOrderMarks();
    } catch (...) {
        // The form stays; a failed switch must not take the form away under its caller.
        WriteLog(0, "Exception in CDlgOrderFormExp::OnSell() at [0]");
    }
}

void CDlgOrderFormExp::SetFormReady(bool on)
{
    m_bRequestInProcess = !on;
    enable(kOk, on);
    enable(kCancel, on);
    m_bReady = on;
}

bool CDlgOrderFormExp::onKey(int key, bool shift, bool ctrl)
{
    using ui::Key;
    const int focused = focusedId();
    const bool plainKey = !shift && !ctrl;
    if ((key == static_cast<int>(Key::F1) || key == static_cast<int>(Key::Add)) && plainKey) {
        if (m_nMode == 1 && m_nTslKind != 5 && !m_bSideLock) {
            setComboIndex(kAction, 0);
            OnBuy();
        }
        return true;
    }
    if ((key == static_cast<int>(Key::F1) + 1 || key == static_cast<int>(Key::Subtract)) && plainKey) {
        if (m_nMode == 1 && m_nTslKind != 5 && !m_bSideLock) {
            setComboIndex(kAction, 1);
            OnSell();
        }
        return true;
    }
    if (key == static_cast<int>(Key::Enter)) {
        if (m_bReady)
            OnOk();
        return true;
    }
    if (key == static_cast<int>(Key::Escape)) {
        if (m_bReady)
            OnCancel();
        return true;
    }
    if (key == static_cast<int>(Key::Up) || key == static_cast<int>(Key::Down)) {
        const int dir = key == static_cast<int>(Key::Up) ? 1 : -1;
        if (focused == kQuantity || focused == kLots) {
            StepQuantityHeld(dir);
            return true;
        }
        if (focused == kPrice) {
            StepPrice(dir);
            return true;
        }
        return stepTsloSpin(focused, dir);
    }
    if (key == 'M' && shift && ctrl) {
        if (m_nMode == 1 || m_nMode == 2 || m_nMode == 15)
            CalculateMarginRequired();
        return true;
    }
    if (key == static_cast<int>(Key::F1) + 2 && shift) {
        CurrentOrderFormLinks().openOrderBook(m_nSecIdx);
        return true;
    }
    if (key == static_cast<int>(Key::F1) + 7 && shift) {
        CurrentOrderFormLinks().openTradeBook(m_nSecIdx);
        return true;
    }
    if (key == static_cast<int>(Key::F1) + 6 && plainKey) {
        CurrentOrderFormLinks().openTsloBook();
        return true;
    }
    return false;
}

void CDlgOrderFormExp::OnCancel()
{
    // An order in flight keeps the form: its reply still has to reach it.
    if (m_bRequestInProcess)
        return;
    m_bInitialised = false;
    ResetData(0);
    if (m_parent)
        m_parent->setFocus();
    hide();
}

void CDlgOrderFormExp::OnOk()
{
    WriteLog(3, "Entry CDlgOrderFormExp::OnOk");
    // A held OK (a cancel sent, a modify whose quantity changed) sends nothing until the form is opened again.
    if (m_bRequestInProcess || !m_bInitialised || m_bHoldOk)
        return;
    SetFormReady(false);
    try {
        if (m_nMode == 15) {
            WriteLog(0, "changing order type");
            m_nMode = 1;
        }
        if (m_nReqMode == 8)
            OnCbnSelchangeCmbExch();
        // Enter in the security box: the typed text is looked up first (an
        // empty box is left to the checks' refusal).
        if (m_nSecIdx == -2 && !text(kSecurity).empty() && !resolveTypedSecurity()) {
            SetFormReady(true);
            return;
        }
        // Where the chosen security is in the table loaded now; one gone from
        // a reloaded master leaves -1, which the checks refuse.
        const OrderSecurity chosen = security();
        WriteLog(0, formatText("SecurityIndex :%d", m_nSecIdx));

        OrderFormInput in;
        in.mode = m_nMode;
        in.requestedMode = m_nReqMode;
        in.tslKind = static_cast<short>(m_nTslKind);
        in.tslExpanded = checked(kTrailing);
        in.amo = checked(kAmo);
        in.sor = checked(kSor);
        in.squareOff = m_nSquareOff != 0;
        in.account = text(kAccount);
        in.securityIndex = m_nSecIdx;
        in.actionIndex = comboIndex(kAction);
        in.exchangeName = comboIndex(kExchange) >= 0 ? text(kExchange) : std::string();
        in.orderType = comboIndex(kOrderType) >= 0 ? text(kOrderType) : std::string();
        in.orderMarkName = comboIndex(kOrderMark) >= 0 ? text(kOrderMark) : std::string();
        // The boxes' whole texts, never a cut: "1,000" or "1.5" lots is refused, not sent as 1.
        const std::optional<long long> quantity = ParseWholeNumber(text(kQuantity));
        const std::optional<long long> lots = ParseWholeNumber(text(kLots));
        const bool inLots = chosen.valid() && chosen.inLots();
        in.quantityRead = quantity && (!inLots || lots);
        in.quantity = quantity ? static_cast<int>(*quantity) : 0;
        in.lots = lots ? static_cast<int>(*lots) : 0;
        in.priceText = text(kPrice);
        in.triggerText = text(kTrigger);
        // An empty disclosed box discloses nothing; any other text is the whole number or refused.
        const std::optional<long long> disclosed
            = text(kDisclosed).empty() ? std::optional<long long>(0) : ParseWholeNumber(text(kDisclosed));
        in.disclosedRead = disclosed.has_value();
        in.disclosed = disclosed ? static_cast<int>(*disclosed) : 0;
        in.openQty = m_nOpenQty;
        in.orderNo = m_dOrderNo;
        in.oldPrice = m_dOldPrice;

        OrderCheckContext ctx;
        ctx.terminalLocked = IsTerminalLocked();
        ClientInfo* client = ActiveClientEntry();
        ctx.hasActiveClient = client != nullptr;
        if (client)
            ctx.activeClientId = FixedTextView(client->user_id);
        ctx.userId = FixedTextView(pv_user_info.user_id);
        ctx.qtyLimit = g_AppSettings.order_qty_limit > 0 ? g_AppSettings.order_qty_limit : 5000;
        ctx.valueLimit = OrderValueLimit();
        ctx.confirmOrders = g_AppSettings.switches[0] == '1';
        const int n = std::min<int>(pv_user_info.segment_count, static_cast<int>(pv_user_info.segments.size()));
        ctx.marks.assign(pv_user_info.segments.begin(), pv_user_info.segments.begin() + n);
        ctx.security = chosen;
        ctx.currentOpenQty = [client](double orderNo) {
            OrderInfo o;
            return FindStoredOrder(client, orderNo, o) ? o.open_qty : -1;
        };
        dlg_order_form_exp_detail::FormPrompts plainPrompts;
        dlg_order_form_exp_detail::TrailingPrompts trailingPrompts;
        OrderPrompts& prompts = checked(kTrailing) ? static_cast<OrderPrompts&>(trailingPrompts) : plainPrompts;
        ValidationOutcome v = ValidateOrder(in, ctx, prompts);
        if (v.result != 0) {
            if (v.selectBuy)
                setComboIndex(kAction, 0);
            SetFormReady(true);
            if (v.hideForm) {
                OnCancel();
                return;
            }
            if (v.focusId)
                focus(v.focusId, v.selectText);
            else
                activateWindow();
            return;
        }
        m_cSide = v.side;
        m_bSor = v.sorFlag;
        m_OrderData = v.data;
        m_OrderInfo = v.info;
        m_strClient = in.account;
        if (checked(kTrailing)) {
            if (sendTsloOrder(ctx.security, trailingPrompts.confirmDue) != 0) {
                SetFormReady(true);
                activateWindow();
            }
            return;
        }

        OrderRequestContext rc;
        rc.mode = m_nMode;
        rc.userType = pv_user_info.user_type;
        rc.userId = FixedTextView(pv_user_info.user_id);
        rc.environment = DeviceId();
        const OrderRequest request = BuildOrderRequest(m_OrderData, ctx.security, rc);
        if (request.code == 0 || Place_Order(request.code, request.text, m_OrderData.description, m_cSide) != 0) {
            // Nothing was sent (the mark modes, or a refused request): the form is free again.
            SetFormReady(true);
            activateWindow();
        }
        WriteLog(3, "Exit CDlgOrderFormExp::OnOk");
    } catch (...) {
        WriteLog(0, "Exception in CDlgOrderFormExp::OnOk");
        SetFormReady(true);
    }
}

int CDlgOrderFormExp::Place_Order(int code, const std::string& text, const std::string& line, char side)
{
    int step = 0;
    try {
        const std::string suffix = formatText("&AClient=N&OrdReqNo=%d", PeekOrderRequestNumber());
        if (text.size() + suffix.size() > kMaxOrderRequestText) {
            WriteLog(0, "Order request too long (" + std::to_string(text.size() + suffix.size()) + " characters)");
            MsgBoxOk("Order request too long. Order not placed.");
            return -1;
        }
        step = 1;
        OrderUserMessage(1, side == 'B' ? '+' : '-', line);
        OrderRequestJob job;
        job.code = code;
        const int number = TakeOrderRequestNumber();
        job.text = text + formatText("&AClient=N&OrdReqNo=%d", number);
        job.encrypt = pv_user_info.encrypt;
        job.sor = m_bSor;
        job.mode = m_nMode;
        job.tslKind = static_cast<short>(m_nTslKind);
        job.info = m_OrderInfo;
        job.flight = std::make_shared<OrderFlight>();
        WriteLog(0, formatText("Order Ref No :%d", number));
        step = 2;
        m_nSentMode = m_nMode;
        WaitForRequest();
        QPointer<CDlgOrderFormExp> self(this);
        OrderRequestCallbacks cb;
        cb.updateResponse = [self](double orderNo, const std::string& message) {
            if (self)
                self->UpdateResponse(orderNo, message);
        };
        cb.updateOrderInfo = [self](int qty, double price, double orderNo) {
            if (self)
                self->UpdateOrderInfo(qty, price, orderNo);
        };
        cb.stateUnknown = [flight = job.flight] {
            // The book shows what the server holds now, the order included if
            // it was taken; not while the terminal closes.
            if (COrderViewEx* book = g_pOrderViewEx; book && !flight->closing.load())
                book->OnOrderRefresh();
        };
        cb.finished = [self] {
            if (!self)
                return;
            self->SetFormReady(true);
            if (self->m_bHoldOk) {
                self->enable(kOk, false);
                self->m_bReady = false;
            }
        };
        std::shared_ptr<OrderFlight> flight = job.flight;
        startWorker(std::move(flight), line,
                    [job = std::move(job), cb = std::move(cb)] { OrderRequestThread(job, cb); });
        // An order is cancelled once: whatever the reply, a second OK would
        // send a second cancel for it (or one for an order already gone).
        if (m_nMode == 3)
            m_bHoldOk = true;
        step = 3;
        // A new order leaves the form clear for the next one. A modify keeps
        // the values it sent in view: a quantity of 0 there would be a
        // modify ready to send that nobody asked for.
        if (m_nMode != 2) {
            const OrderSecurity sec = security();
            if (sec.inLots())
                setText(kLots, "0");
            else
                setText(kQuantity, "0");
        }
        return 0;
    } catch (...) {
        WriteLog(0, formatText("Exception at Place_Order() on line no %d", step));
        SetFormReady(true);
        return m_worker.joinable() ? 0 : -1;
    }
}

void CDlgOrderFormExp::UpdateOrderInfo(int filledQty, double pricePaise, double orderNo)
{
    try {
        ClientInfo* client = ActiveClientEntry();
        if (!client)
            return;
        const OrderSecurity sec = security();
        OrderInfo info;
        CopyFixedText(info.client_code, m_strClient);
        CopyFixedText(info.user_id, FixedTextView(pv_user_info.user_id));
        info.token = sec.token;
        info.sec_index = m_nSecIdx;
        CopyFixedText(info.buy_sell, std::string(1, m_cSide));
        CopyFixedText(info.exchange, sec.exchange);
        info.total_qty = filledQty;
        info.open_qty = filledQty;
        info.price = pricePaise != 0 ? pricePaise / 100 : 0;
        info.order_mark = m_nOrderMark;
        CopyFixedText(info.mark_name, m_bSor ? std::string("SOR") : text(kOrderMark));
        CopyFixedText(info.status, "NEWF");
        info.store_index = StoredOrderCount(client);
        info.side = m_cSide;
        info.sor = m_bSor ? 1 : 0;
        m_OrderInfo = info;
        UpdateResponse(orderNo, {});
    } catch (...) {
        WriteLog(0, "Exception in CDlgOrderFormExp::UpdateOrderInfo");
    }
}

void CDlgOrderFormExp::UpdateResponse(double orderNo, const std::string& replyText)
{
    try {
        if (!m_bInitialised)
            return;
        ClientInfo* client = ActiveClientEntry();
        if (!client)
            return;
        if (m_nSentMode == 1 && orderNo > 0 && m_nTslKind < 1) {
            OrderBookLink* book = CurrentOrderBookLink();
            const std::string code(FixedTextView(m_OrderInfo.client_code));
            if (book && book->isOpen() && (book->clientFilter().empty() || book->clientFilter() == code)) {
                OrderInfo info = m_OrderInfo;
                info.order_no = orderNo;
                info.contract_valid = -1;
                info.store_index = StoredOrderCount(client);
                FillOrderReport(client, 2, 0, {}, &info);
            }
        }
        if (m_nSentMode == 2 && orderNo > 0) {
            const OrderSecurity sec = security();
            const int nowQty = dlg_order_form_exp_detail::toInt(text(sec.inLots() ? kLots : kQuantity));
            const int kept = sec.inLots() && !sec.currency && !sec.commodity && sec.marketLot > 0
                ? m_nOpenQty / sec.marketLot
                : m_nOpenQty;
            m_bHoldOk = nowQty != kept;
        }
        if (!replyText.empty() && g_AppSettings.order_success_switch)
            MsgBoxUpdateResponse(replyText);
        focus(kOk);
    } catch (...) {
        WriteLog(0, "Error in catch at UpdateResponse()");
    }
}

void InstallOrderEntry()
{
    SetOrderFormService(&dlg_order_form_exp_detail::g_service);
    SetOrderMessageSink([](int kind, char side, const std::string& text) {
        if (CMainFrame* frame = CMainFrame::Instance())
            frame->SetUserMessage(kind, side, text);
        else
            WriteLog(3, "Message bar not available : " + text);
    });
}

void UninstallOrderEntry()
{
    SetOrderFormService(nullptr);
    // Before the message bar goes: an order in flight is named there.
    CDlgOrderFormExp::DestroyInstance();
    SetOrderMessageSink({});
}
