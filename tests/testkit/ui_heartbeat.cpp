#include "testkit/ui_heartbeat.h"

#include <QTimer>

#include <algorithm>

namespace testkit {

UiHeartbeat::UiHeartbeat(std::function<void()> onBeat) : m_onBeat(std::move(onBeat)), m_timer(new QTimer(this))
{
    m_clock.start();
    m_timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_timer, &QTimer::timeout, this, [this] { beat(); });
    m_timer->start(20);
}

UiHeartbeat::~UiHeartbeat() = default;

void UiHeartbeat::beat()
{
    const qint64 now = m_clock.elapsed();
    m_longest = std::max(m_longest, now - m_last);
    m_last = now;
    ++m_beats;
    if (m_onBeat)
        m_onBeat();
}

qint64 UiHeartbeat::longestGapMs() const
{
    return std::max(m_longest, m_clock.elapsed() - m_last);
}

} // namespace testkit
