#include "ui/ticker.h"

#include "ui/ui_thread.h"

#include "pf/log.h"

#include <QTimerEvent>

#include <exception>
#include <string>

namespace ui {

Ticker::Ticker(QObject* parent) : QObject(parent) {}

Ticker::~Ticker() = default; // QObject kills its timers

void Ticker::start(int id, int intervalMs)
{
    if (!UiThread::requireCurrent("Ticker::start"))
        return;
    stop(id);
    const int qtId = startTimer(intervalMs < 0 ? 0 : intervalMs);
    if (qtId == 0) {
        pf::logLine(0, "Ticker::start: timer " + std::to_string(id) + " could not be started");
        return;
    }
    m_timers[id] = qtId;
}

void Ticker::stop(int id)
{
    if (!UiThread::requireCurrent("Ticker::stop"))
        return;
    auto it = m_timers.find(id);
    if (it == m_timers.end())
        return;
    killTimer(it->second);
    m_timers.erase(it);
}

void Ticker::stopAll()
{
    if (!UiThread::requireCurrent("Ticker::stopAll"))
        return;
    for (const auto& [id, qtId] : m_timers)
        killTimer(qtId);
    m_timers.clear();
}

bool Ticker::running(int id) const
{
    return m_timers.count(id) != 0;
}

bool Ticker::fire(int id)
{
    if (!UiThread::requireCurrent("Ticker::fire") || !running(id))
        return false;
    tick(id);
    return true;
}

void Ticker::timerEvent(QTimerEvent* event)
{
    for (const auto& [id, qtId] : m_timers) {
        if (qtId == event->timerId()) {
            const int ourId = id; // the handler may stop or restart timers
            tick(ourId);
            return;
        }
    }
    QObject::timerEvent(event);
}

void Ticker::tick(int id)
{
    if (!onTick)
        return;
    try {
        onTick(id);
    } catch (const std::exception& e) {
        pf::logLine(0, "SException in Ticker::onTick " + std::to_string(id) + " : [" + e.what() + "]");
    } catch (...) {
        pf::logLine(0, "Exception in Ticker::onTick " + std::to_string(id));
    }
}

} // namespace ui
