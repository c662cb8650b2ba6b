#include "orders/CDlgConvertPosition.h"

// Server and order headers come before any Qt header: some of their members
// are named like Qt's keyword macros.
#include "server/ExchangeCancel.h"
#include "server/RequestServer.h"
#include "server/SecurityTable.h"

#include "app/base/ActivityStamp.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "app/base/WholeNumber.h"
#include "orders/COrderViewEx.h"
#include "orders/ConvertPositionRequest.h"
#include "orders/ExchangesInFlight.h"
#include "orders/OrderMessages.h"
#include "server/OrderSecurity.h"
#include "orders/TsloOrder.h"
#include "frame/PositionServices.h"
#include "server/RiskArrays.h"

#include "pf/threads.h"
#include "ui/ui_thread.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>

CDlgConvertPosition* g_pDlgConvertPosition = nullptr;

namespace dlg_convert_position_detail {
namespace {

// Conversions and their queries on their workers.
ExchangesInFlight g_work;

// A query in flight before the dialog exists also counts as busy.
bool g_querying = false;

class ConvertFormService final : public ConvertPositionService {
public:
    bool ShowConvertPositionForm(QWidget* parent, const std::string& clientCode, int secIndex,
                                 const std::string& exchangeName, int netQty, char side, int recordIndex,
                                 int source) override
    {
        if (RefuseWhileLocked("proceed."))
            return false;
        SetAccessTime();
        if (g_querying || (g_pDlgConvertPosition && g_pDlgConvertPosition->busy))
            return false;
        ConversionQuery q;
        q.sessionId = FixedTextView(pv_user_info.session_id);
        q.userId = FixedTextView(pv_user_info.user_id);
        q.clientCode = clientCode;
        q.side = side;
        q.quantity = netQty;
        const ClientRiskArrays& arrays = ActiveClientRiskArrays();
        int allowable = 0;
        if (source == 1) {
            if (recordIndex < 0 || recordIndex >= int(arrays.positions.size()))
                return false;
            const PositionRecord& p = arrays.positions[size_t(recordIndex)];
            q.token = p.token;
            q.exchange = p.exchange;
            q.product = p.product_code;
            q.allowableQty = p.int_37;
            q.avgPrice = p.avg_price;
            q.netValue = p.net_value;
            q.field38 = p.int_38;
        } else {
            if (recordIndex < 0 || recordIndex >= int(arrays.todays_positions.size()))
                return false;
            const TodaysPositionRecord& t = arrays.todays_positions[size_t(recordIndex)];
            q.token = t.token;
            q.exchange = t.exchange;
            q.product = t.product_code;
            q.avgPrice = t.avg_price;
            q.netValue = t.net_value;
        }
        allowable = std::abs(q.allowableQty);
        const std::string text = BuildConversionQuery(q);
        g_querying = true;
        // One operation on the form at a time: the form waits for the query
        // (a conversion click meanwhile would race its refill).
        if (g_pDlgConvertPosition)
            g_pDlgConvertPosition->setQuerying(true);
        QPointer<QWidget> owner(parent);
        const int enc = pv_user_info.encrypt;
        const auto work = g_work.start();
        const bool started = pf::Worker::start("ConvertPositionQuery", [=] {
            std::string reply;
            long length = 0;
            const int status = RequestServer(enc, 420, text, reply, length, work->cancel.get());
            if (!work->answered()) {
                g_work.finish(work);
                return;
            }
            ConversionQueryResult r;
            if (status == 200)
                r = ReadConversionQuery(reply);
            if (status == 200 && !reply.empty() && reply.find('|') == std::string::npos) {
                OrderUserMessage(3, ' ', "Unable to get unbilled positions");
                WriteLog(0, "Conversion query reply: " + reply);
            }
            ui::UiThread::post([=] {
                g_querying = false;
                if (!g_pDlgConvertPosition)
                    new CDlgConvertPosition(owner);
                CDlgConvertPosition* dlg = g_pDlgConvertPosition;
                dlg->Fill(clientCode, secIndex, exchangeName, side, r.ok, std::abs(netQty), r.convertible, allowable,
                          r.margin);
            });
            g_work.finish(work);
        });
        if (!started) {
            g_querying = false;
            if (g_pDlgConvertPosition)
                g_pDlgConvertPosition->setQuerying(false);
            g_work.finish(work);
        }
        return started;
    }
};

std::shared_ptr<ConvertFormService> g_service;

} // namespace
} // namespace dlg_convert_position_detail

CDlgConvertPosition::CDlgConvertPosition(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("CDlgConvertPosition"));
    setWindowTitle(QStringLiteral("Convert Position"));
    g_pDlgConvertPosition = this;
    auto* form = new QFormLayout;
    m_client = new QLineEdit;
    m_client->setReadOnly(true);
    m_security = new QLineEdit;
    m_security->setReadOnly(true);
    m_exchange = new QComboBox;
    m_exchange->setEnabled(false);
    m_quantity = new QLineEdit;
    m_quantity->setObjectName(QStringLiteral("quantity"));
    m_quantity->setValidator(new QIntValidator(0, 99999999, m_quantity));
    m_maxivane = new QLabel;
    m_allowable = new QLabel;
    m_margin = new QLabel;
    form->addRow(QStringLiteral("Client"), m_client);
    form->addRow(QStringLiteral("Security"), m_security);
    form->addRow(QStringLiteral("Exchange"), m_exchange);
    form->addRow(QStringLiteral("Quantity"), m_quantity);
    form->addRow(QStringLiteral("Maxivane Quantity : "), m_maxivane);
    form->addRow(QStringLiteral("Maximum Allowable Quantity : "), m_allowable);
    form->addRow(QStringLiteral("Available Margin :"), m_margin);
    auto* buttons = new QHBoxLayout;
    m_convert = new QPushButton(QStringLiteral("Convert to Delivery"));
    m_convert->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"));
    buttons->addStretch();
    buttons->addWidget(m_convert);
    buttons->addWidget(m_cancel);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(form);
    outer->addLayout(buttons);
    connect(m_convert, &QPushButton::clicked, this, [this] { ConvertPosition(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        if (!busy)
            hide();
    });
}

CDlgConvertPosition::~CDlgConvertPosition()
{
    if (g_pDlgConvertPosition == this)
        g_pDlgConvertPosition = nullptr;
}

void CDlgConvertPosition::Fill(const std::string& clientCode, int secIndex, const std::string& exchangeName, char side,
                               bool ok, int maxivaneQty, int convertible, int allowable, double margin)
{
    m_clientCode = clientCode;
    m_secIndex = secIndex;
    m_exchangeName = exchangeName;
    m_side = side;
    busy = false;
    if (!ok)
        maxivaneQty = convertible = allowable = 0, margin = 0;
    m_convertible = convertible;
    m_exchange->clear();
    for (const char* name : {"NSE", "BSE", "NSE-FX", "MCX-CM"})
        m_exchange->addItem(QString::fromLatin1(name));
    m_maxivane->clear();
    m_allowable->clear();
    m_margin->clear();
    m_quantity->clear();
    const OrderSecurity sec = OrderSecurityAt(secIndex);
    if (secIndex >= 0) {
        m_client->setText(QString::fromStdString(clientCode));
        m_security->setText(QString::fromStdString(sec.displayKey));
        m_exchange->setCurrentIndex(m_exchange->findText(QString::fromStdString(exchangeName)));
        m_maxivane->setText(QString::number(maxivaneQty));
        m_quantity->setText(QString::number(convertible));
        m_allowable->setText(QString::number(allowable));
        char text[64];
        std::snprintf(text, sizeof text, "%.2lf", margin == 0 ? 0.0 : margin);
        m_margin->setText(QString::fromLatin1(text));
    }
    enableControls(true);
    show();
    raise();
    activateWindow();
}

void CDlgConvertPosition::setQuerying(bool on)
{
    busy = on;
    enableControls(!on);
}

void CDlgConvertPosition::enableControls(bool on)
{
    m_quantity->setEnabled(on);
    m_convert->setEnabled(on);
    m_cancel->setEnabled(on);
}

void CDlgConvertPosition::ConvertPosition()
{
    if (busy || dlg_convert_position_detail::g_querying || RefuseWhileLocked("proceed."))
        return;
    WriteLog(0, "Entry : ConvertPosition");
    // The whole text or nothing: "+5", "1,000" and "10.5" are not quantities.
    const std::optional<long long> typed = ParseWholeNumber(m_quantity->text().trimmed().toStdString());
    const long quantity = static_cast<long>(typed.value_or(0));
    if (!typed || !ConversionQuantityValid(quantity, m_convertible)) {
        MsgBoxOk("Please enter valid Quantity");
        m_quantity->setFocus();
        return;
    }
    const OrderSecurity sec = OrderSecurityAt(m_secIndex);
    ConversionRequest r;
    r.sessionId = FixedTextView(pv_user_info.session_id);
    r.userId = FixedTextView(pv_user_info.user_id);
    r.clientCode = m_clientCode;
    r.token = sec.token;
    r.exchange = ConversionExchangeCode(m_exchangeName);
    r.side = m_side;
    r.quantity = quantity;
    r.infoText = GetInfoText();
    const std::string text = BuildConversionRequest(r);
    busy = true;
    enableControls(false);
    QPointer<CDlgConvertPosition> self(this);
    const int enc = pv_user_info.encrypt;
    const auto work = dlg_convert_position_detail::g_work.start(formatText("Client %s, %s, %s, quantity %ld", m_clientCode.c_str(),
                                                     sec.displayKey.c_str(), m_exchangeName.c_str(), quantity));
    const bool started = pf::Worker::start("ConvertPositionThread", [=] {
        std::string reply;
        long length = 0;
        const int status = RequestServer(enc, 110, text, reply, length, work->cancel.get());
        if (!work->answered()) {
            // The exit named the conversion on the Trading list already.
            WriteLog(0, "Position conversion ended at exit before its reply");
            dlg_convert_position_detail::g_work.finish(work);
            return;
        }
        const ConversionOutcome o = ReadConversionReply(status, reply);
        if (o.stateUnknown)
            OrderUserMessage(1, ' ', o.text);
        ui::UiThread::post([=] {
            if (o.stateUnknown) {
                // The book shows what the server holds now.
                if (COrderViewEx* book = g_pOrderViewEx)
                    book->OnOrderRefresh();
            }
            if (self)
                self->conversionDone(o.text, o.caption, o.warning, o.stateUnknown);
        });
        dlg_convert_position_detail::g_work.finish(work);
    });
    if (!started) {
        dlg_convert_position_detail::g_work.finish(work);
        conversionDone("Unable to start the conversion. Please Try Again...", {}, false, false);
    }
}

void CDlgConvertPosition::conversionDone(const std::string& text, const std::string& caption, bool warning,
                                         bool stateUnknown)
{
    busy = false;
    enableControls(true);
    if (stateUnknown) {
        // Disarmed: nothing more converts until the form is opened (and
        // queried) again.
        m_convertible = 0;
        m_quantity->setText(QStringLiteral("0"));
    }
    if (caption.empty())
        MsgBoxOk(text);
    else
        MyMessageBox(text, caption, MsgOk | (warning ? MsgIconWarning : MsgIconInformation));
    WriteLog(0, "Exit : ConvertPosition");
}

void InstallConvertPositionForm()
{
    dlg_convert_position_detail::g_service = std::make_shared<dlg_convert_position_detail::ConvertFormService>();
    SetConvertPositionService(dlg_convert_position_detail::g_service);
}

void UninstallConvertPositionForm()
{
    delete g_pDlgConvertPosition;
    SetConvertPositionService(nullptr);
    dlg_convert_position_detail::g_service.reset();
}

void EndConvertPositionWorkInFlight()
{
    for (const std::string& conversion : dlg_convert_position_detail::g_work.endAll()) {
        const std::string text =
            "Position conversion status unknown (the terminal closed before its reply arrived): " + conversion
            + ". Please check the positions before converting again.";
        WriteLog(0, text);
        OrderUserMessage(1, ' ', text);
    }
}

bool WaitConvertPositionWork(int timeoutMs)
{
    return dlg_convert_position_detail::g_work.waitAll(timeoutMs);
}
