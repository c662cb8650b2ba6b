#include "pf/ui_guard.h"

#include "pf/log.h"

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace pf::uiguard {
namespace {

std::mutex g_mutex;
std::thread::id g_uiThread;                // guarded by g_mutex
std::shared_ptr<const Handler> g_handler;  // guarded by g_mutex; null: the default
std::set<std::string> g_logged;            // guarded by g_mutex; lines the default has logged
std::atomic<bool> g_haveUiThread{false};
std::atomic<EventPump> g_pump{nullptr};

// What a thread is doing that the UI thread must not wait for, and who waits.
struct Marks {
    int sections = 0;        // open outermost sections (one per thread, kept as a count)
    std::string section;     // what the open section does, where
    int uiWaits = 0;         // UI-thread waits on this thread in progress
    std::string wait;        // what the UI thread waits for, where
};
std::map<std::thread::id, Marks> g_marks; // guarded by g_mutex

thread_local int t_depth = 0; // sections open on this thread

const char* kindName(Kind kind)
{
    return kind == Kind::Network ? "network" : "helper";
}

void report(const std::string& line)
{
    std::shared_ptr<const Handler> handler;
    bool first = false;
    {
        std::lock_guard lock(g_mutex);
        handler = g_handler;
        if (!handler)
            first = g_logged.insert(line).second;
    }
    if (handler) {
        (*handler)(line);
        return;
    }
    if (first)
        logLine(0, line);
}

} // namespace

void setUiThread(std::thread::id id)
{
    std::lock_guard lock(g_mutex);
    g_uiThread = id;
    g_haveUiThread.store(id != std::thread::id());
}

bool onUiThread()
{
    if (!g_haveUiThread.load(std::memory_order_relaxed))
        return false;
    std::lock_guard lock(g_mutex);
    return g_uiThread == std::this_thread::get_id();
}

Handler setHandler(Handler handler)
{
    auto next = handler ? std::make_shared<const Handler>(std::move(handler)) : nullptr;
    std::lock_guard lock(g_mutex);
    std::shared_ptr<const Handler> previous = std::move(g_handler);
    g_handler = std::move(next);
    return previous ? *previous : Handler();
}

std::string describe(std::string_view what, const std::source_location& where)
{
    std::string line = "UI thread blocked: ";
    line += what;
    line += " at ";
    line += where.file_name();
    line += ':';
    line += std::to_string(where.line());
    line += " (";
    line += where.function_name();
    line += ')';
    return line;
}

Section::Section(Kind kind, std::string_view what, std::source_location where)
{
    if (t_depth++ > 0 || !g_haveUiThread.load(std::memory_order_relaxed))
        return;
    m_outer = true;
    const std::string text = std::string(kindName(kind)) + " " + std::string(what);
    if (onUiThread()) {
        report(describe(text, where));
        return;
    }
    std::string waited;
    {
        std::lock_guard lock(g_mutex);
        Marks& marks = g_marks[std::this_thread::get_id()];
        ++marks.sections;
        marks.section = describe(text, where);
        if (marks.uiWaits > 0)
            waited = marks.wait;
    }
    if (!waited.empty())
        report(waited + ", for a thread that starts " + text);
}

Section::~Section()
{
    --t_depth;
    if (!m_outer || onUiThread())
        return;
    std::lock_guard lock(g_mutex);
    auto it = g_marks.find(std::this_thread::get_id());
    if (it == g_marks.end())
        return;
    if (--it->second.sections <= 0 && it->second.uiWaits <= 0)
        g_marks.erase(it);
}

WaitFor::WaitFor(std::thread::id id, std::string_view what, std::source_location where) : m_id(id)
{
    if (id == std::thread::id() || !onUiThread())
        return;
    m_active = true;
    std::string inside;
    const std::string line = describe("waits for " + std::string(what), where);
    {
        std::lock_guard lock(g_mutex);
        Marks& marks = g_marks[id];
        ++marks.uiWaits;
        marks.wait = line;
        if (marks.sections > 0)
            inside = marks.section;
    }
    if (!inside.empty())
        report(line + ", a thread inside " + inside.substr(inside.find(": ") + 2));
}

WaitFor::~WaitFor()
{
    if (!m_active)
        return;
    std::lock_guard lock(g_mutex);
    auto it = g_marks.find(m_id);
    if (it == g_marks.end())
        return;
    if (--it->second.uiWaits <= 0 && it->second.sections <= 0)
        g_marks.erase(it);
}

void join(std::thread& thread, std::string_view what, std::source_location where)
{
    if (!thread.joinable())
        return;
    const WaitFor waiting(thread.get_id(), what, where);
    thread.join();
}

void setEventPump(EventPump pump)
{
    g_pump.store(pump);
}

bool waitForWorker(std::string_view what, const std::function<bool()>& done, int timeoutMs, std::source_location where)
{
    // Real time on purpose: a test's manual clock does not move while other
    // threads are waited for.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const EventPump pump = onUiThread() ? g_pump.load() : nullptr;
    for (;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        if (pump)
            pump(5);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (done())
        return true;
    logLine(0, std::string(what) + " still running after " + std::to_string(timeoutMs) + " ms at " +
                   where.file_name() + ':' + std::to_string(where.line()) + "; the wait ends");
    return false;
}

bool joinWorker(std::thread& thread, const std::function<bool()>& ended, std::string_view what, int timeoutMs,
                std::source_location where)
{
    if (!thread.joinable())
        return true;
    if (!waitForWorker(what, ended, timeoutMs, where)) {
        thread.detach();
        return false;
    }
    join(thread, what, where);
    return true;
}

} // namespace pf::uiguard
