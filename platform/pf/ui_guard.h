#pragma once
// The rule that the UI thread never waits on the network or on a helper
// program, checked where it can be broken rather than hunted with a stopwatch:
// every request, download and HTTP call opens a Section on its thread, and so
// does every exchange with a helper program. A Section opened on the UI thread
// breaks the rule; so does the UI thread waiting (a join, a wait for a result)
// on a thread that is inside a Section while it waits.
//
// Until the thread that runs the event loop names itself nothing is checked
// (Qt-free programs and suites have no UI thread). A broken rule goes to the
// installed handler: the test kit fails the running test; the program logs
// each distinct line once.
#include <functional>
#include <source_location>
#include <string>
#include <string_view>
#include <thread>

namespace pf::uiguard {

// Names the thread that runs the event loop; a default id names none.
void setUiThread(std::thread::id id);
// True on the named UI thread.
bool onUiThread();

// Receives one line per broken rule, naming what was done and where.
using Handler = std::function<void(const std::string& line)>;
// An empty handler restores the default (each distinct line logged once, at
// level 0). Returns the handler that was installed.
Handler setHandler(Handler handler);

// The line for a broken rule; exposed for the handlers' own tests.
std::string describe(std::string_view what, const std::source_location& where);

enum class Kind { Network, Helper };

// The calling thread is on the network (or talking to a helper) for the
// scope. Sections nest; only the outermost one is checked and reported, so the
// request function names the request and its caller, not the HTTP call below it.
class Section {
public:
    explicit Section(Kind kind, std::string_view what,
                     std::source_location where = std::source_location::current());
    ~Section();
    Section(const Section&) = delete;
    Section& operator=(const Section&) = delete;

private:
    bool m_outer = false;
};

// The UI thread waits for thread `id` for the scope without serving events (a
// join, a pool's drain, a condition-variable or future wait on a result only
// that thread gives). Off the UI thread it does nothing. The waits of the
// terminal's own pieces (the handler pool, join() below) carry it; a wait
// that serves events meanwhile (the UI thread's wait for a worker) needs none.
class WaitFor {
public:
    explicit WaitFor(std::thread::id id, std::string_view what,
                     std::source_location where = std::source_location::current());
    ~WaitFor();
    WaitFor(const WaitFor&) = delete;
    WaitFor& operator=(const WaitFor&) = delete;

private:
    std::thread::id m_id;
    bool m_active = false;
};

// Joins thread under a WaitFor: the one plain join the UI thread may make, for
// a thread that has ended or is about to (never one that may be on the network).
void join(std::thread& thread, std::string_view what,
          std::source_location where = std::source_location::current());

// Serves the UI thread's pending events for up to ms milliseconds; the UI
// layer installs it (null: none, the waits below then only poll).
using EventPump = void (*)(int ms);
void setEventPump(EventPump pump);

// The one way the UI thread waits for a worker (its result, its end, a
// pool's queue): the UI thread's events are served meanwhile, because the
// worker may be waiting for the UI thread itself (a box, the proxy prompt),
// and the wait ends after timeoutMs whatever the worker does. A worker on the
// network is told to stop first (its exchange cancelled), so that the wait is
// short. True when done() held; false with a log line naming what was waited
// for. Off the UI thread it polls.
bool waitForWorker(std::string_view what, const std::function<bool()>& done, int timeoutMs,
                   std::source_location where = std::source_location::current());
// Collects a worker thread: waits as above until ended() holds, then joins
// it (join above). One still running at the bound is detached (false): it
// must hold nothing the caller frees.
bool joinWorker(std::thread& thread, const std::function<bool()>& ended, std::string_view what, int timeoutMs,
                std::source_location where = std::source_location::current());

} // namespace pf::uiguard
