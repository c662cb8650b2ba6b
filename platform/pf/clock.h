#pragma once
// Every "now" of the terminal comes from a Clock, so that timers, retention and
// time stamps can be driven by tests.
#include <atomic>
#include <cstdint>

namespace pf {

struct LocalTime {
    int year = 0;    // e.g. 2024
    int month = 0;   // 1..12
    int day = 0;     // 1..31
    int hour = 0;    // 0..23
    int minute = 0;
    int second = 0;
    int millis = 0;  // 0..999
    int weekday = 0; // 0 = Sunday
};

class Clock {
public:
    virtual ~Clock() = default;
    // Seconds since the epoch, as time() gives them.
    virtual int64_t nowSeconds() const = 0;
    // Milliseconds since the epoch (for stamps with milliseconds).
    virtual int64_t nowMillis() const = 0;
    // A monotonic millisecond count for measuring intervals.
    virtual int64_t steadyMillis() const = 0;
    virtual void sleepMillis(int ms) = 0;

    // Local calendar time of an epoch-millisecond value.
    static LocalTime local(int64_t epochMillis);
    LocalTime localNow() const { return local(nowMillis()); }
};

class SystemClock final : public Clock {
public:
    int64_t nowSeconds() const override;
    int64_t nowMillis() const override;
    int64_t steadyMillis() const override;
    void sleepMillis(int ms) override;
};

// A clock that moves only when told to; sleeping returns at once after moving
// the clock forward by the slept time.
class ManualClock final : public Clock {
public:
    explicit ManualClock(int64_t epochMillis = 1'700'000'000'000) : m_millis(epochMillis) {}
    int64_t nowSeconds() const override { return m_millis.load() / 1000; }
    int64_t nowMillis() const override { return m_millis.load(); }
    int64_t steadyMillis() const override { return m_millis.load(); }
    void sleepMillis(int ms) override { m_millis += ms; }

    void advanceSeconds(int64_t s) { m_millis += s * 1000; }
    void advanceMillis(int64_t ms) { m_millis += ms; }
    void setMillis(int64_t epochMillis) { m_millis = epochMillis; }

private:
    std::atomic<int64_t> m_millis;
};

// The process-wide clock used where no clock is handed in (the log stamp, for
// one). Defaults to a SystemClock; tests install a ManualClock. The clock must
// outlive its installation.
Clock& clock();
void setClock(Clock* clock); // nullptr restores the system clock

} // namespace pf
