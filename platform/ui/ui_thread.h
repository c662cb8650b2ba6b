#pragma once
// The one thread that owns the widgets. Worker and feed threads reach it only
// through post (fire and forget, in order) or call (wait for the answer); they
// never touch a widget themselves.
#include <functional>
#include <optional>
#include <source_location>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>

namespace ui {

class UiThread {
public:
    // True on the thread of the application object; false when there is none.
    static bool isCurrent();

    // Soft assertion for entry points that must run on the UI thread: logs the
    // caller's name and returns false off the UI thread so it can bail out.
    static bool requireCurrent(const char* where);

    // Queues work for the UI thread; any thread, first in first out. Returns
    // false (and drops the work quietly) when the application is gone or
    // shutting down. An exception escaping the work is logged, not propagated.
    static bool post(std::function<void()> work);

    // Runs work on the UI thread and waits for it: inline when already there
    // (a blocking queued call to the own thread would deadlock). Returns false
    // when the work could not run because the application is shutting down.
    // Never call it while holding a lock that UI-thread code also takes.
    static bool runBlocking(const std::function<void()>& work);

    // Runs f on the UI thread and returns its result (by value); a
    // default-constructed result when the application is shutting down.
    template <class F>
    static auto call(F&& f) -> std::decay_t<std::invoke_result_t<F&>>
    {
        using R = std::decay_t<std::invoke_result_t<F&>>;
        if constexpr (std::is_void_v<R>) {
            runBlocking([&f] { f(); });
        } else {
            std::optional<R> result;
            runBlocking([&f, &result] { result.emplace(f()); });
            if (!result)
                return R{};
            return std::move(*result);
        }
    }

    // Processes UI events until predicate() holds or timeoutMs of real time
    // have passed; returns the predicate's last value. For tests and start-up
    // gates; UI thread only (elsewhere it just evaluates the predicate).
    static bool pumpUntil(const std::function<bool()>& predicate, int timeoutMs);

    // The one way the UI thread waits for a worker (its result, its end, a
    // pool's queue): events are served meanwhile, because the worker may be
    // waiting for the UI thread itself (a box, the proxy prompt), and the wait
    // ends after timeoutMs whatever the worker does. A worker on the network
    // is to be told to stop first (its exchange cancelled), so that the wait
    // is short. True when done() held; false with a log line naming what was
    // waited for. Off the UI thread it polls without serving events.
    static bool waitForWorker(std::string_view what, const std::function<bool()>& done, int timeoutMs,
                              std::source_location where = std::source_location::current());
    // Collects a worker thread: waits as above until ended() holds, then
    // joins it under the guard. One still running at the bound is detached
    // (false): it must hold nothing the caller frees (it ends on its own).
    static bool joinWorker(std::thread& thread, const std::function<bool()>& ended, std::string_view what,
                           int timeoutMs, std::source_location where = std::source_location::current());

    // Shut-down, after the event loop has ended and before worker threads
    // are joined: refuses all later work and releases every blocked caller
    // (a worker waiting in call would otherwise never be joined). UI thread.
    static void close();

    // Tests: drops the work still queued (destroying it unrun, which releases
    // any caller blocked in call), so one test's leftovers never run in the next.
    static void discardPending();
};

} // namespace ui
