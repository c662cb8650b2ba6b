#include "pf/log.h"

#include <memory>
#include <mutex>

namespace pf {
namespace {
std::mutex g_sinkMutex;
std::shared_ptr<const LogSink> g_sink; // guarded by g_sinkMutex
} // namespace

void setLogSink(LogSink sink)
{
    auto next = sink ? std::make_shared<const LogSink>(std::move(sink)) : nullptr;
    std::lock_guard lock(g_sinkMutex);
    g_sink = std::move(next);
}

void logLine(int level, std::string_view text)
{
    std::shared_ptr<const LogSink> sink;
    {
        std::lock_guard lock(g_sinkMutex);
        sink = g_sink;
    }
    // Called outside the lock so that a sink may itself log or block.
    if (sink)
        (*sink)(level, text);
}

} // namespace pf
