#include "orders/CBasketOrder.h"

// Server and order headers come before any Qt header: some of their members
// are named like Qt's keyword macros.
#include "server/ExchangeCancel.h"
#include "server/RequestServer.h"
#include "server/SecurityTable.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MachineDetails.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "app/base/WholeNumber.h"
#include "frame/CMainFrame.h"
#include "orders/BasketMargin.h"
#include "orders/COrderData.h"
#include "orders/ExchangesInFlight.h"
#include "orders/COrderViewEx.h"
#include "orders/CTradeView.h"
#include "orders/ClientOrderStore.h"
#include "orders/OrderMessages.h"
#include "orders/OrderReply.h"
#include "server/OrderSecurity.h"
#include "orders/WebLinkPages.h"
#include "frame/PositionServices.h"
#include "frame/WatchOpeners.h"
#include "frame/WindowOpeners.h"

#include "pf/threads.h"
#include "ui/ui_thread.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPoint>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>

CBasketOrder* g_pBasketOrder = nullptr;

namespace basket_order_detail {
namespace {

// Kept for the session like the user record's other values: empty at login,
// written only by the basket form.
std::string g_tradingPassword;

constexpr const char* kExchangeNames[] = {"NSE", "BSE", "NSE-FX", "MCX-CM"};

int exchangeEntry(const std::string& code)
{
    if (code == "NN")
        return 0;
    if (code == "BN")
        return 1;
    if (code == "CN")
        return 2;
    if (code == "MC")
        return 3;
    return -1; // "CB" has no entry
}

std::string exchangeCodeOf(const QString& name)
{
    const std::string n = name.toStdString();
    if (n == "NSE")
        return "NN";
    if (n == "BSE")
        return "BN";
    if (n == "NSE-FX")
        return "CN";
    if (n == "MCX-CM")
        return "MC";
    return {};
}

QString qs(std::string_view s) { return QString::fromLocal8Bit(s.data(), qsizetype(s.size())); }

QString priceText(double v, bool four)
{
    char text[64];
    std::snprintf(text, sizeof text, four ? "%0.4lf" : "%0.2lf", v);
    return QString::fromLatin1(text);
}

constexpr const char* kBasketBusyText =
    "The Basket Order Form is still sending the previous basket. Please try again when it is done.";

// Basket sends and margin queries on their workers.
ExchangesInFlight g_sends;

// The form behind BasketService for every opener.
class BasketFormService final : public BasketService {
public:
    void reset() override
    {
        if (g_pBasketOrder) {
            if (g_pBasketOrder->isSending()) {
                // The opener's legs are not taken: the user hears why, and
                // the refresh brings the busy form forward.
                MsgBoxInfo(kBasketBusyText);
                return;
            }
            g_pBasketOrder->ResetBasketData();
        } else {
            new CBasketOrder(g_pMainFrame.load());
        }
    }
    void setClient(const std::string& code) override
    {
        if (g_pBasketOrder && !g_pBasketOrder->isSending())
            g_pBasketOrder->clientCode = code;
    }
    void setMode(int mode) override
    {
        if (g_pBasketOrder && !g_pBasketOrder->isSending())
            g_pBasketOrder->basketMode = mode;
    }
    void setLeg(int index, const BasketLeg& leg) override
    {
        if (!g_pBasketOrder || g_pBasketOrder->isSending() || index < 0 || index >= kBasketLegCount)
            return;
        CBasketOrder::Leg& l = g_pBasketOrder->legs[size_t(index)];
        l.secIndex = leg.sec_index;
        l.markId = leg.product_code;
        l.quantity = leg.quantity;
        l.side = leg.side;
        l.price = leg.price;
        l.orderNo = leg.order_no;
        l.client = leg.client_code;
        l.disclosed = leg.disclosed;
        l.trigger = leg.trigger;
    }
    void refreshOrShow() override
    {
        CBasketOrder* form = g_pBasketOrder;
        if (!form)
            return;
        if (form->isSending()) {
            form->raise();
            return;
        }
        if (form->windowCreated && form->isVisible())
            form->SetNewBasketData();
        else if (!form->OnInitDialog())
            delete form;
    }
    void destroy() override
    {
        if (CBasketOrder* form = g_pBasketOrder; form && !form->isSending())
            delete form;
    }
};

} // namespace
} // namespace basket_order_detail

CBasketOrder::CBasketOrder(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("CBasketOrder"));
    setWindowTitle(QStringLiteral("Basket Order Form"));
    g_pBasketOrder = this;
    m_reload = SecurityReload::instance().add("basket form", [this](const SecurityTable& before, SecurityTable& after) {
        std::string gone;
        for (size_t k = 0; k < legs.size(); ++k) {
            if (legs[k].secIndex < 0)
                continue;
            const int found = ReresolveSecurity(before, after, legs[k].secIndex);
            if (found < 0) {
                gone += (gone.empty() ? "" : ", ") + std::to_string(k + 1);
                if (m_rows[k].name)
                    m_rows[k].name->clear();
            }
            legs[k].secIndex = found;
        }
        if (gone.empty())
            return SecurityReload::Outcome{};
        if (isVisible())
            MsgBoxOk("The security of basket leg " + gone + " is no longer in the security file; the leg is emptied.");
        return SecurityReload::Outcome{true, "basket legs " + gone};
    });
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Client")));
    m_client = new QLineEdit;
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setMaxLength(10);
    top->addWidget(m_client);
    m_amo = new QCheckBox(QStringLiteral("AMO"));
    top->addWidget(m_amo);
    m_ddsLabel = new QLabel(QStringLiteral("DDS Units"));
    m_ddsUnits = new QLineEdit;
    m_ddsUnits->setValidator(new QIntValidator(0, 1000000, m_ddsUnits));
    m_ddsLabel->hide();
    m_ddsUnits->hide();
    top->addWidget(m_ddsLabel);
    top->addWidget(m_ddsUnits);
    m_passwordLabel = new QLabel(QStringLiteral("Trading\nPassword"));
    m_password = new QLineEdit;
    m_password->setObjectName(QStringLiteral("tradingPassword"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setMaxLength(11);
    m_passwordLabel->hide();
    m_password->hide();
    top->addWidget(m_passwordLabel);
    top->addWidget(m_password);
    top->addStretch();
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(top);
    buildRows();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_ok = new QPushButton(QStringLiteral("Place Order"));
    m_ok->setObjectName(QStringLiteral("ok"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"));
    m_allMargin = new QPushButton(QStringLiteral("Margin"));
    m_allMargin->setToolTip(QStringLiteral("Required margin of the ticked legs (Ctrl+Shift+M)"));
    buttons->insertWidget(0, m_allMargin);
    m_charges = new QLabel(QStringLiteral("<a href=\"charges\">Estimated Charges</a>"));
    m_charges->setObjectName(QStringLiteral("charges"));
    m_charges->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    m_charges->setToolTip(QStringLiteral("Estimated Charges"));
    // One fixed background in every theme, as the order form's link.
    m_charges->setAutoFillBackground(true);
    {
        QPalette pal = m_charges->palette();
        pal.setColor(QPalette::Window, QColor(0xF0, 0xF0, 0xF0));
        m_charges->setPalette(pal);
    }
    connect(m_charges, &QLabel::linkActivated, this, [this] { OnEstimatedCharges(); });
    buttons->insertWidget(1, m_charges);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    outer->addLayout(buttons);
    connect(m_ok, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(m_allMargin, &QPushButton::clicked, this, [this] { CalculateMargin(6); });
    connect(m_ddsUnits, &QLineEdit::editingFinished, this, [this] { OnKillfocusDdsUnits(); });
}

CBasketOrder::~CBasketOrder()
{
    if (g_pBasketOrder == this)
        g_pBasketOrder = nullptr;
}

void CBasketOrder::buildRows()
{
    auto* grid = new QGridLayout;
    const char* heads[] = {"Select", "Security", "", "Action", "Exch", "Lot", "Qty", "Price", "Trigger\n Price",
                           "Disc\nQty/Lot", "Order Mark"};
    for (int c = 0; c < 11; ++c)
        grid->addWidget(new QLabel(QString::fromLatin1(heads[c])), 0, c);
    for (int k = 0; k < kBasketLegCount; ++k) {
        Row& r = m_rows[size_t(k)];
        r.select = new QCheckBox;
        r.name = new QLineEdit;
        r.name->setReadOnly(true);
        r.name->setPlaceholderText(QStringLiteral("Click ... to choose the security"));
        r.search = new QPushButton(QStringLiteral("..."));
        r.action = new QComboBox;
        r.action->addItems({QStringLiteral("BUY"), QStringLiteral("SELL")});
        r.exchange = new QComboBox;
        r.lots = new QLineEdit;
        r.quantity = new QLineEdit;
        r.quantity->setValidator(new QIntValidator(0, 99999999, r.quantity));
        r.quantity->setAlignment(Qt::AlignRight);
        r.price = new QLineEdit;
        r.price->setAlignment(Qt::AlignRight);
        r.trigger = new QLineEdit;
        r.trigger->setAlignment(Qt::AlignRight);
        r.disclosed = new QLineEdit;
        r.disclosed->setValidator(new QIntValidator(0, 99999999, r.disclosed));
        r.disclosed->setAlignment(Qt::AlignRight);
        r.mark = new QComboBox;
        r.margin = new QPushButton(QStringLiteral("M"));
        r.margin->setToolTip(QStringLiteral("Required margin of this leg"));
        r.units = new QLabel;
        r.priceFor = new QLabel;
        QWidget* cells[] = {r.select, r.name, r.search, r.action, r.exchange, r.lots, r.quantity,
                            r.price, r.trigger, r.disclosed, r.mark, r.margin, r.units, r.priceFor};
        for (int c = 0; c < 14; ++c)
            grid->addWidget(cells[c], k + 1, c);
        connect(r.search, &QPushButton::clicked, this, [this, k] { onLegSearch(k); });
        connect(r.margin, &QPushButton::clicked, this, [this, k] { CalculateMargin(k + 1); });
        connect(r.exchange, &QComboBox::activated, this, [this, k] { onExchangeChanged(k); });
        connect(r.lots, &QLineEdit::textEdited, this, [this, k] {
            const Row& row = m_rows[size_t(k)];
            const OrderSecurity sec = OrderSecurityAt(legs[size_t(k)].secIndex);
            if (!sec.valid() || !sec.inLots())
                return;
            const long long unit = sec.currency ? sec.lotUnits : sec.marketLot;
            // Lots that are not a whole number give no quantity, which the checks refuse.
            const std::optional<long long> lots = ParseWholeNumber(row.lots->text().toStdString());
            row.quantity->setText(lots ? QString::number(*lots * unit) : QString());
            showLotDetails(k);
        });
    }
    static_cast<QVBoxLayout*>(layout())->addLayout(grid);
}

void CBasketOrder::showLotDetails(int k)
{
    // A commodity's lot is priced per its own basis: the leg says how many
    // units its lots are and what the price is for. Other legs show nothing.
    Row& r = m_rows[size_t(k)];
    const OrderSecurity sec = OrderSecurityAt(legs[size_t(k)].secIndex);
    if (!sec.valid() || !sec.commodity) {
        r.units->clear();
        r.priceFor->clear();
        return;
    }
    const long long denominator = sec.denominator > 0 ? sec.denominator : 1;
    const long long units = static_cast<long long>(sec.lotUnits) * sec.marketLot * r.lots->text().toLongLong() / denominator;
    r.units->setText(basket_order_detail::qs(formatText("Units:%lld", units)));
    r.priceFor->setText(basket_order_detail::qs(formatText("Price for:%s %s", sec.priceUnit.c_str(), sec.priceQuantity.c_str())));
}

bool CBasketOrder::OnInitDialog()
{
    try {
        if (RefuseWhileLocked("Place Order.")) {
            if (g_pBasketOrder == this)
                g_pBasketOrder = nullptr;
            return false;
        }
        g_pBasketOrder = this;
        SetAccessTime();
        windowCreated = true;
        show();
        if (CMainFrame* frame = g_pMainFrame.load()) {
            // 50 px above the frame's bottom and moved right, but never off
            // the frame: a narrow frame would leave the buttons unreachable.
            const QRect f = frame->frameGeometry();
            const int w = frameGeometry().width();
            const int left = std::max(f.left(), std::min(x() + 300, f.right() - w));
            move(left, std::max(f.top(), f.bottom() - 50 - frameGeometry().height()));
        }
        raise();
        WriteLog(0, "CBasketOrder::OnInitDialog");
        return SetNewBasketData();
    } catch (...) {
        MsgBoxOk("Unable to open Basket Order Form");
        WriteLog(0, "Unable to open Basket Order Form");
        return false;
    }
}

void CBasketOrder::ResetBasketData()
{
    WriteLog(0, "reset basket data");
    legs = {};
    clientCode.clear();
    basketMode = kBasketNew;
    givenLegs = 0;
    windowCreated = true;
}

void CBasketOrder::fillMarks()
{
    const int n = std::min<int>(pv_user_info.segment_count, int(pv_user_info.segments.size()));
    for (int k = 0; k < kBasketLegCount; ++k) {
        QComboBox* mark = m_rows[size_t(k)].mark;
        mark->clear();
        mark->setEnabled(true);
        int chosen = 0;
        for (int i = 0; i < n; ++i) {
            const ExchangeSegment& s = pv_user_info.segments[size_t(i)];
            if (s.flag == 'N' || s.id == 7 || ((s.id == 5 || s.id == 8) && basketMode != kBasketCancel))
                continue;
            mark->addItem(basket_order_detail::qs(FixedTextView(s.name)), s.id);
            if (legs[size_t(k)].markId == s.id) {
                chosen = mark->count() - 1;
                mark->setEnabled(false);
            }
        }
        mark->setCurrentIndex(mark->count() ? chosen : -1);
    }
}

bool CBasketOrder::SetNewBasketData()
{
    ClientInfo* active = ActiveClientEntry();
    const char type = pv_user_info.user_type;
    if (pv_user_info.client_index != 0 || (type != 'D' && type != 'A')) {
        m_client->setText(active ? basket_order_detail::qs(FixedTextView(active->client_code)) : QString());
        if (basketMode == kBasketCancel && !clientCode.empty())
            m_client->setText(basket_order_detail::qs(clientCode));
        m_client->setReadOnly(true);
        m_amo->setFocus();
    } else if (!clientCode.empty()) {
        m_client->setText(basket_order_detail::qs(clientCode));
        m_client->setReadOnly(true);
        m_amo->setFocus();
    } else {
        m_client->setReadOnly(false);
        m_client->setFocus();
    }
    setWindowTitle(basketMode == kBasketCancel ? QStringLiteral("Basket Cancel Order Form")
                                               : QStringLiteral("Basket Order Form"));
    fillMarks();
    const bool cancel = basketMode == kBasketCancel;
    for (int k = 0; k < kBasketLegCount; ++k) {
        Row& r = m_rows[size_t(k)];
        const Leg& leg = legs[size_t(k)];
        r.name->clear();
        r.exchange->clear();
        for (const char* name : basket_order_detail::kExchangeNames)
            r.exchange->addItem(QString::fromLatin1(name));
        r.exchange->setCurrentIndex(-1);
        r.exchange->setEnabled(false);
        r.select->setChecked(false);
        r.lots->clear();
        r.price->clear();
        r.trigger->clear();
        r.quantity->setText(QString::number(leg.quantity));
        r.disclosed->setText(QStringLiteral("0"));
        const OrderSecurity sec = OrderSecurityAt(leg.secIndex);
        if (sec.valid()) {
            r.select->setChecked(true);
            r.name->setText(basket_order_detail::qs(sec.displayKey));
            m_exchangeChoice[size_t(k)] = basket_order_detail::exchangeEntry(sec.exchange);
            r.exchange->setCurrentIndex(m_exchangeChoice[size_t(k)]);
            r.exchange->setEnabled(leg.markId == 0 && !cancel);
            const bool four = sec.currency != 0;
            const bool lots = sec.currency || sec.derivative || sec.commodity;
            r.lots->setEnabled(lots && !cancel);
            r.quantity->setEnabled(!lots && !cancel);
            const long long unit = sec.currency ? sec.lotUnits : sec.marketLot;
            if (lots && unit > 0)
                r.lots->setText(QString::number(leg.quantity / unit));
            if (cancel && sec.currency && unit > 0) {
                r.lots->setText(QString::number(leg.quantity));
                r.quantity->setText(QString::number(leg.quantity * unit));
            }
            r.price->setText(basket_order_detail::priceText(leg.price, four));
            r.trigger->setText(basket_order_detail::priceText(cancel ? leg.trigger : 0, four));
            if (cancel)
                r.disclosed->setText(QString::number(leg.disclosed));
            r.disclosed->setEnabled(!(sec.derivative == 1 && sec.exchange == "NN") && !cancel);
        }
        if (leg.side == ' ') {
            r.action->setCurrentIndex(0);
            r.action->setEnabled(!cancel);
        } else {
            r.action->setCurrentIndex(leg.side == 'B' ? 0 : 1);
            r.action->setEnabled(false);
        }
        for (QWidget* w : {static_cast<QWidget*>(r.search), static_cast<QWidget*>(r.price),
                           static_cast<QWidget*>(r.trigger)})
            w->setEnabled(!cancel);
        if (cancel)
            r.mark->setEnabled(false);
        showLotDetails(k);
    }
    m_amo->setEnabled(!cancel);
    // The trading password: only a 'G' user whose login left the flag 0 is
    // asked; the box shows what the last basket sent.
    m_askPassword = pv_user_info.user_type == 'G' && g_Session.account_flag == 0;
    m_passwordLabel->setVisible(m_askPassword);
    m_password->setVisible(m_askPassword);
    m_password->setEnabled(m_askPassword);
    m_password->setText(m_askPassword ? basket_order_detail::qs(basket_order_detail::g_tradingPassword) : QString());
    m_ok->setText(cancel ? QStringLiteral("Cancel Order(s)") : QStringLiteral("Place Order"));
    m_ok->setEnabled(true);
    WriteLog(0, "Exit : SetNewBasketData");
    return true;
}

void CBasketOrder::SetLegSecurity(int leg, int securityIndex)
{
    if (leg < 1 || leg > kBasketLegCount)
        return;
    const size_t k = size_t(leg - 1);
    const OrderSecurity sec = OrderSecurityAt(securityIndex);
    if (!sec.valid())
        return;
    legs[k].secIndex = securityIndex;
    Row& r = m_rows[k];
    r.name->setText(basket_order_detail::qs(sec.displayKey));
    r.select->setChecked(true);
    // The last price to start from (the user's to change); none yet leaves
    // the box empty.
    if (sec.ltp > 0)
        r.price->setText(basket_order_detail::priceText(sec.ltp / 100, sec.currency != 0));
    else
        r.price->clear();
    r.trigger->setText(sec.currency ? QStringLiteral("0.0000") : QStringLiteral("0.00"));
    const bool nseFo = sec.derivative == 1 && sec.exchange == "NN";
    if (nseFo) {
        r.quantity->setText(QString::number(sec.marketLot));
        r.disclosed->setText(QStringLiteral("0"));
    }
    r.disclosed->setEnabled(!nseFo);
    m_exchangeChoice[k] = basket_order_detail::exchangeEntry(sec.exchange);
    r.exchange->setCurrentIndex(m_exchangeChoice[k]);
    r.exchange->setEnabled(true);
}

void CBasketOrder::onLegSearch(int k)
{
    if (m_sending)
        return;
    QPointer<CBasketOrder> self(this);
    const auto& search = windowOpeners().scripSearch;
    if (!search) {
        WriteLog(0, "Scrip search not available");
        return;
    }
    // Below the leg's own row, so the search never covers the legs above it.
    const Row& own = m_rows[size_t(k)];
    search(
        2,
        [self](int leg, int security) {
            if (self)
                self->SetLegSecurity(leg, security);
        },
        k + 1, this, own.name->mapToGlobal(QPoint(0, own.name->height() + 2)));
    if (!self)
        return;
    const OrderSecurity sec = OrderSecurityAt(legs[size_t(k)].secIndex);
    if (!sec.valid())
        return;
    Row& r = m_rows[size_t(k)];
    if (sec.commodity || sec.currency || sec.derivative) {
        // One lot: the Lot box and the quantity agree, so the leg never goes
        // out as 0 lots.
        const long long unit = sec.currency ? (sec.lotUnits > 0 ? sec.lotUnits : 1) : sec.marketLot;
        r.quantity->setEnabled(false);
        r.quantity->setText(QString::number(unit));
        r.lots->setText(QStringLiteral("1"));
        r.lots->setEnabled(true);
        r.disclosed->setText(QStringLiteral("0"));
        if (k == 0)
            WriteLog(0, "Marketlot=[" + std::to_string(sec.marketLot) + "]");
    } else {
        r.quantity->setEnabled(true);
        r.quantity->setText(QStringLiteral("0"));
        r.lots->setEnabled(false);
        r.lots->clear();
    }
    showLotDetails(k);
}

void CBasketOrder::onExchangeChanged(int k)
{
    Row& r = m_rows[size_t(k)];
    const OrderSecurity sec = OrderSecurityAt(legs[size_t(k)].secIndex);
    if (!sec.valid() || r.name->text().trimmed().isEmpty()) {
        MsgBoxOk("Please select Security for placing the Order");
        m_ok->setEnabled(true);
        r.search->setFocus();
        return;
    }
    const std::string code = basket_order_detail::exchangeCodeOf(r.exchange->currentText());
    const int found = OrderTwinOnExchange(sec, code);
    if (found < 0) {
        MsgBoxInfo("Security " + sec.symbol + " is not present in " + r.exchange->currentText().toStdString()
                   + " exchange");
        r.exchange->setCurrentIndex(m_exchangeChoice[size_t(k)]);
        return;
    }
    legs[size_t(k)].secIndex = found;
    m_exchangeChoice[size_t(k)] = r.exchange->currentIndex();
    r.name->setText(basket_order_detail::qs(OrderSecurityAt(found).displayKey));
}

void CBasketOrder::OnKillfocusDdsUnits()
{
    const int units = m_ddsUnits->text().toInt();
    if (units <= 0) {
        MsgBoxOk("Please Select proper number for DDS units.");
        m_ddsUnits->setFocus();
        return;
    }
    if (givenLegs < 1 || givenLegs > kBasketLegCount)
        return;
    for (int k = 0; k < givenLegs; ++k)
        m_rows[size_t(k)].quantity->setText(QString::number(static_cast<long long>(units) * legs[size_t(k)].quantity));
}

BasketForm CBasketOrder::readForm() const
{
    BasketForm f;
    f.client = m_client->text().toStdString();
    f.amo = m_amo->isChecked();
    f.mode = basketMode;
    f.passwordAsked = m_askPassword;
    f.password = m_password->text().toStdString();
    for (int k = 0; k < kBasketLegCount; ++k) {
        const Row& r = m_rows[size_t(k)];
        const Leg& leg = legs[size_t(k)];
        BasketLegRow& row = f.legs[size_t(k)];
        row.selected = r.select->isChecked();
        row.secIndex = leg.secIndex;
        row.name = r.name->text().toStdString();
        row.action = r.action->currentText().toStdString();
        row.exchange = r.exchange->currentIndex() >= 0 ? r.exchange->currentText().toStdString() : std::string();
        row.mark = r.mark->currentIndex() >= 0 ? r.mark->currentText().toStdString() : std::string();
        row.quantity = r.quantity->text().toStdString();
        row.lots = r.lots->text().toStdString();
        row.price = r.price->text().toStdString();
        row.trigger = r.trigger->text().toStdString();
        row.disclosed = r.disclosed->text().toStdString();
        row.orderNo = leg.orderNo;
        row.previousQty = static_cast<int>(leg.quantity);
        row.previousPrice = leg.price;
        row.legClient = leg.client;
    }
    return f;
}

void CBasketOrder::showFailure(const BasketFailure& f)
{
    if (f.box == BasketFailure::Info)
        MsgBoxInfo(f.text);
    else
        MsgBoxOk(f.text);
    QWidget* focus = nullptr;
    if (f.focus == BasketField::Client)
        focus = m_client;
    else if (f.focus == BasketField::Password)
        focus = m_password;
    else if (f.leg >= 0) {
        const Row& r = m_rows[size_t(f.leg)];
        switch (f.focus) {
        case BasketField::Action: focus = r.action; break;
        case BasketField::Exchange: focus = r.exchange; break;
        case BasketField::Mark: focus = r.mark; break;
        case BasketField::Quantity: focus = r.quantity; break;
        case BasketField::Lots: focus = r.lots; break;
        case BasketField::Disclosed: focus = r.disclosed; break;
        case BasketField::Price: focus = r.price; break;
        case BasketField::Trigger: focus = r.trigger; break;
        default: break;
        }
    }
    if (focus) {
        focus->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(focus); edit && f.selectText)
            edit->selectAll();
    }
    m_ok->setEnabled(true);
}

void CBasketOrder::OnOK()
{
    if (m_sending)
        return;
    if (RefuseWhileLocked("Place Order.")) {
        if (g_pBasketOrder == this)
            g_pBasketOrder = nullptr;
        hide();
        deleteLater(); // the button that called us is a child
        return;
    }
    m_ok->setEnabled(false);
    SetAccessTime();
    BasketContext ctx;
    ctx.userId = FixedTextView(pv_user_info.user_id);
    if (ClientInfo* active = ActiveClientEntry())
        ctx.sessionId = FixedTextView(active->user_id);
    ctx.environment = OrderEnvironmentText(DeviceId());
    ctx.qtyLimit = g_AppSettings.order_qty_limit;
    ctx.valueLimit = g_AppSettings.order_value_limit;
    ctx.encryption = pv_user_info.encrypt;
    ctx.security = [](int index) { return OrderSecurityAt(index); };
    ctx.markCode = [](const std::string& name) {
        const int n = std::min<int>(pv_user_info.segment_count, int(pv_user_info.segments.size()));
        for (int i = 0; i < n; ++i)
            if (FixedTextView(pv_user_info.segments[size_t(i)].name) == name)
                return pv_user_info.segments[size_t(i)].id;
        return -1;
    };
    ctx.takeRequestNumber = [] { return TakeOrderRequestNumber(); };
    BasketFailure failure;
    const BasketForm form = readForm();
    const bool built = BuildBasketRequest(form, ctx, m_request, failure);
    // The password is kept once it passed its own check, even when a later
    // check refuses the basket.
    if (m_askPassword && (built || (failure.focus != BasketField::Client && failure.focus != BasketField::Password))) {
        std::string typed = form.password;
        typed.erase(0, typed.find_first_not_of(' '));
        typed.erase(typed.find_last_not_of(' ') + 1);
        basket_order_detail::g_tradingPassword = typed;
    }
    if (!built) {
        showFailure(failure);
        return;
    }
    if (!m_request.alertText.empty()
        && MyMessageBox(m_request.alertText, "Alert", MsgYesNo | MsgIconQuestion) != 6) {
        m_ok->setEnabled(true);
        return;
    }
    startSend();
}

void CBasketOrder::startSend()
{
    WriteLog(3, "1. Place Basket Order Initialised");
    if (g_AppSettings.switches[0] == '1') {
        std::string joined;
        for (const std::string& line : m_request.lines)
            joined += line + "\r\n";
        if (MyMessageBox(joined, "Do You want to Place these Orders ?", MsgYesNo | MsgIconQuestion) != 6) {
            m_ok->setEnabled(true);
            return;
        }
    }
    std::string orders;
    for (const std::string& line : m_request.lines) {
        OrderUserMessage(1, ' ', line);
        orders += (orders.empty() ? "" : "; ") + line;
    }
    setBusy(true);
    const auto flight = basket_order_detail::g_sends.start(IsOrderTransCode(m_request.code) ? orders : std::string());
    QPointer<CBasketOrder> self(this);
    const int enc = pv_user_info.encrypt;
    const std::string text = m_request.text;
    const int code = m_request.code;
    const bool ok = pf::Worker::start("PlaceBasketOrderThread", [self, enc, text, code, flight] {
        int result = -1;
        bool stateUnknown = false;
        bool accepted = false;
        std::string details;
        try {
            WriteLog(0, "2. Place Basket User Message Set now sending request to server");
            std::string reply;
            long length = 0;
            const int status = RequestServer(enc, code, text, reply, length, flight->cancel.get());
            if (!flight->answered()) {
                // The exit named the orders on the Trading list already.
                WriteLog(0, "Basket request ended at exit before its reply");
                basket_order_detail::g_sends.finish(flight);
                return;
            }
            WriteLog(0, "3. Place Basket request to server sent");
            if (status == 200)
                WriteLog(0, "4. Place Basket Response Len <" + std::to_string(length) + ">");
            if (status == 200 && length > 0 && !reply.empty()) {
                const auto results = ReadBasketReply(reply);
                for (const BasketLegResult& r : results) {
                    accepted = accepted || (r.status != 9999 && r.orderNo > 0);
                    const std::string line = BasketResultLine(r.record + 1, r);
                    OrderUserMessage(1, ' ', line);
                    details += line + "\n";
                }
                result = BasketReplyResult(results);
                WriteLog(0, "5. Place Basket received");
            } else if (IsOrderTransCode(code) && RequestWasSent(status)) {
                // The orders may stand at the exchange: say their state is
                // unknown rather than invite placing them again.
                stateUnknown = true;
                const std::string m = OrderStateUnknownText(status);
                WriteLog(0, formatText("Basket request [%d] status %d: state unknown", code, status));
                OrderUserMessage(1, ' ', m);
                ui::UiThread::post([m] { MyMessageBox(m, "Basket Order Error", MsgOk | MsgIconError); });
            } else {
                char message[128];
                if (status == 407)
                    std::snprintf(message, sizeof message, "Proxy Authentication Failed");
                else
                    std::snprintf(message, sizeof message,
                                  "Internet Connectivity Error [%d]. Pls contact System Administrator", status);
                const std::string m = message;
                ui::UiThread::post([m] { MyMessageBox(m, "Internet Error", MsgOk | MsgIconError); });
            }
        } catch (...) {
            WriteLog(0, "Error in catch at Place Basket Order()");
        }
        ui::UiThread::post([self, result, details, stateUnknown, accepted] {
            if (stateUnknown) {
                // The book shows what the server holds now, the legs included if they were taken.
                if (COrderViewEx* book = g_pOrderViewEx)
                    book->OnOrderRefresh();
            } else if (accepted) {
                // The legs never pass through the order store one by one: the
                // open books take them, and any fill, from the server.
                if (COrderViewEx* book = g_pOrderViewEx)
                    book->FollowNewOrders();
                if (CTradeView* trades = g_pTradeView)
                    trades->FollowNewTrades();
            }
            if (self)
                self->sendDone(result, details, stateUnknown);
        });
        basket_order_detail::g_sends.finish(flight);
    });
    if (!ok) {
        basket_order_detail::g_sends.finish(flight);
        sendDone(-1, {}, false);
    }
}

void CBasketOrder::sendDone(int result, const std::string& details, bool stateUnknown)
{
    WriteLog(0, "Basket send ended: " + std::to_string(result));
    setBusy(false);
    if (stateUnknown) {
        // Disarmed: another OK must not place the same legs again unseen.
        for (const Row& r : m_rows)
            r.select->setChecked(false);
    }
    if (!details.empty() && g_AppSettings.order_success_switch == 1)
        MsgBoxInfoCaption(details, "Basket Order Details");
}

void CBasketOrder::setBusy(bool busy)
{
    m_sending = busy;
    m_ok->setEnabled(!busy);
    m_cancel->setEnabled(!busy);
    m_allMargin->setEnabled(!busy);
    for (const Row& r : m_rows)
        r.margin->setEnabled(!busy);
}

void CBasketOrder::CalculateMargin(int selector)
{
    // One operation on the form at a time: never a margin query during a
    // send, which would free the form's buttons under it.
    if (m_sending)
        return;
    WriteLog(0, "Entry : CBasketOrder::CalculateMarginRequired");
    if (RefuseWhileLocked("calculate margin.")) {
        reject();
        return;
    }
    BasketMarginInput in;
    in.selector = selector;
    const BasketForm form = readForm();
    in.client = form.client;
    in.legs = form.legs;
    in.userId = FixedTextView(pv_user_info.user_id);
    if (ClientInfo* active = ActiveClientEntry())
        in.clientId = FixedTextView(active->user_id);
    std::vector<BasketMarginLeg> legsToAsk;
    BasketFailure stop;
    std::string immediate;
    if (!PrepareBasketMargin(in, [](int i) { return OrderSecurityAt(i); }, legsToAsk, stop, immediate)) {
        if (!immediate.empty())
            MsgBoxInfoCaption(immediate, "Required Margin");
        else
            showFailure(stop);
        return;
    }
    setBusy(true);
    const auto flight = basket_order_detail::g_sends.start({});
    QPointer<CBasketOrder> self(this);
    const int enc = pv_user_info.encrypt;
    const std::string client = in.client.substr(in.client.find_first_not_of(' ') == std::string::npos
                                                     ? 0
                                                     : in.client.find_first_not_of(' '));
    const bool ok = pf::Worker::start("BasketMarginThread", [self, enc, legsToAsk, selector, client, flight] {
        std::string text;
        try {
            double total = 0;
            bool four = false;
            bool stopped = false;
            std::string trimmed = client;
            while (!trimmed.empty() && trimmed.back() == ' ')
                trimmed.pop_back();
            for (const BasketMarginLeg& leg : legsToAsk) {
                if (!leg.queryNeeded) {
                    total += leg.margin;
                    continue;
                }
                std::string reply;
                long length = 0;
                const int status = RequestServer(enc, 405, leg.text, reply, length, flight->cancel.get());
                if (flight->ended()) {
                    stopped = true;
                    break;
                }
                const BasketMarginStep step = ReadBasketMarginReply(status, reply, leg, trimmed);
                if (!step.box.empty()) {
                    const std::string box = step.box, caption = step.caption;
                    ui::UiThread::post([box, caption] {
                        if (caption.empty())
                            MsgBoxOk(box);
                        else
                            MyMessageBox(box, caption, MsgOk | MsgIconError);
                    });
                }
                if (step.kind == BasketMarginStep::Stop) {
                    stopped = true;
                    break;
                }
                if (step.kind == BasketMarginStep::Add) {
                    total += step.margin;
                    four |= step.four;
                }
            }
            if (!stopped)
                text = BasketMarginText(total, selector == 6, four);
        } catch (...) {
            WriteLog(0, "exception in getting margin required");
        }
        ui::UiThread::post([self, text] {
            if (self)
                self->marginDone(text);
        });
        basket_order_detail::g_sends.finish(flight);
    });
    if (!ok) {
        basket_order_detail::g_sends.finish(flight);
        setBusy(false);
    }
}

void CBasketOrder::marginDone(const std::string& text)
{
    setBusy(false);
    if (!text.empty())
        MsgBoxInfoCaption(text, "Required Margin");
    WriteLog(0, "Exit : CBasketOrder::CalculateMarginRequired");
}

void CBasketOrder::reject()
{
    // The worker still reports into this form: it stays until the reply is in.
    if (m_sending)
        return;
    if (g_pBasketOrder == this)
        g_pBasketOrder = nullptr;
    QDialog::reject();
    deleteLater();
}

void CBasketOrder::closeEvent(QCloseEvent* event)
{
    if (m_sending) {
        event->ignore();
        return;
    }
    if (g_pBasketOrder == this)
        g_pBasketOrder = nullptr;
    QDialog::closeEvent(event);
    deleteLater();
}

void CBasketOrder::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && m_sending) {
        event->accept();
        return;
    }
    // Either side's Ctrl and Shift: the sides cannot be told apart here.
    const Qt::KeyboardModifiers mods = event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    if (event->key() == Qt::Key_M && mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
        CalculateMargin(6);
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

namespace basket_order_detail {
namespace {
std::shared_ptr<BasketFormService> g_service;
} // namespace
} // namespace basket_order_detail

void InstallBasketForm()
{
    basket_order_detail::g_service = std::make_shared<basket_order_detail::BasketFormService>();
    SetBasketService(basket_order_detail::g_service);
    watchOpeners().basket = [](const std::string& clientCode, const std::vector<WatchOpeners::BasketLeg>& chosen) {
        BasketService* service = InstalledBasketService();
        if (!service)
            return;
        service->reset();
        service->setClient(clientCode);
        for (size_t k = 0; k < chosen.size() && k < size_t(kBasketLegCount); ++k) {
            BasketLeg leg;
            leg.sec_index = chosen[k].security;
            leg.price = chosen[k].price;
            leg.product_code = -1;
            service->setLeg(int(k), leg);
        }
        service->refreshOrShow();
    };
}

void UninstallBasketForm()
{
    delete g_pBasketOrder;
    watchOpeners().basket = {};
    SetBasketService(nullptr);
    basket_order_detail::g_service.reset();
}

void EndBasketSendsInFlight()
{
    for (const std::string& orders : basket_order_detail::g_sends.endAll()) {
        const std::string text = "Basket order status unknown (the terminal closed before its reply arrived): "
            + orders + ". Please check the Order Book before placing it again.";
        WriteLog(0, text);
        OrderUserMessage(1, ' ', text);
    }
}

bool WaitBasketSends(int timeoutMs)
{
    return basket_order_detail::g_sends.waitAll(timeoutMs);
}

void CBasketOrder::OnEstimatedCharges()
{
    WriteLog(0, "OnBnClickedBtnEstmtedCharges");
    OpenWebLinkPage("Estimated Charges", m_client->text().trimmed().toStdString());
}

bool OpenFrameBasket()
{
    try {
        // The right to place orders: every user but a view-only one.
        if (pv_user_info.user_type == 'V') {
            MsgBoxOk("You don't have access to place Basket Order");
            return false;
        }
        ClientInfo* active = ActiveClientEntry();
        if (!active || !active->active) {
            MyMessageBox("Please Activate a Client", "Input Error", MsgOk | MsgIconInformation);
            return false;
        }
        BasketService* basket = InstalledBasketService();
        if (!basket)
            return false;
        basket->reset();
        basket->setClient(std::string(FixedTextView(active->client_code)));
        basket->refreshOrShow();
        return true;
    } catch (...) {
        WriteLog(0, "Exception in OnBasketOrder");
        return false;
    }
}

std::string BasketTradingPassword() { return basket_order_detail::g_tradingPassword; }

void ClearBasketTradingPassword() { basket_order_detail::g_tradingPassword.clear(); }
