#pragma once
// A 20 ms timer on the UI thread for the life of the object: it tells the
// longest time the UI thread was away from its event loop, and runs a check
// on each beat, so a test can look at a window while a delayed broker holds
// its reply back. A network wait on the UI thread shows as a gap as long as
// the delay; ordinary work under the sanitizers stays far below a second.
//
// A gap leaves out the time the thread was ready to run but had no processor
// (the kernel's run-queue wait for the thread): on a loaded machine the
// program's other threads and other processes can hold the UI thread off for
// seconds, which says nothing of the program. Work and waits still count.
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
    // moment asked), in milliseconds, less the thread's run-queue wait in it.
    qint64 longestGapMs() const;

private:
    void beat();
    // This thread's time ready to run without a processor so far, in
    // milliseconds (0 where the kernel does not tell it).
    static qint64 runQueueWaitMs();

    std::function<void()> m_onBeat;
    QTimer* m_timer = nullptr;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_lastWait = 0;
    qint64 m_longest = 0;
    int m_beats = 0;
};

} // namespace testkit
