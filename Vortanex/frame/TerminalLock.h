#pragma once
// The main frame's periodic duties and its ways out: the 25-second timer
// (heartbeat, feed watchdog, idle lock, idle logout), the lock command with
// its modeless unlock dialog, the close question of the frame, the end of the
// desktop session and the application exit command. It attaches to a built
// frame through the frame's public hooks. UI thread.
#include "frame/MainFrameTimer.h"

#include <QObject>
#include <QPointer>

#include <filesystem>
#include <functional>
#include <string>

class CMainFrame;
class FeedControl;
class LoginHost;

namespace ui {
class Form;
}

namespace pf {
class Clock;
class ProfileStore;
class Shell;
} // namespace pf

class TerminalLock : public QObject {
    Q_OBJECT
public:
    struct Services {
        FeedControl* feed = nullptr;
        pf::Shell* shell = nullptr;
        pf::ProfileStore* profile = nullptr; // "Settings"/"Fail" at the end of the session
        LoginHost* loginHost = nullptr;      // the profile and feedback buttons while locked
        // Builds the unlock dialog (the login dialog in its unlock mode); the
        // lock owns what it returns. Without it the lock command does nothing.
        std::function<ui::Form*(TerminalLock& lock)> makeUnlockDialog;
        // "Login Again" after the idle logout starts the launcher.
        std::function<void()> startLauncher;
        // Saves the alerts before the frame closes (the alerts code installs it).
        std::function<void()> saveAlerts;
        // Shuts the spreadsheet link down before the frame closes.
        std::function<void()> linkShutdown;
        // Saves the open windows and the pane layout (the workspace), at the
        // close and at the end of the desktop session.
        std::function<void()> saveWorkspace;
    };

    TerminalLock(CMainFrame& frame, pf::Clock& clock, Services services);
    ~TerminalLock() override;

    // The frame's timer tick.
    void OnTimer(int timerId);
    // Command 32861 and the idle lock.
    void OnLockTerminal();
    // The frame is asked to close: true lets it close.
    bool OnClose();
    // The desktop session ends: no question, the program exits.
    void OnEndSession(bool ending);
    // After a successful unlock: the lock button reads "Lock Terminal" again.
    void Unlocked();

    // 1 while the terminal is locked or after the idle logout.
    bool locked() const { return m_locked; }
    bool loggedOut() const { return m_timer.loggedOut(); }
    ui::Form* unlockDialog() const { return m_unlock; }
    // Drops the unlock dialog (closed by the unlock or its cancel).
    void clearUnlockDialog();
    MainFrameTimer& timer() { return m_timer; }

    // The close rules apply to closes through the window system too.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setLockButton(bool locked);
    void centreUnlockDialog();

    CMainFrame& m_frame;
    Services m_services;
    MainFrameTimer m_timer;
    bool m_locked = false;
    bool m_closing = false;
    QPointer<ui::Form> m_unlock;
};
