#pragma once
// The program's one top-level window: the ribbon (a command bar routed by
// command id), the status bar of eight panes, the document area with tabs or
// tab groups, the docking "Messages" bar and the "Watchlist", "Market Status"
// and "Charts" panes, the themes and the accelerators. It also receives the
// notes for the user popup and the day events, shows the desktop popups and
// takes the program-wide messages of SetUserMessage from any thread.
//
// Its handlers run on the UI thread. UpdateConnectStatus and SetUserMessage
// may be called from any thread while the frame exists; the exit sequence
// stops those threads before the frame goes.
#include "ui/commands.h"
#include "ui/mailbox.h"
#include "ui/prompter.h"

#include <QIcon>
#include <QKeySequence>
#include <QMainWindow>
#include <QPointer>

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class COutputBar;
class FeedWindow;
class CMyPopupWindow;
class MyCBCGPStatusBar;
class QDockWidget;

namespace pf {
class ProfileStore;
class Shell;
class SoundService;
} // namespace pf
namespace ui {
class CaptionBar;
class CommandBar;
class DocumentArea;
class StatusPanes;
class Ticker;
} // namespace ui

class CMainFrame : public QMainWindow, public ui::NoteReceiver {
    Q_OBJECT
public:
    // What the frame needs of the rest of the program; tests replace it.
    struct Services {
        pf::Shell* shell = nullptr;            // opens popup addresses
        pf::SoundService* sound = nullptr;     // research-call sound
        pf::ProfileStore* profile = nullptr;   // the workspace profile ("ApplicationLook")
        // The services table: whether an event id's service is enabled.
        std::function<bool(long eventId)> serviceEnabled;
        // The broker's web address that a message popup opens.
        std::function<std::string()> brokerWebAddress;
        std::function<bool()> feedRunning;
        std::function<void()> onConnect;
        std::function<void()> onDisconnect;
        // The day-event processing of a day-event broadcast's fields.
        std::function<void(const std::vector<std::string>&)> dayProductEvent;
        // A step of UpdateShortcutElements that other parts own (1 web links,
        // 4 watch-list pane, 5 market-status pane, 6 study tree, 8 indices
        // file, 16 indices bar); it throws to report a failure.
        std::function<void(int step)> shortcutStep;
        // Re-themes the open dialogs and views after a theme change.
        std::function<void()> refreshCreatedDialogs;
        // Saves the settings files (SaveSettings by default).
        std::function<void()> saveSettings;
        // The main-frame timer (heartbeat, watchdog, lock and logout).
        std::function<void(int timerId)> onTimer;
    };

    explicit CMainFrame(Services services, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Builds the window; false when a part the frame cannot do without failed.
    bool OnCreate();
    static CMainFrame* Instance();

    ui::Commands& Commands() { return m_commands; }
    ui::CommandBar* Ribbon() const { return m_wndRibbonBar; }
    ui::StatusPanes* StatusPanes() const { return m_panes; }
    MyCBCGPStatusBar* StatusBar() const { return m_wndStatusBar; }
    ui::DocumentArea* Documents() const { return m_docs; }
    COutputBar* OutputBar() const { return m_wndOutput; }
    // The pane a toggle command shows and hides (32803, 32792, 32804, 1319).
    QDockWidget* PaneOf(int toggleId) const;
    // Puts a pane's content in place (the task panes are filled by their owners).
    void SetPaneWidget(int toggleId, QWidget* content);

    // The caption bar of that id across the top of the work area; made when
    // asked to and absent, else null. Bars stack in the order they were made.
    ui::CaptionBar* CaptionBarOf(int barId, bool create = true);

    // Status panes 3-5 from the session record and the login's CRN text.
    void UpdateUserPanes(std::string_view crnText);
    static std::string GcrnText(std::string_view crnText);

    // Opens a view that takes part in the feed as a document: it takes an
    // open-window slot (window type and index as the table wants them) and
    // frees it when the view is destroyed. Returns the slot, -1 when none.
    int OpenFeedView(QWidget* view, const QString& title, std::shared_ptr<FeedWindow> feed, int type, int index);

    // Any thread: pane 7 shows the feed's state (on the UI thread).
    void UpdateConnectStatus(bool connected);
    // Any thread: the quote time of status pane 6, when newer than the shown one.
    void ShowQuoteTime(int64_t epochSeconds);

    // Any thread. Returns 0.
    int SetUserMessage(long kind, char side, std::string_view text, std::string_view extra = {}, short popup = 0,
                       long eventId = 0);

    // UI thread: one popup per call.
    void ShowPopupMessage(const std::string& text, const std::string& address, long eventId,
                          const std::string& title, const std::string& linkText);
    std::vector<CMyPopupWindow*> OpenPopups() const;

    // Themes.
    void OnApplicationLook(int themeId);
    void SetApplicationLook(int themeId);
    int CurrentTheme() const { return m_nAppLook; }
    int RibbonBackground() const { return m_ribbonBackground; }

    // The document tabs' context menu: 205 without tab groups, else 207 with
    // only the moves the flags allow (2 horizontal, 1 vertical, 8 next, 4 previous).
    static ui::MenuSpec MdiTabMenu(bool tabGroups, int allowedFlags);
    bool OnShowMDITabContextMenu(QPoint globalPos, int allowedFlags);
    void EnableTabGroups(bool on);

    // The frame's keys and the commands they run.
    static const std::vector<std::pair<QKeySequence, int>>& Accelerators();

    // After login: the parts of the frame that depend on the user.
    void UpdateShortcutElements();
    void RefreshFont(int rebuild);

    // The ribbon's Profile and Feedback buttons (ProfileButtons): the photo
    // is read again (reload) and the panels attached or detached.
    void UpdateProfileButton(int reload, int withPopup);
    void SetFeedbackButtonPopup(int attach);
    // The 200-pixel profile picture; empty when the user has none.
    std::string ProfilePicturePath();

    // The notes of the frame (user popup, day event).
    void onNote(const ui::Note& note) override;
    void OnUserMessage(const std::string& text);
    int OnDayProductEvent(const std::string& text);

private:
    void CreateStatusBar();
    void CreateDockingWindows();
    void RegisterCommands();
    void RegisterAccelerators();
    void CyclePanes(int step);
    void ShowWindowsList();

    Services m_services;
    ui::Commands m_commands;
    ui::CommandBar* m_wndRibbonBar = nullptr;
    MyCBCGPStatusBar* m_wndStatusBar = nullptr;
    ui::StatusPanes* m_panes = nullptr;
    ui::DocumentArea* m_docs = nullptr;
    QWidget* m_captionHolder = nullptr;
    std::map<int, QPointer<ui::CaptionBar>> m_captionBars;
    COutputBar* m_wndOutput = nullptr;
    QDockWidget* m_wndWatchlist = nullptr;
    QDockWidget* m_wndMarketStatus = nullptr;
    QDockWidget* m_wndWorkSpace = nullptr;
    ui::Ticker* m_ticker = nullptr;
    QIcon m_hIconConnect;
    QIcon m_hIconDisconnect;
    int m_nAppLook = 0;
    int m_ribbonBackground = 0;
    bool m_tabGroups = false;
    std::atomic<bool> m_outputReady{false};
    std::atomic<int64_t> m_ShownQuoteTime{0};
    // The frame as its queued work sees it; cleared by the destructor.
    std::shared_ptr<std::atomic<CMainFrame*>> m_self;
    std::vector<QPointer<CMyPopupWindow>> m_popups;
};

// Any thread, never waiting: on the UI thread, maximises the main frame when
// it is not, then opens the price-alert popup of the fired alert.
void ShowAlertPopUp(int security, std::string name, std::string description, std::string trackedTime,
                    std::string key);

// The program's main frame, null before it is created and after it is gone.
extern std::atomic<CMainFrame*> g_pMainFrame;
