#include "orders/OrderRequestThread.h"

#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/TextFormat.h"
#include "orders/OrderMessages.h"
#include "orders/OrderReply.h"
#include "server/RequestServer.h"

#include "ui/ui_thread.h"

#include <cstdio>

namespace order_request_thread_detail {
namespace {

constexpr const char* kServerError = "Server Error. Please Check Order Report for Order Confirmation.";

// A failed exchange. For an order, modification or cancellation that was
// sent, a plain connectivity message would invite placing the order again
// while it may stand at the exchange: say its state is unknown, put that on
// the Trading list and have the book downloaded again.
// A 200 whose body is no order reply (a gateway's error page) is as unknown
// as an empty one: the order may stand, so it is never left to be sent again
// unchecked.
// The form is going (the terminal closes): no box may wait on the UI thread
// and nothing is refreshed; the form names an order left without an outcome.
bool closing(const OrderRequestJob& job) { return job.flight && job.flight->closing.load(); }

void reported(const OrderRequestJob& job)
{
    if (job.flight)
        job.flight->reported.store(true);
}

void transportFailure(const OrderRequestJob& job, const OrderRequestCallbacks& cb, int status, bool emptyReply,
                      bool notOrderReply = false)
{
    if (closing(job)) {
        WriteLog(0, formatText("Order request [%d] status %d while the form closes", job.code, status));
        return;
    }
    if (IsOrderTransCode(job.code) && RequestWasSent(status)) {
        const std::string text = OrderStateUnknownText(status, notOrderReply);
        WriteLog(0, formatText("Order request [%d] status %d%s: state unknown", job.code, status,
                               notOrderReply ? " (not an order reply)" : emptyReply ? " (empty reply)" : ""));
        OrderUserMessage(1, ' ', text);
        reported(job);
        if (cb.stateUnknown)
            ui::UiThread::post(cb.stateUnknown);
        MsgBoxOk(text);
        return;
    }
    if (emptyReply) {
        MsgBoxOk(kServerError);
        return;
    }
    if (status == 407) {
        MsgBoxOk("Proxy Authentication Failed");
        return;
    }
    char text[128];
    std::snprintf(text, sizeof text, "Internet Connectivity Error [%d]. Pls contact System Administrator", status);
    MsgBoxInfo(text);
}

void plain(const OrderRequestJob& job, const OrderRequestCallbacks& cb)
{
    WriteLog(0, "OrderRequestThread :Entry");
    std::string reply;
    long length = 0;
    const int status =
        RequestServer(job.encrypt, job.code, job.text, reply, length, job.flight ? &job.flight->cancel : nullptr);
    if (status != 200) {
        transportFailure(job, cb, status, false);
        return;
    }
    WriteLog(0, "OrderRequestThread : Response Len <" + std::to_string(length) + ">");
    if (length < 1) {
        transportFailure(job, cb, status, true);
        return;
    }
    const PlainOrderReply r = ParsePlainOrderReply(reply);
    if (!r.orderReply) {
        WriteLog(0, "OrderRequestThread : not an order reply <" + reply.substr(0, 120) + ">");
        transportFailure(job, cb, status, true, true);
        return;
    }
    OrderUserMessage(1, ' ', r.message);
    reported(job);
    if (cb.updateResponse)
        ui::UiThread::post([f = cb.updateResponse, no = r.orderNo, msg = r.message] { f(no, msg); });
}

void smart(const OrderRequestJob& job, const OrderRequestCallbacks& cb)
{
    WriteLog(0, "log 3");
    WriteLog(0, "SmartOrderRequestThread :Entry");
    std::string reply;
    long length = 0;
    const int status =
        RequestServer(job.encrypt, job.code, job.text, reply, length, job.flight ? &job.flight->cancel : nullptr);
    if (status != 200) {
        transportFailure(job, cb, status, false);
        return;
    }
    if (length < 1) {
        transportFailure(job, cb, status, true);
        return;
    }
    const SmartOrderReply r = ParseSmartOrderReply(reply);
    if (!r.orderReply) {
        WriteLog(0, "SmartOrderRequestThread : not an order reply <" + reply.substr(0, 120) + ">");
        transportFailure(job, cb, status, true, true);
        return;
    }
    for (const SmartRouteFill& fill : r.fills)
        if (cb.updateOrderInfo)
            ui::UiThread::post([f = cb.updateOrderInfo, fill] { f(fill.filledQty, fill.pricePaise, fill.orderNo); });
    if (!closing(job))
        MsgBoxInfoCaption(r.text, "Confirmation");
    OrderUserMessage(1, ' ', r.text);
    reported(job);
}

} // namespace
} // namespace order_request_thread_detail

void OrderRequestThread(const OrderRequestJob& job, const OrderRequestCallbacks& callbacks)
{
    try {
        if (job.sor)
            order_request_thread_detail::smart(job, callbacks);
        else
            order_request_thread_detail::plain(job, callbacks);
    } catch (const std::exception& e) {
        WriteLog(0, std::string("SException in OrderRequestThread : [") + e.what() + "]");
    } catch (...) {
        WriteLog(0, "Exception in OrderRequestThread");
    }
    if (callbacks.finished)
        ui::UiThread::post(callbacks.finished);
    WriteLog(0, job.sor ? "SmartOrderRequestThread :Exit" : "OrderRequestThread :Exit");
}
