#pragma once
// The application object: start-up from an empty process to a logged-in
// terminal (InitInstance), the message loop (Run) and the exit sequence
// (ExitInstance), which also runs after a start that gave up part-way. It
// owns the main frame, the single-instance lock, the companion lists and the
// program-wide tables of the session. UI thread.
#include "frame/FeedControl.h"

#include "pf/paths.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CCaptionBar;
class CMainFrame;
class CToolBoxBarEx;
class CToolBoxBarMS;
class CompanionLists;
class RequestServerAccess;
class SecurityMaster;
class TerminalLock;

namespace pf {
class InstanceLock;
class SoundService;
class ProfileStore;
class Shell;
} // namespace pf

class CVortanexApp {
public:
    struct Options {
        pf::Paths paths;                    // the program folder
        pf::Shell* shell = nullptr;         // null: the desktop's
        std::filesystem::path lockFolder;   // empty: the user's runtime folder
        std::string launcherName = "Brenlowix.exe";
        FeedControl* feed = nullptr;        // null: no feed
        pf::SoundService* sound = nullptr;  // null: the desktop's
        bool showMaximized = true;
        // The entry's crash guard was installed; false is logged once the log is open.
        bool crashGuardInstalled = true;
        // Every log line is committed to disk before the call returns (tests
        // switch it off: a commit costs milliseconds).
        bool logSyncPerLine = true;
    };

    // The values start-up reads and later parts use.
    static constexpr int kDefaultIdleLogout = 180;
    static constexpr const char* kProfileSection = "Settings";
    static constexpr const char* kLastLoginId = "Last Login Id";
    static constexpr const char* kLastLoginKind = "Last Login Kind";
    // The ribbon's "Scrip Alert" button.
    static constexpr int kScripAlertCommand = 1335;
    // How long the exit waits for the logout's answer.
    static constexpr int kLogoutWaitMs = 5000;

    CVortanexApp();
    ~CVortanexApp();
    CVortanexApp(const CVortanexApp&) = delete;
    CVortanexApp& operator=(const CVortanexApp&) = delete;

    void setOptions(Options options);
    const Options& options() const { return m_options; }

    // The start-up steps in their order; false ends the program (the caller
    // then runs ExitInstance).
    bool InitInstance();
    // The message loop; returns the exit code.
    int Run();
    // Safe after any start, complete or not. Returns the exit code.
    int ExitInstance();

    // Step helpers, named as the rest of the program calls them.
    std::string GetHostIpAddress();
    int CheckInternetConnection();
    // Moves every file of the program folder whose extension matches (without
    // regard to case) into folder, replacing a file of the same name there.
    // Returns the number moved.
    static int MoveFilesToFolder(const std::filesystem::path& from, std::string_view extension,
                                 const std::filesystem::path& folder);
    void CheckNewVersionPrg();
    static std::string GetFileDate(const std::filesystem::path& path);
    // 1 when another run holds the user's lock, else 0 (and the lock is kept).
    int CreateInstanceMutex();
    // Starts the launcher without waiting; "Unable to open Brenlowix" when it
    // cannot be started.
    void StartLauncher();
    // The price alerts' store, check and subscriptions; removed at exit.
    void InstallAlerts();
    void UninstallAlerts();
    // The crash-report text of a run that did not end through ExitInstance.
    std::string BuildCrashReport(int failCount, int width, int height) const;

    CMainFrame* mainFrame() const { return m_frame; }
    pf::ProfileStore& profile() const { return *m_profile; }
    pf::Shell& shell() const { return *m_shell; }
    CompanionLists* lists() const { return m_lists.get(); }
    TerminalLock* terminalLock() const { return m_lock.get(); }
    // The frame's task panes (owned by the frame; null without one).
    CToolBoxBarEx* watchlistPane() const { return m_watchPane; }
    CToolBoxBarMS* marketStatusPane() const { return m_statusPane; }
    int loginResult() const { return m_loginResult; }
    int idleLogout() const { return m_idleLogout; }
    bool viewRights() const { return m_viewRights; }
    bool orderRight() const { return m_orderRight; }
    bool broadcastLog() const { return m_broadcastLog; }
    const std::string& hostAddress() const { return m_hostAddress; }
    // The text the "Report Error" button sends; empty when there is nothing to report.
    const std::string& pendingErrorText() const { return m_pendingErrorText; }
    CCaptionBar* captionBar() const { return m_captionBar; }
    // The "Report Error" button: sends the pending text (code 3010).
    // The web links' commands: 33219 + the link's position, at most 50.
    static constexpr int kFirstWebLinkCommand = 33219;
    static constexpr int kLastWebLinkCommand = 33268;
    void OnCommandWebLink(int commandId);
    // True when the report was delivered.
    // Sends the crash report; done(delivered) comes on the UI thread.
    void OnReportError(std::function<void(bool delivered)> done);
    // ID_REPORTS_ORDERS (F3): the lock, access and client checks, then the
    // order book opens or the open one takes the pending security filter.
    // True when the book is shown.
    bool OnOrderReport();
    // The same filtered to one security (-1 none): the order form's Shift+F3.
    bool OnOrderReportFor(int securityIndex);
    // The settings broadcast: 1 the grid font changed, 2 settings or theme.
    void MyUpdate(int code);
    // The program's information text (build text and device id) that the
    // trailing, conversion and feedback requests carry; made at start-up.
    static std::string GetInfoText();
    // The risk window's report kind the last report command asked for (11
    // limits ... 15 sell from existing); 0 before any.
    int riskReportKind() const { return m_riskReportKind; }

private:
    // The application's window and dialog commands (books, reports, dialogs).
    void installWindowCommands();
    // The menu's fresh security download once its windows are closed: the
    // full file, with the start-up progress dialog. True when it loaded.
    bool DownloadFullSecurity();
    bool initSteps();
    bool orderReportAllowed();
    void runLookups();
    void openAutoWebLinks();
    void openAutoWebLinksOnceFeedIsUp();
    void freeTables();

    Options m_options;
    std::unique_ptr<pf::Shell> m_ownShell;
    pf::Shell* m_shell = nullptr;
    std::unique_ptr<pf::ProfileStore> m_profile;
    std::unique_ptr<pf::InstanceLock> m_instance;
    std::unique_ptr<RequestServerAccess> m_access;
    std::unique_ptr<SecurityMaster> m_master;
    std::unique_ptr<CompanionLists> m_lists;
    std::unique_ptr<TerminalLock> m_lock;
    std::unique_ptr<class AppLoginHost> m_loginHost;
    std::unique_ptr<class AppSettingsHost> m_settingsHost;
    std::shared_ptr<class AlertStore> m_alerts;
    std::unique_ptr<class DialogExchange> m_reportExchange; // the crash report on its way
    std::unique_ptr<pf::SoundService> m_sound; // the desktop's, unless the options give one
    std::unique_ptr<class AppOrderFormLinks> m_orderLinks;
    FeedControl m_noFeed;
    CMainFrame* m_frame = nullptr;
    CCaptionBar* m_captionBar = nullptr; // cleared when the bar goes
    CToolBoxBarEx* m_watchPane = nullptr;
    CToolBoxBarMS* m_statusPane = nullptr;
    int m_idleLogout = kDefaultIdleLogout;
    int m_loginResult = 0;
    bool m_viewRights = false;
    bool m_orderRight = false;
    int m_riskReportKind = 0;
    bool m_broadcastLog = false;
    bool m_logOpen = false;
    bool m_sessionOpen = false;
    bool m_failSet = false; // this run wrote "Fail" = 1
    bool m_alertsLoaded = false; // the alerts file was read: only then may the close write it back
    std::string m_hostAddress;
    std::string m_fileDates[3];
    std::string m_pendingErrorText;
};

// The program's one application object.
extern CVortanexApp theApp;
// The running application object (theApp, or the one a test runs).
CVortanexApp* CurrentApp();
