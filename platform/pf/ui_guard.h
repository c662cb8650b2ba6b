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

// The UI thread waits for thread `id` for the scope (a join, or a wait on a
// result only that thread gives). Off the UI thread it does nothing.
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

} // namespace pf::uiguard
