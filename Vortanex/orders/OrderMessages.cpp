#include "orders/OrderMessages.h"

#include "app/base/LogWriter.h"

#include <mutex>

namespace order_messages_detail {
namespace {
std::mutex g_sinkMutex;
OrderMessageSink g_sink; // guarded by g_sinkMutex
} // namespace
} // namespace order_messages_detail

void SetOrderMessageSink(OrderMessageSink sink)
{
    std::lock_guard lock(order_messages_detail::g_sinkMutex);
    order_messages_detail::g_sink = std::move(sink);
}

void OrderUserMessage(int kind, char side, const std::string& text)
{
    OrderMessageSink sink;
    {
        std::lock_guard lock(order_messages_detail::g_sinkMutex);
        sink = order_messages_detail::g_sink;
    }
    if (sink)
        sink(kind, side, text);
    else
        WriteLog(3, "Message bar not available : " + text);
}
