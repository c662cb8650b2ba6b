#include "pf/clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace pf {

LocalTime Clock::local(int64_t epochMillis)
{
    time_t seconds = static_cast<time_t>(epochMillis / 1000);
    int millis = static_cast<int>(epochMillis % 1000);
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    struct tm parts {};
    localtime_r(&seconds, &parts);
    LocalTime t;
    t.year = parts.tm_year + 1900;
    t.month = parts.tm_mon + 1;
    t.day = parts.tm_mday;
    t.hour = parts.tm_hour;
    t.minute = parts.tm_min;
    t.second = parts.tm_sec;
    t.millis = millis;
    t.weekday = parts.tm_wday;
    return t;
}

int64_t SystemClock::nowSeconds() const
{
    return nowMillis() / 1000;
}

int64_t SystemClock::nowMillis() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

int64_t SystemClock::steadyMillis() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::sleepMillis(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

namespace {
SystemClock g_systemClock;
std::atomic<Clock*> g_clock{&g_systemClock};
} // namespace

Clock& clock()
{
    return *g_clock.load(std::memory_order_acquire);
}

void setClock(Clock* c)
{
    g_clock.store(c ? c : &g_systemClock, std::memory_order_release);
}

} // namespace pf
