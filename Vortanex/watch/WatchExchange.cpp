#include "watch/WatchExchange.h"

#include "server/RequestServerAccess.h"

#include "app/base/LogWriter.h"
#include "frame/CMainFrame.h"
#include "watch/CVortanexView.h"

#include "pf/ui_guard.h"
#include "ui/ui_thread.h"

#include <QApplication>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

void RunWatchExchange(QWidget* busy, const std::function<void()>& work)
{
    QPointer<QWidget> window(busy);
    const bool wasEnabled = window && window->isEnabled();
    if (window)
        window->setEnabled(false);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread worker([&work, done] {
        try {
            work();
        } catch (const std::exception& e) {
            WriteLog(0, std::string("Exception in a watch-list exchange: ") + e.what());
        } catch (...) {
            WriteLog(0, "Exception in a watch-list exchange");
        }
        done->store(true);
    });
    // Events are handled, but deferred deletions are not forced here: the
    // window that asked may have been closed meanwhile and must outlive
    // this call (its caller checks a guard afterwards).
    while (!done->load()) {
        if (!ui::UiThread::isCurrent()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!done->load())
            QThread::msleep(1);
    }
    pf::uiguard::join(worker, "a watch-list exchange");
    QApplication::restoreOverrideCursor();
    if (window && wasEnabled)
        window->setEnabled(true);
}

ServerAccess& WatchServerAccess()
{
    static RequestServerAccess program;
    ServerAccess* s = CVortanexView::services().server;
    return s ? *s : program;
}

void WatchUserMessage(const std::string& text)
{
    if (CMainFrame* frame = g_pMainFrame.load())
        frame->SetUserMessage(3, ' ', text);
    else
        WriteLog(3, text);
}
