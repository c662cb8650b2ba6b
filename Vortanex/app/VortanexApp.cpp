#include "app/VortanexApp.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/CAboutDlg.h"
#include "app/CChgPassword.h"
#include "app/CDlgRiskDiscloser.h"
#include "app/CLogin.h"
#include "app/CMyProgressDlg.h"
#include "app/CNomineePopup.h"
#include "app/ChartViewWiring.h"
#include "app/CVortanexDoc.h"
#include "app/FrameCompletionWiring.h"
#include "app/InformationWiring.h"
#include "app/BooksWiring.h"
#include "app/MarketViewsWiring.h"
#include "app/PositionsWiring.h"
#include "app/ProfileFeedbackWiring.h"
#include "positions/RiskWindowOpener.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "frame/ImageCollections.h"
#include "app/base/LocalFileStamps.h"
#include "app/base/LogWriter.h"
#include "app/LoginExchange.h"
#include "frame/LoginHost.h"
#include "app/base/MachineDetails.h"
#include "app/base/MessageBox.h"
#include "app/base/ProgramPaths.h"
#include "app/base/ProgressReport.h"
#include "app/base/SeException.h"
#include "app/base/SessionRecord.h"
#include "app/SideDownloads.h"
#include "app/DialogExchange.h"
#include "app/UnlockLogin.h"
#include "app/WorkspaceWiring.h"
#include "app/base/TextFormat.h"
#include "frame/CCaptionBar.h"
#include "frame/CMainFrame.h"
#include "frame/FrameThemes.h"
#include "frame/CToolBoxBar.h"
#include "frame/FrameIds.h"
#include "frame/DesktopSound.h"
#include "frame/FrameSubscriptions.h"
#include "frame/MainFrameCommands.h"
#include "frame/TerminalLock.h"
#include "orders/CDlgOrderFormExp.h"
#include "orders/COrderViewEx.h"
#include "orders/CTsloOrderView.h"
#include "orders/TsloOrder.h"
#include "orders/OrderFormRules.h"
#include "orders/CTradeView.h"
#include "frame/OrderFormLinks.h"
#include "frame/WatchOrderCommands.h"
#include "server/CProxyDetails.h"
#include "server/CompanionLists.h"
#include "server/ExchangeCancel.h"
#include "server/ExtraSubscriptions.h"
#include "server/FeedSubscriptions.h"
#include "server/FeedState.h"
#include "server/FileDownloads.h"
#include "server/MarketLookups.h"
#include "server/RequestServer.h"
#include "server/RequestServerAccess.h"
#include "server/SecurityMaster.h"
#include "server/SecurityReload.h"
#include "server/SecurityRequests.h"
#include "server/ServerRequests.h"
#include "server/WatchColumns.h"
#include "watch/AlertStore.h"
#include "watch/AlertTable.h"
#include "watch/CAlertManager.h"
#include "frame/WatchOpeners.h"
#include "watch/excel/ExcelExportCommand.h"
#include "watch/AppWindowCommands.h"
#include "watch/CScripSearch.h"
#include "watch/CVortanexView.h"
#include "watch/CWatch.h"
#include "watch/WatchCommands.h"
#include "watch/WatchExchange.h"
#include "watch/WatchlistServer.h"
#include "watch/base/WatchlistTable.h"

#include "MyAsync.h"
#include "pf/clock.h"
#include "pf/desktop_shell.h"
#include "pf/files.h"
#include "pf/instance_lock.h"
#include "pf/profile_store.h"
#include "ui/grid_layout_state.h"
#include "ui/modal_host.h"
#include "ui/ui_thread.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QScreen>
#include <QTimer>

#include <sys/utsname.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <utility>

CVortanexApp theApp;

namespace vortanex_app_detail {
namespace {

std::atomic<CVortanexApp*> g_running{nullptr};

// The progress dialog of a security download (start-up and the menu's).
void showDownloadProgress(QWidget* parent)
{
    CMyProgressDlg::Show(parent, QStringLiteral("Vortanex"),
                         QStringLiteral("Hello, please wait for moment, System is downloading required files from "
                                        "server. The process may take a few minutes\u2026"),
                         QStringLiteral("Checking Security Date"));
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// "major.minor" of the running kernel, the closest thing to a Windows version.
std::pair<int, int> osVersion()
{
    utsname u{};
    if (uname(&u) != 0)
        return {0, 0};
    int major = 0;
    int minor = 0;
    std::sscanf(u.release, "%d.%d", &major, &minor);
    return {major, minor};
}

std::pair<int, int> screenSize()
{
    if (const QScreen* s = QGuiApplication::primaryScreen())
        return {s->geometry().width(), s->geometry().height()};
    return {0, 0};
}

// A folder of this user's own that no one else may write in: made 0700 when
// missing, refused when it belongs to another user, is no folder or lets
// others in.
bool privateFolder(const std::filesystem::path& dir)
{
    ::mkdir(dir.c_str(), 0700);
    struct stat st {};
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid()
        && (st.st_mode & 077) == 0;
}

// The runtime folder of the OS user, where the per-user instance locks live
// so that two program folders of one user still see each other. Without a
// runtime folder, the shared temporary folder's one is used only when it is
// the user's own and private (another local user who made it first would
// otherwise stop every start), else one under the home folder. Empty when
// none is fit.
std::filesystem::path defaultLockFolder()
{
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run)
        return std::filesystem::path(run) / "Vortanex";
    std::error_code ec;
    const std::filesystem::path temp =
        std::filesystem::temp_directory_path(ec) / ("Vortanex-" + std::to_string(getuid()));
    if (!ec && privateFolder(temp))
        return temp;
    WriteLog(0, "Lock folder " + temp.string() + " is not the user's own private folder");
    if (const char* home = std::getenv("HOME"); home && *home) {
        const std::filesystem::path own = std::filesystem::path(home) / ".vortanex-locks";
        if (privateFolder(own))
            return own;
        WriteLog(0, "Lock folder " + own.string() + " is not the user's own private folder");
    }
    return {};
}

} // namespace
} // namespace vortanex_app_detail

// The settings code tells the open windows of a change through the
// application's broadcast (the user's own settings read at login among them).
class AppSettingsHost final : public SettingsHost {
public:
    explicit AppSettingsHost(CVortanexApp& app) : m_app(app) {}
    void broadcastSettings(int code) override { m_app.MyUpdate(code); }
    // The defaults keep the theme the frame shows: the windows draw their
    // colours by it.
    int profileTheme() override
    {
        const CMainFrame* frame = m_app.mainFrame();
        return frame && IsThemeCommand(frame->CurrentTheme()) ? frame->CurrentTheme() : kDefaultTheme;
    }

private:
    CVortanexApp& m_app;
};

// What the login dialog needs of the program once the frame stands.
class AppLoginHost final : public LoginHost {
public:
    explicit AppLoginHost(CVortanexApp& app) : m_app(app) {}

    void clearUnlockDialog() override
    {
        if (TerminalLock* lock = m_app.terminalLock())
            lock->clearUnlockDialog();
    }
    void updateProfileButton(int reload, int withPopup) override
    {
        if (CMainFrame* frame = m_app.mainFrame())
            frame->UpdateProfileButton(reload, withPopup);
    }
    void setFeedbackButtonPopup(int on) override
    {
        if (CMainFrame* frame = m_app.mainFrame())
            frame->SetFeedbackButtonPopup(on);
    }
    void postApplicationExit() override
    {
        if (CMainFrame* frame = m_app.mainFrame())
            frame->Commands().post(ID_APP_EXIT);
    }
    void showNomineeNotice() override
    {
        CNomineePopup popup(m_app.shell(), m_app.mainFrame());
        const std::string base(FixedTextView(g_Config.Redirect_Url));
        popup.setTexts("Nominee Not Updated", "Update Nominee", CNomineePopup::DefaultMainText(),
                       CNomineePopup::DefaultNote(base + "/nominee_form.pdf", base + "/branch_locator"));
        ui::modalHost().run(popup);
    }
    void showRiskDisclosure() override
    {
        CDlgRiskDiscloser panel(m_app.shell(), m_app.mainFrame());
        ui::modalHost().run(panel);
    }
    std::vector<ServiceRecord>* currentServices() override
    {
        CompanionLists* lists = m_app.lists();
        if (!lists)
            return nullptr;
        // The marks of the services reply need the current list first: on a
        // first run, or after the broker changed its version, it is fetched
        // now, or every service would stay unmarked for the session.
        lists->GetServicesThread(CheckDate(3));
        return &lists->services;
    }

private:
    CVortanexApp& m_app;
};

// The windows the order form reaches that the application opens.
class AppOrderFormLinks final : public OrderFormLinks {
public:
    explicit AppOrderFormLinks(CVortanexApp& app) : m_app(app) {}

    void openOrderBook(int securityIndex) override { m_app.OnOrderReportFor(securityIndex); }
    // F7 runs the book's command with its lock, access and client rules.
    void openTsloBook() override { AppWindowCommands::Run(33314); }
    // "Estimated Charges": the desktop's own browser (the shell's default for
    // web addresses, so the command always carries the address).
    void openInBrowser(const std::string& address) override
    {
        WriteLog(0, "Browser command : " + BrowserCommandWithArgument("xdg-open"));
        m_app.shell().openUrl(address, pf::ShowMode::Default);
    }
    void openTradeBook(int securityIndex) override
    {
        if (AppWindowCommands::services().viewRights && !AppWindowCommands::services().viewRights()) {
            MsgBoxOk("You don't have access to view Trade Report");
            return;
        }
        OpenTradeBook(securityIndex);
    }
    // The "..." button: the scrip search hands its choice to the open form.
    void searchScrip() override
    {
        CScripSearch search(
            1,
            [](int, int security) {
                if (CDlgOrderFormExp* form = CDlgOrderFormExp::Instance())
                    form->ReturnMessage(security);
            },
            0, CDlgOrderFormExp::Instance());
        ui::modalHost().run(search);
    }

private:
    CVortanexApp& m_app;
};

CVortanexApp* CurrentApp()
{
    CVortanexApp* app = vortanex_app_detail::g_running.load();
    return app ? app : &theApp;
}

CVortanexApp::CVortanexApp() = default;

CVortanexApp::~CVortanexApp()
{
    if (m_settingsHost)
        SetSettingsHost(nullptr);
    CVortanexApp* self = this;
    vortanex_app_detail::g_running.compare_exchange_strong(self, nullptr);
}

void CVortanexApp::setOptions(Options options)
{
    m_options = std::move(options);
}

std::string CVortanexApp::GetHostIpAddress()
{
    m_hostAddress = login::LocalAddressText();
    if (m_hostAddress.empty())
        WriteLog(0, "Error : the local host name does not resolve");
    return m_hostAddress;
}

int CVortanexApp::CheckInternetConnection()
{
    // Nothing asks the system here: the first request tells.
    return 1;
}

int CVortanexApp::MoveFilesToFolder(const std::filesystem::path& from, std::string_view extension,
                                    const std::filesystem::path& folder)
{
    int moved = 0;
    std::error_code ec;
    const std::string want = vortanex_app_detail::lower(std::string(extension));
    std::vector<std::filesystem::path> matches;
    for (const auto& entry : std::filesystem::directory_iterator(from, ec)) {
        std::error_code fe;
        if (!entry.is_regular_file(fe))
            continue;
        if (vortanex_app_detail::lower(entry.path().extension().string()) == want)
            matches.push_back(entry.path());
    }
    if (matches.empty())
        return 0;
    pf::files::ensureDir(folder);
    for (const auto& p : matches) {
        std::error_code re;
        std::filesystem::rename(p, folder / p.filename(), re);
        if (re)
            WriteLog(0, "Could not move " + p.string() + " :" + re.message());
        else
            ++moved;
    }
    return moved;
}

void CVortanexApp::CheckNewVersionPrg()
{
    try {
        const auto archive = m_options.paths.comp() / "brenlowix.lzo";
        std::error_code ec;
        if (!std::filesystem::exists(archive, ec))
            return;
        WriteLog(0, "Uncompressing New Version Program");
        const auto packed = pf::files::readAll(archive);
        std::string out;
        if (packed && DecompressLZO(*packed, out)
            && pf::files::writeAtomic(m_options.paths.root() / m_options.launcherName, out)) {
            std::filesystem::permissions(m_options.paths.root() / m_options.launcherName,
                                         std::filesystem::perms::owner_exec | std::filesystem::perms::group_exec,
                                         std::filesystem::perm_options::add, ec);
            std::filesystem::remove(archive, ec);
            WriteLog(0, "Uncompressed New Version Program Successfully.");
        } else {
            WriteLog(0, "Unable to Uncompress New Version Program");
        }
    } catch (...) {
        WriteLog(0, "Exception in CheckNewVersionPrg");
    }
}

std::string CVortanexApp::GetFileDate(const std::filesystem::path& path)
{
    const std::optional<int64_t> when = pf::files::stampTime(path);
    if (!when)
        return {};
    const pf::LocalTime t = pf::Clock::local(*when * 1000);
    const std::string date = formatText("%02d/%02d/%d", t.day, t.month, t.year);
    WriteLog(0, formatText("File %s, Len %d, Date :%s", path.string().c_str(), static_cast<int>(date.size()),
                            date.c_str()));
    return date;
}

int CVortanexApp::CreateInstanceMutex()
{
    const std::filesystem::path folder =
        m_options.lockFolder.empty() ? vortanex_app_detail::defaultLockFolder() : m_options.lockFolder;
    if (folder.empty())
        return 2;
    pf::files::ensureDir(folder);
    m_instance = pf::InstanceLock::tryAcquire(folder, "Vortanex_" + std::string(FixedTextView(pv_user_info.user_id)));
    return m_instance ? 0 : 1;
}

void CVortanexApp::InstallAlerts()
{
    // A store already installed (a test's) stays.
    if (!CurrentAlertServices()) {
        m_alerts = std::make_shared<AlertStore>(m_options.paths.data());
        SetAlertServices(m_alerts);
    }
    // The alerts' securities are carried with no window showing them.
    ExtraSubscriptions::instance().attach(FeedSubscriptions::instance());
    ExtraSubscriptions::instance().setSource("alerts", [] { return AlertTable::instance().securities(); });
    AlertStore::setSoundService(m_options.sound, m_options.paths.root());
    // The alert manager: the ribbon's "Scrip Alert" with no security, the
    // market watch's "Set Alert" for a row, the popup's "Modify Alert".
    QWidget* frame = m_frame;
    m_frame->Commands().add(kScripAlertCommand, [frame] {
        if (!RefuseWhileLocked("Set Alert."))
            OpenAlertManager(frame, -1);
    });
    watchOpeners().alert = [frame](int security) { OpenAlertManager(frame, security); };
    AlertStore::setManagerOpener([frame](int security, const std::string& name, const std::string& key) {
        OpenAlertManager(frame, security, name, key);
    });
}

void CVortanexApp::UninstallAlerts()
{
    ExtraSubscriptions::instance().removeSource("alerts");
    watchOpeners().alert = {};
    AlertStore::setManagerOpener({});
    AlertStore::setSoundService(nullptr, {});
    if (m_alerts && CurrentAlertServices() == m_alerts)
        SetAlertServices(nullptr);
    m_alerts.reset();
    AlertTable::instance().clear();
}

void CVortanexApp::StartLauncher()
{
    const auto launcher = m_options.paths.root() / m_options.launcherName;
    std::error_code ec;
    if (!std::filesystem::exists(launcher, ec) || !m_shell || !m_shell->startProgram(launcher, {}))
        MsgBoxOk("Unable to open Brenlowix");
}

std::string CVortanexApp::BuildCrashReport(int failCount, int width, int height) const
{
    // The tail of the log, with the line ends and the request separators the
    // report text cannot carry turned into its own.
    std::string tail;
    const auto log = CurrentLogPath();
    if (!log.empty()) {
        std::ifstream in(log, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        tail = text.size() > 800 ? text.substr(text.size() - 800) : text;
    }
    for (char& c : tail) {
        if (c == '\n')
            c = '~';
        else if (c == '&')
            c = '|';
    }
    const auto [major, minor] = vortanex_app_detail::osVersion();
    const pf::LocalTime t = pf::clock().localNow();
    const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
    const std::string stamp =
        formatText("%02d%02d%d-%02d:%02d:%02d %s", t.day, t.month, t.year, hour12, t.minute, t.second,
                    t.hour < 12 ? "AM" : "PM");
    return formatText("LoginData=3010|%s~%s~%s~%s~%s~%d~%s~%dx%d~%s~%s~%s~%s~%s",
                       std::string(FixedTextView(pv_user_info.user_id)).c_str(),
                       std::string(FixedTextView(pv_user_info.feed_update_host)).c_str(),
                       std::string(FixedTextView(pv_user_info.user_name)).c_str(), kBuildText,
                       m_options.paths.root().string().c_str(), failCount,
                       formatText("%d.%d", major, minor).c_str(), width, height, m_fileDates[0].c_str(),
                       m_fileDates[1].c_str(), m_fileDates[2].c_str(), stamp.c_str(), tail.c_str());
}

void CVortanexApp::OnReportError(std::function<void(bool delivered)> done)
{
    if (m_pendingErrorText.empty()) {
        done(true);
        return;
    }
    // The report goes on its own thread: the window never waits on the
    // server, and the exit cancels a report still on its way.
    if (!m_reportExchange)
        m_reportExchange = std::make_unique<DialogExchange>([](bool) {});
    auto http = std::make_shared<int>(0);
    const std::string text = m_pendingErrorText;
    const bool started = m_reportExchange->run(
        [http, text](ExchangeCancel& cancel) {
            std::string reply;
            long length = 0;
            *http = RequestServer(1, 3010, text, reply, length, &cancel);
        },
        [this, http, done] {
            if (*http == 200) {
                MsgBoxInfo("Your Error is being reported successfully.");
                m_pendingErrorText.clear();
                done(true);
                return;
            }
            // A failed report is not shown as a success; the offer stays.
            MsgBoxInfo(formatText("Internet Connectivity Error [%d]. Pls contact System Administrator", *http));
            done(false);
        });
    if (!started)
        done(false);
}

bool CVortanexApp::orderReportAllowed()
{
    if (RefuseWhileLocked("View Orders."))
        return false;
    SetAccessTime();
    if (!m_viewRights) {
        MsgBoxOk("You don't have access to view Order Report");
        return false;
    }
    if (g_Session.clients_in_use <= 0) {
        MsgBoxOk("Activate Client for Order Report");
        return false;
    }
    if (g_pOrderViewEx)
        WriteLog(0, "CVortanexApp::OnOrderReport : Setting Sec Index");
    return true;
}

bool CVortanexApp::OnOrderReport()
{
    try {
        return orderReportAllowed() && OpenOrderBook() != nullptr;
    } catch (...) {
        LogCaught("OnOrderReport");
        return false;
    }
}

bool CVortanexApp::OnOrderReportFor(int securityIndex)
{
    try {
        return orderReportAllowed() && OpenOrderBookFor(securityIndex) != nullptr;
    } catch (...) {
        LogCaught("OnOrderReport");
        return false;
    }
}

std::string CVortanexApp::GetInfoText() { return ::GetInfoText(); }

void CVortanexApp::MyUpdate(int code)
{
    // The frame, the market watches, then the other windows (otherWindows).
    WatchCommands::MyUpdate(code);
}

void CVortanexApp::installWindowCommands()
{
    AppWindowCommands::Services& services = AppWindowCommands::services();
    services.viewRights = [this] { return m_viewRights; };
    services.setRiskKind = [this](int kind) { m_riskReportKind = kind; };
    // The dialogs that exist; the other windows' commands log that they are
    // not installed until their windows install themselves here.
    services.windows[ID_APP_ABOUT].open = [this] {
        CAboutDlg about(*m_shell, m_frame);
        return ui::modalHost().run(about) == ui::Ok;
    };
    services.windows[32860].open = [this] {
        CChgPassword change(std::string(FixedTextView(pv_user_info.user_id)), m_frame);
        return ui::modalHost().run(change) == ui::Ok;
    };
    services.windows[32863].open = [this] {
        CProxyDetails proxy(m_frame);
        return proxy.DoModal() == ui::Ok;
    };
    services.windows[32862].open = [this] { return DownloadFullSecurity(); };
    // The order book's command stays the application's own: it opens the
    // real book and passes it the pending security filter.
    AppWindowCommands::Register(m_frame->Commands(), {ID_REPORTS_ORDERS});
}

bool CVortanexApp::DownloadFullSecurity()
{
    if (!m_master)
        return false;
    // The order book goes with the market watches; it shows rows of the old
    // table's securities.
    if (COrderViewEx* book = g_pOrderViewEx) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(book->parentWidget()))
            sub->close();
        else
            book->close();
    }
    CloseRiskReportWindow();
    CloseTsloOrderBook();
    CloseBooksForSecurityDownload();
    CloseWebLinksForSecurityDownload();
    vortanex_app_detail::showDownloadProgress(m_frame);
    if (g_SecurityStampValues.fullLength > 0)
        SetSecurityDownloadStep(g_SecurityStampValues.fullLength / 6);
    if (g_pProgressDlg)
        g_pProgressDlg->stepProgress();
    SecurityStamp stamp;
    SecurityStamp::parse(FixedTextView(g_Session.security_stamp), stamp);
    m_master->prepareFullDownload(stamp);
    // The previous table is held until every holder of a security index has
    // read what its index named and found the security again.
    const std::shared_ptr<SecurityTable> before = SecurityTable::current();
    int loaded = -1;
    RunOffUiThread("GetSecurityThread", [this, &loaded] { loaded = m_master->GetSecurityThread(1); });
    CMyProgressDlg::CloseCurrent();
    const std::shared_ptr<SecurityTable> after = SecurityTable::current();
    if (before && after && before != after) {
        SecurityReload::instance().notify(*before, *after);
        FeedSubscriptions::instance().Update_Feeds_Token();
        FeedSubscriptions::instance().Update_MDepth_Token(1);
    }
    return loaded >= 0;
}

bool CVortanexApp::InitInstance()
{
    vortanex_app_detail::g_running.store(this);
    try {
        return initSteps();
    } catch (...) {
        WriteLog(0, formatText("Exception Login Ret : %d", m_loginResult));
        LogCaught("InitInstance");
        return false;
    }
}

bool CVortanexApp::initSteps()
{
    const pf::Paths& paths = m_options.paths;
    // 1-4. The framework's parts stand by themselves here; the host address
    // and the image collections are read now.
    m_idleLogout = kDefaultIdleLogout;
    if (!m_options.shell) {
        m_ownShell = std::make_unique<pf::DesktopShell>();
        m_shell = m_ownShell.get();
    } else {
        m_shell = m_options.shell;
    }
    GetHostIpAddress();
    LoadImageCollections();

    // 5. The program folder, the profile and its broadcast-log switch.
    SetProgramPaths(paths);
    m_profile = std::make_unique<pf::ProfileStore>(paths.config() / "Vortanex.profile.ini");
    // The grids keep their column layouts in the application profile.
    ui::GridLayoutState::setDefaultStore(m_profile.get());
    m_broadcastLog = m_profile->getInt(kProfileSection, "WriteBroadCastLog", 0) != 0;
    if (m_options.feed)
        m_options.feed->setBroadcastLog(m_broadcastLog ? paths.logs() : std::filesystem::path());

    // 6. The log.
    ClearSessionRecord();
    m_logOpen = StartLog(paths);
    SetLogSyncPerLine(m_options.logSyncPerLine);
    Log_Level = 0;
    g_Config.Connect_Type = 0;
    g_Config.Feeds_Type = 0;
    MyAsync::SetLogFolder(paths.root());
    MyAsync::SetClock(&pf::clock());
    WriteLog(0, "Current Dir :" + paths.root().string());
    if (!m_options.crashGuardInstalled)
        WriteLog(0, "Crash report handler could not be installed: a crash of this run leaves no report");

    // 7-8.
    CheckInternetConnection();
    SetBrowserFeatureControl("FEATURE_BROWSER_EMULATION", 11000);

    // 9. Loose files of an older layout go to their folders before anything
    // is read from them.
    if (!paths.ensureFolders())
        WriteLog(0, "Could not create the program's folders");
    MoveFilesToFolder(paths.root(), ".dat", paths.data());
    MoveFilesToFolder(paths.root(), ".lst", paths.comp());
    MoveFilesToFolder(paths.root(), ".lzo", paths.comp());
    MoveFilesToFolder(paths.root(), ".pdf", paths.docs());
    MoveFilesToFolder(paths.root(), ".chm", paths.docs());
    MoveFilesToFolder(paths.root(), ".ini", paths.config());
    MoveFilesToFolder(paths.root(), ".wav", paths.sound());
    MoveFilesToFolder(paths.root(), ".log", paths.logs());

    // 10. The configuration.
    if (ReadConfigFile() == 1) {
        MsgBoxOk("Unable to Read Configuration File.");
        return false;
    }
    WriteLog(0, formatText("TradePort[%ld]FeedPort[%ld]", static_cast<long>(g_Config.Trade_Port),
                            static_cast<long>(g_Config.Feed_Port)));

    // 11. The program-wide tables start empty.
    MarketStatusTable::instance().reset();
    IndexTable::instance().reset();
    WatchlistTable::instance().reset();

    // 12. Machine details.
    const auto [major, minor] = vortanex_app_detail::osVersion();
    WriteLog(0, formatText("OS Version :%s, MFC Version :0x0%X", formatText("%d.%d", major, minor).c_str(), 0xC00));
    PrintOSVersion();
    CheckNewVersionPrg();

    // 13. The HTTP session every exchange shares, with the configuration's
    // certificate checks.
    RootInternetSession();
    ApplyConfiguredTls();
    m_sessionOpen = true;
    m_access = std::make_unique<RequestServerAccess>();

    // 14. The shared settings.
    GetProxyDetails(0, "");
    g_AppSettings.message_popup_switch = 1;

    // 15. The main frame.
    CMainFrame::Services services;
    services.shell = m_shell;
    if (!m_options.sound) {
        m_sound = std::make_unique<DesktopSound>(paths);
        m_options.sound = m_sound.get();
    }
    services.sound = m_options.sound;
    services.profile = m_profile.get();
    services.feedRunning = [this] { return m_options.feed && m_options.feed->running(); };
    services.onConnect = [this] {
        if (m_options.feed)
            m_options.feed->connect();
    };
    services.onDisconnect = [this] {
        if (m_options.feed)
            m_options.feed->disconnect();
    };
    services.serviceEnabled = [this](long id) {
        if (m_lists)
            for (const ServiceRecord& s : m_lists->services)
                if (s.id == id)
                    return s.subscribed != 0;
        return false;
    };
    services.brokerWebAddress = [] { return std::string(FixedTextView(g_Config.Redirect_Url)); };
    // The open modeless scrip search takes a new look where it stands.
    services.refreshCreatedDialogs = [] { CScripSearch::RefreshStyle(); };
    // The day events of the feed, split by the frame.
    services.dayProductEvent = [](const std::vector<std::string>& f) { InformationDayProductEvent(f); };
    // The frame's steps after login that the task panes own.
    services.shortcutStep = [this](int step) {
        if (step == 4 && m_watchPane)
            m_watchPane->UpdateElements();
        else if (step == 5 && m_statusPane)
            m_statusPane->AddElements();
        else if ((step == 8 || step == 16) && m_frame)
            MarketViewsShortcutStep(*m_frame, step);
        else if (step == 1 && m_frame)
            FrameCompletionShortcutStep(*m_frame, step);
        else if (step == 6 && m_frame)
            ChartViewsShortcutStep(*m_frame, step);
    };
    services.onTimer = [this](int id) {
        if (m_lock)
            m_lock->OnTimer(id);
    };
    m_frame = new CMainFrame(std::move(services));
    if (!m_frame->OnCreate()) {
        WriteLog(0, "Main frame creation failed");
        return false;
    }
    m_settingsHost = std::make_unique<AppSettingsHost>(*this);
    SetSettingsHost(m_settingsHost.get());
    m_watchPane = new CToolBoxBarEx;
    m_statusPane = new CToolBoxBarMS;
    m_frame->SetPaneWidget(ID_VIEW_WATCHLIST, m_watchPane);
    m_frame->SetPaneWidget(ID_VIEW_MARKET_STATUS, m_statusPane);
    // The market watch opens the lists the pane offers and keeps the pane in
    // step with its changes; order entry serves the order form.
    m_watchPane->onOpenList = [](int list) {
        WatchCommands::OnSelWatchList(WatchlistTable::instance().record(list).panePage, list);
    };
    WatchCommands::services().pane = [this](int action, int index) {
        if (m_watchPane)
            m_watchPane->UpdateWatchlist(action, index);
    };
    WatchCommands::Register(m_frame->Commands());
    InstallExcelLink(watchOpeners()); // the market watch's spreadsheet link
    // The market watch's list chooser and its holdings and positions lists.
    CVortanexView::services().chooseWatchlist = [](int action) { return ChooseWatchlist(action); };
    // One holdings or positions request at a time: another view asking
    // meanwhile is refused, and its list stays as it was.
    static bool riskListBusy = false;
    CVortanexView::services().getInvestments = [](int index, QWidget* busy) {
        if (std::exchange(riskListBusy, true)) {
            WriteLog(3, "Holdings list request refused: another is running");
            return;
        }
        ServerAccess& server = WatchServerAccess();
        RunWatchExchange(busy, [index, &server] { BuildHoldingsList(index, server); });
        riskListBusy = false;
    };
    CVortanexView::services().getPositions = [](int index, QWidget* busy) {
        if (std::exchange(riskListBusy, true)) {
            WriteLog(3, "Positions list request refused: another is running");
            return;
        }
        ServerAccess& server = WatchServerAccess();
        RunWatchExchange(busy, [index, &server] { BuildPositionsList(index, server); });
        riskListBusy = false;
    };
    installWindowCommands();
    // The settings broadcast reaches the order book after the market watches.
    WatchCommands::services().otherWindows = [](int code) {
        if (COrderViewEx* book = g_pOrderViewEx)
            book->MyUpdate(code);
    };
    InstallOrderEntry();
    InstallTsloOrderBook();
    GetInfoText();
    InstallAlerts();
    m_orderLinks = std::make_unique<AppOrderFormLinks>(*this);
    SetOrderFormLinks(m_orderLinks.get());
    m_frame->Commands().add(ID_REPORTS_ORDERS, [this] { OnOrderReport(); });
    InstallMarketViews(*m_frame);
    InstallBooks(*m_frame);
    if (m_shell)
        InstallFrameCompletion(
            *m_frame, *m_shell,
            [this] {
                if (m_options.feed)
                    m_options.feed->connect();
            },
            [this] {
                if (m_options.feed)
                    m_options.feed->disconnect();
            });
    InstallChartViews(*m_frame);
    if (m_frame->Documents())
        InstallDocumentClosing(*m_frame->Documents());
    InstallPositions(*m_frame, [this] { return m_riskReportKind; }, m_shell);
    InstallInformationDisplays(*m_frame, m_shell);
    m_loginHost = std::make_unique<AppLoginHost>(*this);
    TerminalLock::Services lockServices;
    lockServices.feed = m_options.feed;
    lockServices.shell = m_shell;
    lockServices.profile = m_profile.get();
    lockServices.loginHost = m_loginHost.get();
    lockServices.makeUnlockDialog = [this](TerminalLock& lock) -> ui::Form* {
        return m_shell ? MakeUnlockDialog(*m_shell, m_loginHost.get(), lock) : nullptr;
    };
    lockServices.startLauncher = [this] { StartLauncher(); };
    // The frame can close before the start-up has loaded the alerts (and
    // before the user is known): writing the empty table then would wipe the
    // user's alerts file.
    lockServices.saveAlerts = [this] {
        if (!m_alertsLoaded)
            return;
        if (auto alerts = CurrentAlertServices())
            alerts->WriteAlertDataToFile();
    };
    InstallWorkspace(*m_frame);
    lockServices.saveWorkspace = [this] {
        if (m_frame && m_profile)
            SaveAppWorkspace(*m_frame, *m_profile);
    };
    m_lock = std::make_unique<TerminalLock>(*m_frame, pf::clock(), lockServices);
    InstallProfileAndFeedback(*m_frame, [this] {
        if (m_lock)
            m_lock->OnLockTerminal();
    });
    RegisterOrderCommands(*m_frame, [this] { return m_orderRight; });
    m_frame->Commands().addRange(kFirstWebLinkCommand, kLastWebLinkCommand,
                                 [this](int id) { OnCommandWebLink(id); });
    // Last: the buttons whose windows are not built yet say so.
    InstallNotAvailableCommands(m_frame->Commands());
    if (m_options.showMaximized)
        m_frame->showMaximized();
    else
        m_frame->show();

    // 16. The activity stamp and the local master's stamp for the login.
    SetAccessTime();
    CopyFixedText(g_Session.security_stamp, "0");
    ReadSecurityStamp();
    m_lists = std::make_unique<CompanionLists>(paths, *m_access, DownloadHost());
    SetCurrentCompanionLists(m_lists.get());

    // 17. The login.
    {
        CLogin login(*m_shell, m_loginHost.get(), m_frame);
        login.setLastId(m_profile->getText(kProfileSection, kLastLoginId),
                        m_profile->getInt(kProfileSection, kLastLoginKind, 1) == 2);
        m_loginResult = ui::modalHost().run(login);
        WriteLog(0, formatText("Login Ret : %d", m_loginResult));
        if (m_loginResult != 1) {
            if (m_loginResult == 2 && login.lastStatus() == 60041)
                StartLauncher();
            return false;
        }
        // The next start offers the same id (as the server spells it).
        const bool nick = pv_user_info.id_kind == 2;
        m_profile->setText(kProfileSection, kLastLoginId,
                           nick ? FixedTextView(pv_user_info.nick_name) : FixedTextView(pv_user_info.user_id));
        m_profile->setInt(kProfileSection, kLastLoginKind, nick ? 2 : 1);
    }
    const std::string uid(FixedTextView(pv_user_info.user_id));

    // 19. The market watch's column layout.
    const WatchColumnLayout layout = LoadWatchColumns(paths, uid);
    WatchlistTable::instance().setDefaultLayout(layout.count, layout.kinds);

    // 20. Status panes.
    m_frame->UpdateUserPanes(FixedTextView(g_Config.Gcrn));

    // 21. One run per user.
    if (const int lock = CreateInstanceMutex(); lock == 1) {
        MsgBoxInfo(formatText("Vortanex Application already started with User '%s'.", uid.c_str()));
        return false;
    } else if (lock == 2) {
        MsgBoxInfo("Vortanex cannot start: no private folder for its lock could be made (the temporary folder's "
                   "one belongs to another user or lets others in, and none could be made in the home folder).");
        return false;
    }

    // 22. The crash flag: set until the exit sequence clears it.
    m_frame->repaint();
    const int fail = m_profile->getInt(kProfileSection, "Fail", 0);
    const int failCount = m_profile->getInt(kProfileSection, "Fail Count", 0);
    m_profile->setInt(kProfileSection, "Fail", 1);
    m_failSet = true;

    // 23. The user's log.
    m_logOpen = SwitchToUserLog(uid) || m_logOpen;

    // 24. Report rights.
    const char right = LoginFlagAt(12);
    m_viewRights = !(pv_user_info.user_type == 'V' || right == '3' || right == '4');
    // A view-only user places no orders.
    m_orderRight = pv_user_info.user_type != 'V';
    // The market watch's buy and sell follow the report rights' rule.
    SetTradingAllowed(m_viewRights);

    // 25. The crash-report offer of a run that did not end properly.
    const auto [width, height] = vortanex_app_detail::screenSize();
    if (fail != 0) {
        m_pendingErrorText = BuildCrashReport(failCount, width, height);
        m_captionBar = CCaptionBar::Create(*m_frame, CCaptionBar::kCrashText,
                                           [this](std::function<void(bool)> done) { OnReportError(std::move(done)); });
        QObject::connect(m_captionBar, &QObject::destroyed, [this] { m_captionBar = nullptr; });
    }

    // 26.
    WriteLog(0, formatText("OS Version :%s, MFC Version :0x0%X", formatText("%d.%d", major, minor).c_str(), 0xC00));
    WriteLog(0, formatText("User Id : %s, Screen Resolution :%dx%d", uid.c_str(), width, height));
    WriteLog(0, "Starting Security Download");

    // 27. The progress dialog. The downloads and look-ups below run off the
    // UI thread (RunOffUiThread) while it serves the dialog; each ends before
    // the next step begins, so the order is kept. The dialog hears of them
    // through the thread-safe progress calls.
    vortanex_app_detail::showDownloadProgress(m_frame);
    const auto progress = [](std::string_view text) { ShowProgressMessage(text); };

    // 28. The security master.
    m_master = std::make_unique<SecurityMaster>(paths, *m_access, DownloadHost());
    m_master->setProgress(progress);
    int loaded = -1;
    RunOffUiThread("GetSecurityThread", [this, &loaded] {
        CheckDate(1);
        if (g_SecurityStampValues.fullLength > 0)
            SetSecurityDownloadStep(g_SecurityStampValues.fullLength / 4);
        SecurityStamp stamp;
        SecurityStamp::parse(FixedTextView(g_Session.security_stamp), stamp);
        const int kind = m_master->prepareStartup(stamp);
        loaded = m_master->GetSecurityThread(kind);
    });
    if (loaded < 0) {
        CMyProgressDlg::CloseCurrent();
        return false;
    }
    const std::shared_ptr<SecurityTable> table = SecurityTable::current();

    // 29-31. The advisory file, categories and services.
    m_lists->setProgress(progress);
    bool segment12 = false;
    for (int i = 0; i < pv_user_info.segment_count && i < static_cast<int>(pv_user_info.segments.size()); ++i)
        segment12 = segment12 || pv_user_info.segments[static_cast<size_t>(i)].id == 12;
    RunOffUiThread("GetCategoryThread", [this, &table, segment12] {
        if (table)
            m_lists->GetPellbrookFile(CheckDate(4), *table);
        StepProgress();
        m_lists->GetCategoryThread(CheckDate(2), table.get(), segment12);
        StepProgress();
        WriteLog(0, "Security Download Completed");
        m_lists->GetServicesThread(CheckDate(3));
    });
    g_Config.services = &m_lists->services;
    StepProgress();
    WriteLog(0, "Services Download Completed");

    // 32.
    RunOffUiThread("CheckMFCDLLThread", [] {
        CheckMFCDLLThread();
        CheckOCXThread();
    });

    // 33. The user's own client entry becomes the active client.
    FillOwnClientEntry();

    // 34-36. The first look-ups.
    runLookups();
    StepProgress();
    SetLoggedIn(true);
    m_frame->UpdateShortcutElements();

    // 37. The welcome lines.
    m_frame->SetUserMessage(3, ' ',
                            formatText("Dear %s Welcome to %s", std::string(FixedTextView(pv_user_info.user_name)).c_str(),
                                        "Vortanex Ver 2.3"));
    const std::string last(FixedTextView(g_Session.last_login));
    if (g_Session.password_days >= 0)
        m_frame->SetUserMessage(
            3, ' ',
            formatText("Last Login Time :%s, Login Attempts for today :%d,Your Password will expire in next %d days",
                        last.c_str(), g_Session.login_value24, g_Session.password_days));
    else
        m_frame->SetUserMessage(3, ' ', formatText("Last Login Time :%s, Login Attempts for today :%d", last.c_str(),
                                                    g_Session.login_value24));

    // 38. Research calls, reference rates, settings. The calls' lines are
    // shown once their exchange has ended, in the order they came.
    RequestSession session;
    session.session_id = std::string(FixedTextView(pv_user_info.session_id));
    session.user_id = uid;
    session.encrypt = pv_user_info.encrypt;
    std::vector<std::pair<std::string, std::string>> calls;
    RunOffUiThread("GetMktResearchCalls", [this, &calls, &session] {
        GetMktResearchCalls(*m_access, m_lists->services, [&calls](const std::string& text, const std::string& extra) {
            calls.emplace_back(text, extra);
        });
        GetCrossCurrencyRefRate(*m_access, session);
    });
    for (const auto& [text, extra] : calls)
        m_frame->SetUserMessage(4, ' ', text, extra, 0, 0);
    SaveSettings();
    if (auto alerts = CurrentAlertServices()) {
        alerts->ReadAlertDataFromFile();
        m_alertsLoaded = true;
    }

    // 39-40. Done: the saved windows reopen, then the feed starts, so its
    // first subscription carries their securities.
    CMyProgressDlg::CloseCurrent();
    if (m_profile)
        RestoreAppWorkspace(*m_frame, *m_profile);
    if (m_options.feed)
        m_options.feed->connect();
    m_frame->activateWindow();
    openAutoWebLinksOnceFeedIsUp();
    WriteLog(0, "Start-up completed");
    return true;
}

void CVortanexApp::openAutoWebLinksOnceFeedIsUp()
{
    // A page in the program's browser takes the UI thread for seconds while
    // the web engine starts; opened before the feed, it held the feed's
    // connect and the first quotes on screen. So the pages wait until the
    // feed is up and the first quotes are in the market watches' cells (a
    // tick later they are painted), or, with no quote to show, a while after
    // the feed came up, or until the feed has had long enough to come up, so
    // that a feed that is down never loses them.
    constexpr int kPollMs = 50;
    constexpr int kUpWithoutQuotesMs = 3000;
    constexpr int kLongestWaitMs = 10000;
    // Without a feed (none configured) nothing is held: they open now.
    if (!m_options.feed || !m_options.feed->running() || !m_frame) {
        openAutoWebLinks();
        return;
    }
    auto* timer = new QTimer(m_frame); // goes with the frame at the exit
    timer->setInterval(kPollMs);
    struct Wait {
        int waited = 0;
        int upFor = 0;
        uint64_t quotesBefore = CVortanexView::quotesShown();
        bool quotesIn = false;
    };
    auto wait = std::make_shared<Wait>();
    QObject::connect(timer, &QTimer::timeout, timer, [this, timer, wait] {
        wait->waited += kPollMs;
        const bool up = m_options.feed && m_options.feed->up();
        if (up)
            wait->upFor += kPollMs;
        // Quotes seen in the cells on an earlier tick have been painted since.
        const bool ready =
            wait->quotesIn || wait->upFor >= kUpWithoutQuotesMs || wait->waited >= kLongestWaitMs;
        wait->quotesIn = wait->quotesIn || (up && CVortanexView::quotesShown() != wait->quotesBefore);
        if (!ready)
            return;
        timer->stop();
        timer->deleteLater();
        if (!IsLoggedIn())
            return;
        WriteLog(0, up ? "Opening the login's web links: the feed is up"
                       : "Opening the login's web links: the feed did not come up");
        openAutoWebLinks();
    });
    timer->start();
}

void CVortanexApp::runLookups()
{
    // The exchanges run off the UI thread; the links that open by themselves
    // open windows, so they open here, between the two as before.
    // The links that open by themselves open once the feed is up
    // (openAutoWebLinksOnceFeedIsUp).
    RunOffUiThread("GetMarketStatus", [this] {
        WriteLog(0, "Requesting Market Status");
        GetMarketStatus(*m_access);
        WriteLog(0, "Getting Weblinks");
        GetWebLinks();
    });
    WriteLog(0, "Weblinks Request Completed");
    RunOffUiThread("Get_Indices", [this] {
        WriteLog(0, "Requesting Indices Details");
        Get_Indices(*m_access);
        WriteLog(0, "Indices Request Completed");
        Get_Watchlist(*m_access, FixedTextView(pv_user_info.user_id), m_lists->categories);
    });
}

void CVortanexApp::openAutoWebLinks()
{
    for (int i = 0; i < g_WebLinkTable.count(); ++i) {
        const char kind = g_WebLinkTable.links[static_cast<size_t>(i)].Pref[2];
        if (kind == 'O' || kind == 'T')
            OnCommandWebLink(kFirstWebLinkCommand + i);
    }
}

void CVortanexApp::OnCommandWebLink(int commandId)
{
    try {
        if (IsTerminalLocked()) {
            MsgBoxInfo("Terminal is Locked. Pls Unlock to proceed.");
            return;
        }
        const int number = commandId - kFirstWebLinkCommand;
        // The table is replaced by every fetch: a command of a link that is
        // gone does nothing.
        if (number < 0 || number >= g_WebLinkTable.count()) {
            WriteLog(0, formatText("Web link command %d out of range", commandId));
            return;
        }
        const WebLinkRecord link = g_WebLinkTable.links[static_cast<size_t>(number)]; // a copy: a fetch may replace the table
        const std::string pref(FixedTextView(link.Pref));
        const auto at = [&pref](size_t i) { return i < pref.size() ? pref[i] : '\0'; };
        WriteLog(0, formatText("OnCommandWebLink ID %d, Ctr %d UserType : %c, Pref : %s, WebId :%d", commandId, number,
                                pv_user_info.user_type ? pv_user_info.user_type : ' ', pref.c_str(), link.WebId));
        if (WebLinkOpensInView(link)) {
            OpenWebLinkInView(number);
            return;
        }
        std::string client;
        const int current = pv_user_info.client_index < 0 ? 0 : pv_user_info.client_index;
        if (at(1) == '2' && at(2) != 'F' && current < static_cast<int>(g_Session.clients.size()))
            client = std::string(FixedTextView(g_Session.clients[static_cast<size_t>(current)].client_code));
        // Without encryption the values go into the address as they are: each
        // is encoded, so that none can add a parameter or a fragment.
        const bool plain = pv_user_info.encrypt == 0;
        const auto value = [plain](std::string_view v) { return plain ? UrlEncode(v, true) : std::string(v); };
        std::string query = formatText("LoginData=1002|%s|%s|%d&ClientUserId=%s",
                                        value(FixedTextView(pv_user_info.user_id)).c_str(),
                                        value(FixedTextView(pv_user_info.session_id)).c_str(), link.WebId,
                                        value(client).c_str());
        WriteLog(0, query);
        if (pv_user_info.encrypt != 0) {
            std::string encoded;
            if (!EncryptRequest(query, encoded)) {
                WriteLog(0, "Web link not opened: the request could not be encoded");
                return;
            }
            query = UrlEncode(encoded, true);
        }
        const std::string address = std::string(FixedTextView(g_Config.Redirect_Url)) + "/qtrade/qlogin.exe?" + query;
        WriteLog(0, address);
        if (m_frame && m_shell && OpenWebLinkInProgram(*m_frame, *m_shell, link, number, address))
            return;
        // The desktop's browser gets web addresses only.
        const std::string name(FixedTextView(link.Name));
        if ((at(0) == '1' || name == "Estimated Charges") && m_shell) {
            if (address.rfind("http://", 0) == 0 || address.rfind("https://", 0) == 0)
                m_shell->openUrl(address, name == "Estimated Charges" ? pf::ShowMode::Default : pf::ShowMode::Normal);
            else
                WriteLog(0, "Web link not opened: not a web address");
        }
    } catch (...) {
        LogCaught("OnCommandWebLink");
    }
}

int CVortanexApp::Run()
{
    return QApplication::exec();
}

void CVortanexApp::freeTables()
{
    for (ClientInfo& c : g_Session.clients) {
        c.orders = nullptr;
        c.trades = nullptr;
        c.risk.reset();
    }
    g_Session.clients.clear();
    g_Session.clients_in_use = 0;
    pv_user_info.segments.clear();
    pv_user_info.segment_count = 0;
    WatchlistTable::instance().reset();
    MarketStatusTable::instance().reset();
    IndexTable::instance().reset();
    SecurityTable::publish(nullptr);
}

int CVortanexApp::ExitInstance()
{
    try {
        WriteLog(0, "Entry CVortanexApp::ExitInstance");
        // Only the run that set the crash flag clears it: a refused second
        // run must not hide the first one's crash.
        if (m_failSet && m_profile)
            m_profile->setInt(kProfileSection, "Fail", 0);
        SetLoggedIn(false);
        // The feed stops and its threads are joined before any table goes.
        if (m_options.feed) {
            WriteLog(0, "Closing Async in OnClose");
            m_options.feed->shutdown();
        }
        if (m_sessionOpen) {
            const std::string request = formatText("LoginData=1001|%s|%s|%d",
                                                    std::string(FixedTextView(pv_user_info.user_id)).c_str(),
                                                    std::string(FixedTextView(pv_user_info.session_id)).c_str(), 4);
            // The logout runs on its own thread while the UI thread is
            // served; a server that does not answer within a few seconds does
            // not hold the closing window (the exchange is then cancelled).
            auto length = std::make_shared<long>(0);
            auto finished = std::make_shared<std::atomic<bool>>(false);
            {
                DialogExchange logout([](bool) {});
                const int encrypt = pv_user_info.encrypt;
                logout.run(
                    [request, encrypt, length, finished](ExchangeCancel& cancel) {
                        std::string reply;
                        RequestServer(encrypt, 1001, request, reply, *length, &cancel);
                        finished->store(true);
                    },
                    [] {});
                if (!ui::UiThread::waitForWorker("the logout", [&] { return finished->load(); }, kLogoutWaitMs))
                    WriteLog(0, "Logout not answered; the exit goes on");
            }
            WriteLog(0, formatText("Logout Response Len:%d", static_cast<int>(*length)));
        }
        // A book download writes into the client table and uses the HTTP
        // session: it is cancelled (its exchange ends at once and it writes
        // nothing more) and joined before either goes.
        // The UI thread is served meanwhile: a download may be waiting for
        // it (a proxy prompt) before it can see the cancel.
        // A crash report on its way is cancelled and its thread collected.
        m_reportExchange.reset();
        CancelOrderReportDownloads();
        while (!ui::UiThread::waitForWorker("an order report download", [] { return WaitOrderReportDownloads(0); },
                                            5000))
            WriteLog(0, "Order report download still running at exit");
        if (!ui::UiThread::waitForWorker("a trade report download", [] { return WaitTradeReportDownloads(0); }, 10000))
            WriteLog(0, "Trade report download still running at exit");
        m_lock.reset();
        if (m_frame) {
            // The single order form goes while the frame it sits on still
            // stands; its destructor waits for an order still in flight, which
            // also writes into the client table.
            WatchCommands::services().pane = {};
            WatchCommands::services().otherWindows = {};
            AppWindowCommands::services() = {};
            watchOpeners().browser = {}; // its browser windows sit on the frame
            UninstallBooks();
            SetOrderFormLinks(nullptr);
            UninstallOrderEntry();
            UninstallAlerts();
        }
        m_orderLinks.reset();
        m_watchPane = nullptr;
        m_statusPane = nullptr;
        m_captionBar = nullptr;
        if (m_settingsHost) {
            SetSettingsHost(nullptr);
            m_settingsHost.reset();
        }
        if (m_frame) {
            m_frame->hide();
            delete m_frame;
            m_frame = nullptr;
        }
        CMyProgressDlg::CloseCurrent();
        g_Config.services = nullptr;
        freeTables();
        m_master.reset();
        SetCurrentCompanionLists(nullptr);
        m_lists.reset();
        m_access.reset();
        if (m_sessionOpen) {
            WriteLog(0, "Closing SINet in OnClose");
            m_sessionOpen = false;
            WriteLog(0, "Closed SINet in OnClose");
        }
        m_instance.reset();
    } catch (...) {
        LogCaught("ExitInstance");
    }
    if (m_logOpen) {
        CloseLog();
        m_logOpen = false;
    }
    m_loginHost.reset();
    if (ui::GridLayoutState::defaultStore() == m_profile.get())
        ui::GridLayoutState::setDefaultStore(nullptr);
    m_profile.reset();
    // The library keeps no pointer into this run past its end.
    MyAsync::SetClock(nullptr);
    MyAsync::SetLogFolder({});
    if (m_settingsHost)
        SetSettingsHost(nullptr);
    CVortanexApp* self = this;
    vortanex_app_detail::g_running.compare_exchange_strong(self, nullptr);
    return 0;
}
