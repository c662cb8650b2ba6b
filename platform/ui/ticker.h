#pragma once
// A window's timers, addressed by the numeric ids the window's code uses.
// Starting a running id restarts it with the new interval. UI thread only: Qt
// timers belong to the thread that starts them.
#include <QObject>

#include <functional>
#include <map>

namespace ui {

class Ticker : public QObject {
    Q_OBJECT
public:
    explicit Ticker(QObject* parent = nullptr);
    ~Ticker() override;

    void start(int id, int intervalMs);
    void stop(int id);
    void stopAll();
    bool running(int id) const;

    // Called on the UI thread with the id of the timer that fired.
    std::function<void(int id)> onTick;

    // Tests: delivers one tick of a running timer at once; false when the
    // timer is not running (a stopped timer never ticks).
    bool fire(int id);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void tick(int id);

    std::map<int, int> m_timers; // our id -> Qt timer id
};

} // namespace ui
