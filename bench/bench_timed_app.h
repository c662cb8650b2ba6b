#pragma once
// An application that times every top-level event dispatch of the UI thread
// while measuring: the busy time and the longest event.
#include "bench_timing.h"

#include <QApplication>

#include <algorithm>

namespace benchtiming {

class TimedApp : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (m_depth++ > 0) {
            const bool r = QApplication::notify(receiver, event);
            --m_depth;
            return r;
        }
        const long long start = nowNs();
        const bool r = QApplication::notify(receiver, event);
        const long long ns = nowNs() - start;
        --m_depth;
        if (m_measuring) {
            m_busyNs += ns;
            m_longestNs = std::max(m_longestNs, ns);
        }
        return r;
    }
    bool m_measuring = false;
    long long m_busyNs = 0;
    long long m_longestNs = 0;

private:
    int m_depth = 0;
};

} // namespace benchtiming
