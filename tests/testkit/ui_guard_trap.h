#pragma once
// The UI-thread guard in the test binaries: the main thread (which runs the
// event loop) is the UI thread, and a request, download or helper exchange
// made on it, or a wait on it for a thread inside one, fails the running test
// with the guard's line (the request and its caller) and a stack trace.
// Test bodies run on the UI thread: an exchange a test makes itself goes
// through onWorker, as the program's own exchanges run on workers.
#include "pf/ui_guard.h"
#include "ui/ui_thread.h"

#include <atomic>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

namespace testkit {

// The handler that fails the running test (from any thread).
pf::uiguard::Handler failingUiGuardHandler();

// Names the calling thread the UI thread and installs the failing handler,
// unless the build switched failing off (VX_UI_GUARD_FAILS), which leaves the
// program's logging default.
void installUiGuard();

// Runs f on a worker thread while the UI thread keeps handling events (a
// posted closure or a blocking UiThread::call of f gets through); returns f's
// result. The worker has finished when it is joined.
template <class F>
auto onWorker(F&& f) -> std::decay_t<std::invoke_result_t<F&>>
{
    using R = std::decay_t<std::invoke_result_t<F&>>;
    std::atomic<bool> done{false};
    if constexpr (std::is_void_v<R>) {
        std::thread worker([&] {
            f();
            done = true;
        });
        ui::UiThread::pumpUntil([&] { return done.load(); }, 600000);
        worker.join();
    } else {
        std::optional<R> result;
        std::thread worker([&] {
            result.emplace(f());
            done = true;
        });
        ui::UiThread::pumpUntil([&] { return done.load(); }, 600000);
        worker.join();
        return std::move(*result);
    }
}

} // namespace testkit
