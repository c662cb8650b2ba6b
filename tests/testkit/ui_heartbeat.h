#pragma once
// A 20 ms timer on the UI thread for the life of the object: it tells the
// longest time the UI thread was away from its event loop, and runs a check
// on each beat, so a test can look at a window while a delayed broker holds
// its reply back. A network wait on the UI thread shows as a gap as long as
// the delay; ordinary work under the sanitizers stays far below a second.
#include <QElapsedTimer>
#include <QObject>

#include <functional>

class QTimer;

namespace testkit {

class UiHeartbeat final : public QObject {
public:
    explicit UiHeartbeat(std::function<void()> onBeat = {});
    ~UiHeartbeat() override;

    int beats() const { return m_beats; }
    // The longest gap between two beats (or from the start to the latest
    // moment asked), in milliseconds.
    qint64 longestGapMs() const;

private:
    void beat();

    std::function<void()> m_onBeat;
    QTimer* m_timer = nullptr;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    int m_beats = 0;
};

} // namespace testkit
