#include "frame/TerminalLock.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/SeException.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "frame/CMainFrame.h"
#include "frame/FeedControl.h"
#include "frame/FrameIds.h"
#include "frame/LoginHost.h"
#include "server/FeedState.h"
#include "server/RequestServer.h"

#include "pf/clock.h"
#include "pf/profile_store.h"
#include "pf/shell.h"
#include "ui/command_bar.h"
#include "ui/form.h"
#include "ui/modal_host.h"
#include "ui/ticker.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>

namespace {
// The answer id of the logged-out box's first button.
constexpr int kLoginAgain = 1000;
} // namespace

TerminalLock::TerminalLock(CMainFrame& frame, pf::Clock& clock, Services services)
    : QObject(&frame), m_frame(frame), m_services(std::move(services)), m_timer(clock)
{
    m_frame.installEventFilter(this);
    m_frame.Commands().add(ID_FILE_LOCKTERMINAL, [this] {
        if (m_unlock) {
            // The lock's own command while locked brings the dialog back.
            OnLockTerminal();
            return;
        }
        SetAccessTime();
        OnLockTerminal();
    });
    m_frame.Commands().add(ID_APP_EXIT, [this] { m_frame.close(); });
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::commitDataRequest, this, [this] { OnEndSession(true); });
}

TerminalLock::~TerminalLock()
{
    if (m_unlock)
        delete m_unlock.data();
    SetTerminalLocked(false);
}

void TerminalLock::OnTimer(int timerId)
{
    try {
        FrameTimerFacts facts;
        facts.loggedIn = IsLoggedIn();
        if (FeedControl* feed = m_services.feed) {
            facts.feedSocketOpen = feed->socketOpen();
            facts.feedRunning = feed->running();
            facts.lastFeedPacket = feed->lastPacketTime();
        }
        facts.lastActivity = GetAccessTime();
        facts.locked = m_locked;
        if (m_services.feed && m_services.feed->lastHeartbeatTime() > m_timer.lastHeartbeat())
            m_timer.stampHeartbeat(m_services.feed->lastHeartbeatTime());
        facts.lockMinutes = g_AppSettings.lock_minutes;
        facts.closeMinutes = g_Session.CloseTime;
        const FrameTimerDecision d = m_timer.tick(timerId, facts);
        if (d.heartbeat && m_services.feed)
            m_services.feed->heartbeat();
        if (d.stopFeed && m_services.feed)
            m_services.feed->watchdog();
        if (d.lock) {
            WriteLog(0, formatText("Get Login Details in Timer %d, Event:%d", MainFrameTimer::kTimerId, timerId));
            OnLockTerminal();
        }
        if (d.logout) {
            if (auto* ticker = m_frame.findChild<ui::Ticker*>())
                ticker->stopAll();
            const int answer = MyMessageBox(
                formatText("As you have not done any activity here since %ld Minutes, we think you were not using "
                           "your computer. For safety of your account, you have been logged out.",
                           static_cast<long>(g_Session.CloseTime)),
                "Logged Out", MsgIconQuestion | MsgDefButton2, {{"Login Again", kLoginAgain}, {"Exit ", 2}});
            m_locked = true;
            if (answer == kLoginAgain) {
                if (m_services.startLauncher)
                    m_services.startLauncher();
            }
            QMetaObject::invokeMethod(&m_frame, [f = QPointer<CMainFrame>(&m_frame)] {
                if (f)
                    f->close();
            }, Qt::QueuedConnection);
        }
    } catch (...) {
        WriteLog(0, "Exception in Timer in MainFrame");
    }
}

void TerminalLock::OnLockTerminal()
{
    try {
        m_locked = true;
        if (m_unlock) {
            m_unlock->raise();
            m_unlock->activateWindow();
            centreUnlockDialog();
            m_unlock->show();
        } else if (m_services.makeUnlockDialog) {
            ui::Form* dlg = m_services.makeUnlockDialog(*this);
            dlg->setParent(&m_frame, Qt::Dialog);
            dlg->setAttribute(Qt::WA_DeleteOnClose, false);
            m_unlock = dlg;
            SetTerminalLocked(true);
            ui::modalHost().showModeless(*dlg);
            centreUnlockDialog();
            dlg->activateWindow();
            setLockButton(true);
        }
        if (m_services.loginHost) {
            m_services.loginHost->updateProfileButton(1, 0);
            m_services.loginHost->setFeedbackButtonPopup(0);
        }
    } catch (...) {
        LogCaught("CMainFrame::OnLockTerminal");
        MsgBoxOk("Unable to Lock Terminal");
    }
}

void TerminalLock::centreUnlockDialog()
{
    if (!m_unlock)
        return;
    // Over the document area when there is one, else over the frame.
    QWidget* over = m_frame.centralWidget() ? m_frame.centralWidget() : &m_frame;
    const QRect v = over->geometry();
    const QPoint origin = over->mapToGlobal(QPoint(0, 0));
    const QSize d = m_unlock->frameGeometry().size();
    m_unlock->move(origin.x() + v.width() / 2 - d.width() / 2, origin.y() + v.height() / 2 - d.height() / 2);
}

void TerminalLock::Unlocked()
{
    m_locked = false;
    SetTerminalLocked(false);
    setLockButton(false);
}

void TerminalLock::clearUnlockDialog()
{
    if (ui::Form* dlg = m_unlock.data()) {
        m_unlock.clear();
        dlg->hide();
        dlg->deleteLater();
    }
    SetTerminalLocked(false);
}

void TerminalLock::setLockButton(bool locked)
{
    if (!m_frame.Ribbon())
        return;
    if (QAction* lock = m_frame.Ribbon()->action(ID_FILE_LOCKTERMINAL)) {
        const QString text = locked ? QStringLiteral("Unlock Terminal") : QStringLiteral("Lock Terminal");
        lock->setText(text);
        lock->setToolTip(text);
    }
}

bool TerminalLock::OnClose()
{
    try {
        WriteLog(0, formatText("Entry CMainFrame::OnClose :%d", m_locked ? 1 : 0));
        if (IsLoggedIn() && !m_locked
            && MyMessageBox("Do you want to Quit from this Application", kProductCaption,
                            MsgYesNo | MsgIconQuestion)
                   != 6)
            return false;
        if (m_services.linkShutdown)
            m_services.linkShutdown();
        SetLoggedIn(false);
        WriteLog(0, "***** Exit sequence Initialised *****");
        if (m_services.saveAlerts)
            m_services.saveAlerts();
        if (m_services.saveWorkspace)
            m_services.saveWorkspace();
        // The broker's logout page, only for a session with a client.
        const int client = pv_user_info.client_index < 0 ? 0 : pv_user_info.client_index;
        const std::string base(FixedTextView(g_Config.Redirect_Url));
        if (!base.empty() && FixedTextView(pv_user_info.session_id).size() > 0
            && client < static_cast<int>(g_Session.clients.size()) && m_services.shell) {
            const std::string url = base + "/qtrade/qlogout.exe?"
                + std::string(FixedTextView(g_Session.clients[static_cast<size_t>(client)].client_code));
            WriteLog(0, url);
            m_services.shell->openUrl(url, pf::ShowMode::Normal);
        }
    } catch (...) {
        WriteLog(0, "Exception in CMainFrame::OnClose");
    }
    if (m_unlock)
        clearUnlockDialog();
    return true;
}

void TerminalLock::OnEndSession(bool ending)
{
    if (!ending)
        return;
    SetLoggedIn(false);
    WriteLog(0, "Machine Shutdown/Logoff");
    if (m_services.profile)
        m_services.profile->setInt("Settings", "Fail", 0);
    if (m_services.feed)
        m_services.feed->watchdog();
    if (m_services.saveWorkspace)
        m_services.saveWorkspace();
    m_locked = true; // no question on the way out
    m_frame.Commands().invoke(ID_APP_EXIT);
}

bool TerminalLock::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_frame && event->type() == QEvent::Close && !m_closing) {
        if (!OnClose()) {
            event->ignore();
            return true;
        }
        m_closing = true;
    }
    return QObject::eventFilter(watched, event);
}
