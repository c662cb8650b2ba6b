#include "testkit/ui_heartbeat.h"

#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace testkit {

UiHeartbeat::UiHeartbeat(std::function<void()> onBeat) : m_onBeat(std::move(onBeat)), m_timer(new QTimer(this))
{
    m_clock.start();
    m_lastWait = runQueueWaitMs();
    m_timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_timer, &QTimer::timeout, this, [this] { beat(); });
    m_timer->start(20);
}

UiHeartbeat::~UiHeartbeat() = default;

qint64 UiHeartbeat::runQueueWaitMs()
{
    // "<time on a processor> <time waiting on a run queue> <slices>", in
    // nanoseconds, of the calling thread.
    FILE* f = std::fopen("/proc/thread-self/schedstat", "r");
    if (!f)
        return 0;
    unsigned long long onCpu = 0, waited = 0;
    const int read = std::fscanf(f, "%llu %llu", &onCpu, &waited);
    std::fclose(f);
    return read == 2 ? qint64(waited / 1'000'000) : 0;
}

void UiHeartbeat::beat()
{
    const qint64 now = m_clock.elapsed();
    const qint64 wait = runQueueWaitMs();
    m_longest = std::max(m_longest, now - m_last - (wait - m_lastWait));
    m_last = now;
    m_lastWait = wait;
    ++m_beats;
    if (m_onBeat)
        m_onBeat();
}

qint64 UiHeartbeat::longestGapMs() const
{
    return std::max(m_longest, m_clock.elapsed() - m_last - (runQueueWaitMs() - m_lastWait));
}

} // namespace testkit
