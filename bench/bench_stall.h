#pragma once
// How long the user waits for a reply's display and how long the UI thread
// is held meanwhile: a 5 ms heartbeat on the UI thread, whose longest gap is
// the longest stall.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <functional>

namespace benchstall {

struct Figures {
    double totalMs = 0; // from start to shown
    double stallMs = 0; // the UI thread's longest gap between heartbeats
};

// Runs `start` on the UI thread, then runs the event loop until `shown`
// holds (a minute at the most).
inline Figures measure(QApplication& app, const std::function<void()>& start, const std::function<bool()>& shown)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longest = 0;
    QTimer beat;
    beat.setInterval(5);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    beat.start();
    start();
    QElapsedTimer timeout;
    timeout.start();
    while (!shown() && timeout.elapsed() < 60000)
        app.processEvents(QEventLoop::WaitForMoreEvents, 10);
    const qint64 end = clock.nsecsElapsed();
    app.processEvents();
    longest = std::max(longest, clock.nsecsElapsed() - last);
    return {end / 1e6, longest / 1e6};
}

} // namespace benchstall
