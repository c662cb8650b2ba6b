// The order form's margin query: the inputs are read on the UI thread, the
// risk request runs on the form's worker while the form is busy, and every
// box is shown on the UI thread once the reply is read.
#include "orders/CDlgOrderFormExp.h"

#include "app/base/ActivityStamp.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "app/base/WholeNumber.h"
#include "orders/ClientOrderStore.h"
#include "orders/OrderFormIds.h"
#include "orders/OrderMargin.h"
#include "orders/OrderRequestThread.h"
#include "server/RequestServer.h"

#include "ui/ui_thread.h"

#include <cstdlib>

namespace dlg_order_form_margin_detail {
namespace {

void showMarginMessage(const MarginMessage& m)
{
    if (m.empty())
        return;
    if (m.caption.empty())
        MsgBoxOk(m.text);
    else
        MyMessageBox(m.text, m.caption, m.style);
}

std::string trimmed(std::string s)
{
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos)
        return {};
    const size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

} // namespace
} // namespace dlg_order_form_margin_detail

using namespace orderform;

void CDlgOrderFormExp::CalculateMarginRequired()
{
    WriteLog(0, "Entry : CDlgOrderFormExp::CalculateMarginRequired");
    if (m_bRequestInProcess || !m_bInitialised)
        return;
    SetFormReady(false);
    try {
        MarginInput in;
        in.terminalLocked = IsTerminalLocked();
        in.clientCode = dlg_order_form_margin_detail::trimmed(text(kAccount));
        in.exchangeText = comboIndex(kExchange) >= 0 ? text(kExchange) : std::string();
        // Not a whole number counts as no quantity, which the plan refuses.
        in.quantity = static_cast<int>(ParseWholeNumber(text(kQuantity)).value_or(0));
        in.priceText = dlg_order_form_margin_detail::trimmed(text(kPrice));
        in.sideIndex = comboIndex(kAction);
        in.security = security();
        if (const ClientInfo* client = ActiveClientEntry())
            in.clientId = FixedTextView(client->user_id);
        in.userId = FixedTextView(pv_user_info.user_id);

        const MarginPlan plan = PlanMargin(in);
        if (!plan.refusal.empty() || !plan.ask) {
            SetFormReady(true);
            dlg_order_form_margin_detail::showMarginMessage(plan.refusal.empty() ? plan.answer : plan.refusal);
            if (plan.cancelForm) {
                OnCancel();
                return;
            }
            switch (plan.focus) {
            case MarginFocus::Client: focus(kAccount, false); break;
            case MarginFocus::Exchange: focus(kExchange, false); break;
            case MarginFocus::Quantity: focus(kQuantity, false); break;
            case MarginFocus::Price: focus(kPrice, true); break;
            case MarginFocus::None: break;
            }
            WriteLog(0, "Exit : CDlgOrderFormExp::CalculateMarginRequired");
            return;
        }
        WaitForRequest();
        QPointer<CDlgOrderFormExp> self(this);
        const int encrypt = pv_user_info.encrypt;
        auto flight = std::make_shared<OrderFlight>();
        startWorker(flight, {}, [self, in, plan, encrypt, flight] {
            MarginMessage message;
            try {
                std::string reply;
                long length = 0;
                const int status = RequestServer(encrypt, 405, plan.request, reply, length, &flight->cancel);
                if (status == 200) {
                    const MarginOutcome o = ReadMarginReply(in, plan, length < 1 ? std::string_view() : reply);
                    if (!o.logLine.empty())
                        WriteLog(0, o.logLine);
                    message = o.message;
                } else if (status == 407) {
                    message.text = "Proxy Authentication Failed";
                } else {
                    message.text =
                        formatText("Internet Connectivity Error [%d]. Pls contact System Administrator", status);
                }
            } catch (...) {
                WriteLog(0, "exception in getting margin required");
            }
            ui::UiThread::post([self, message, flight] {
                if (!self || flight->closing.load())
                    return;
                dlg_order_form_margin_detail::showMarginMessage(message);
                if (self)
                    self->SetFormReady(true);
                WriteLog(0, "Exit : CDlgOrderFormExp::CalculateMarginRequired");
            });
        });
    } catch (...) {
        WriteLog(0, "exception in getting margin required");
        SetFormReady(true);
    }
}
