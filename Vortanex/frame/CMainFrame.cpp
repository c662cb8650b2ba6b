#include "frame/CMainFrame.h"

#include "app/base/AppSettings.h"
#include "app/base/LogWriter.h"
#include "app/base/SeException.h"
#include "app/base/SessionRecord.h"
#include "frame/CMyPopupWindow.h"
#include "frame/COutputBar.h"
#include "frame/FrameIds.h"
#include "frame/FrameSubscriptions.h"
#include "frame/FrameThemes.h"
#include "frame/MainFrameCommands.h"
#include "frame/RibbonLayout.h"
#include "frame/RibbonOptions.h"
#include "frame/UserPopupText.h"
#include "frame/controls/MyCBCGPStatusBar.h"

#include "pf/profile_store.h"
#include "ui/caption_bar.h"
#include "ui/command_bar.h"
#include "ui/dock_pane.h"
#include "ui/document_area.h"
#include "ui/status_panes.h"
#include "ui/theme_manager.h"
#include "ui/ticker.h"
#include "ui/ui_thread.h"

#include <QApplication>
#include <QDockWidget>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>
#include <ctime>

std::atomic<CMainFrame*> g_pMainFrame{nullptr};

namespace {

constexpr const char* kWorkspaceSection = "Workspace";

QIcon stateIcon(const QColor& colour)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(colour);
    p.setPen(colour.darker(150));
    p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    return QIcon(pm);
}

QWidget* placeholderPane(const QString& text)
{
    auto* w = new QWidget;
    auto* v = new QVBoxLayout(w);
    auto* l = new QLabel(text, w);
    l->setAlignment(Qt::AlignCenter);
    l->setEnabled(false);
    v->addWidget(l);
    return w;
}

ui::MenuItem menuItem(int id, std::string text)
{
    ui::MenuItem item;
    item.id = id;
    item.text = std::move(text);
    return item;
}


} // namespace

CMainFrame::CMainFrame(Services services, QWidget* parent)
    : QMainWindow(parent), m_services(std::move(services)), m_self(std::make_shared<std::atomic<CMainFrame*>>(this))
{
    setObjectName("CMainFrame");
    setWindowTitle("Vortanex");
    if (!m_services.saveSettings)
        m_services.saveSettings = [] { SaveSettings(); };
}

CMainFrame::~CMainFrame()
{
    detachNotes();
    m_self->store(nullptr);
    m_outputReady = false;
    CMainFrame* self = this;
    g_pMainFrame.compare_exchange_strong(self, nullptr);
}

CMainFrame* CMainFrame::Instance()
{
    return g_pMainFrame.load();
}

bool CMainFrame::OnCreate()
{
    try {
        // 1. The ribbon.
        m_wndRibbonBar = new ui::CommandBar(m_commands, this);
        BuildRibbon(*m_wndRibbonBar);
        setMenuWidget(m_wndRibbonBar);
        if (QAction* lock = m_wndRibbonBar->action(ID_FILE_LOCKTERMINAL)) {
            lock->setText("Lock Terminal");
            lock->setToolTip("Lock Terminal");
        }
        // The documents.
        auto* work = new QWidget(this);
        auto* column = new QVBoxLayout(work);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(0);
        m_captionHolder = new QWidget(work);
        auto* bars = new QVBoxLayout(m_captionHolder);
        bars->setContentsMargins(0, 0, 0, 0);
        bars->setSpacing(1);
        column->addWidget(m_captionHolder);
        m_docs = new ui::DocumentArea(work);
        column->addWidget(m_docs, 1);
        setCentralWidget(work);
        m_docs->onTabContextMenu = [this](QPoint pos) { OnShowMDITabContextMenu(pos, m_docs->allowedMoves()); };
        // 2. The status bar.
        CreateStatusBar();
        // 3-6. The docking panes.
        CreateDockingWindows();
        RegisterCommands();
        RegisterAccelerators();
        // 7. Tab groups as the settings say.
        EnableTabGroups(g_AppSettings.mdi_group_style != 0);
        // 8. The stored theme.
        int theme = g_AppSettings.theme;
        if (m_services.profile)
            theme = m_services.profile->getInt(kWorkspaceSection, "ApplicationLook", theme);
        if (!IsThemeCommand(theme))
            theme = kDefaultTheme;
        m_nAppLook = theme;
        SetApplicationLook(theme);
        // 9. The timer, and the frame becomes the program's main frame.
        m_ticker = new ui::Ticker(this);
        m_ticker->onTick = [this](int id) {
            if (m_services.onTimer)
                m_services.onTimer(id);
        };
        m_ticker->start(kFrameTimerId, kFrameTimerMs);
        WriteLog(0, "Timer ID :" + std::to_string(kFrameTimerId));
        g_pMainFrame.store(this);
        return true;
    } catch (...) {
        LogCaught("CMainFrame::OnCreate");
        return false;
    }
}

void CMainFrame::CreateStatusBar()
{
    m_wndStatusBar = new MyCBCGPStatusBar(this);
    setStatusBar(m_wndStatusBar);
    m_panes = new ui::StatusPanes(m_wndStatusBar);
    m_hIconConnect = stateIcon(QColor(40, 170, 60));
    m_hIconDisconnect = stateIcon(QColor(210, 40, 40));
    // The pane widths were laid out for a font whose digits are 5 pixels wide.
    m_panes->setWidthScale(std::max(1.0, m_wndStatusBar->fontMetrics().horizontalAdvance('0') / 5.0));
    m_panes->addPane(ID_INDICATOR_SEPARATOR, ui::StatusPanes::kStretch);
    m_panes->addPane(ID_INDICATOR_CLICK_HERE, 0, "Click here");
    m_panes->addPane(ID_INDICATOR_SUNVALE, 0, "Sunvale Hours");
    m_panes->addPane(ID_INDICATOR_USERNAME, 200);
    m_panes->addPane(ID_INDICATOR_GCRN, 150);
    m_panes->addPane(ID_INDICATOR_CLIENT, 100);
    m_panes->addPane(ID_INDICATOR_FEEDTIME, 100, "Feeds Date Time");
    m_panes->addPane(ID_INDICATOR_CONNECT, 80, "Disconnected");
    m_panes->setIcon(ID_INDICATOR_CONNECT, m_hIconDisconnect);
    m_panes->onClick = [this](int id) {
        if (id == ID_INDICATOR_CLICK_HERE)
            m_commands.post(id);
    };
    UpdateUserPanes({});
}

void CMainFrame::CreateDockingWindows()
{
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks | QMainWindow::AllowNestedDocks);
    m_wndOutput = new COutputBar(this);
    m_wndOutput->SetSoundService(m_services.sound);
    m_wndOutput->setAllowedAreas(Qt::AllDockWidgetAreas);
    m_wndOutput->setMinimumHeight(150);
    addDockWidget(Qt::BottomDockWidgetArea, m_wndOutput);
    m_outputReady = true;

    auto makePane = [this](const char* title, const char* name) {
        auto* dock = new ui::DockPane(QString::fromLatin1(title), this);
        dock->setObjectName(QString::fromLatin1(name));
        dock->setAllowedAreas(Qt::AllDockWidgetAreas);
        dock->setMinimumWidth(150);
        return dock;
    };
    m_wndWatchlist = makePane("Watchlists", "Watchlist");
    m_wndWatchlist->setWidget(placeholderPane("Watchlists"));
    m_wndMarketStatus = makePane("Market Status", "MarketStatus");
    m_wndMarketStatus->setWidget(placeholderPane("Market Status"));
    m_wndWorkSpace = makePane("Charts", "Charts");
    m_wndWorkSpace->setWidget(placeholderPane("Charts"));
    addDockWidget(Qt::LeftDockWidgetArea, m_wndWatchlist);
    tabifyDockWidget(m_wndWatchlist, m_wndMarketStatus);
    tabifyDockWidget(m_wndWatchlist, m_wndWorkSpace);
    m_wndWatchlist->raise();
    resizeDocks({m_wndOutput}, {150}, Qt::Vertical);
    WriteLog(1, "Exit CreateShortcutsBar");
}

QDockWidget* CMainFrame::PaneOf(int toggleId) const
{
    switch (toggleId) {
    case ID_VIEW_WATCHLIST:
        return m_wndWatchlist;
    case ID_VIEW_MARKET_STATUS:
        return m_wndMarketStatus;
    case ID_VIEW_OUTPUT:
        return m_wndOutput;
    case ID_VIEW_CHARTS:
        return m_wndWorkSpace;
    default:
        return nullptr;
    }
}

void CMainFrame::SetPaneWidget(int toggleId, QWidget* content)
{
    QDockWidget* dock = PaneOf(toggleId);
    if (!dock || dock == m_wndOutput) {
        delete content;
        return;
    }
    delete dock->widget();
    dock->setWidget(content);
}

void CMainFrame::RegisterCommands()
{
    ui::Commands& c = m_commands;
    InstallCommandLock(c);
    c.add(ID_WINDOW_MANAGER, [this] { ShowWindowsList(); });
    c.add(ID_RIBBON_OPTIONS, [this] { ShowRibbonOptions(*m_wndRibbonBar); });

    auto theme = [this](int id) { OnApplicationLook(id); };
    auto themeState = [this](int id) { return ui::CommandState{true, m_nAppLook == id}; };
    c.addRange(32833, 32849, theme, themeState);
    c.addRange(33310, 33312, theme, themeState);
    c.addRange(33337, 33350, theme, themeState);

    auto moveState = [this](int flag) {
        return [this, flag] { return ui::CommandState{(m_docs->allowedMoves() & flag) != 0, false}; };
    };
    c.add(ID_MDI_NEW_VERT_GROUP, [this] { m_docs->newTabGroup(Qt::Vertical); }, moveState(ui::NewVerticalGroup));
    c.add(ID_MDI_NEW_HORZ_GROUP, [this] { m_docs->newTabGroup(Qt::Horizontal); },
          moveState(ui::NewHorizontalGroup));
    c.add(ID_MDI_MOVE_TO_PREV_GROUP, [this] { m_docs->moveToPreviousGroup(); }, moveState(ui::PreviousGroup));
    c.add(ID_MDI_MOVE_TO_NEXT_GROUP, [this] { m_docs->moveToNextGroup(); }, moveState(ui::NextGroup));
    c.add(ID_WINDOW_CASCADE, [this] { m_docs->cascade(); });
    c.add(ID_WINDOW_TILE_HORZ, [this] { m_docs->tile(Qt::Horizontal); });
    c.add(ID_WINDOW_TILE_VERT, [this] { m_docs->tile(Qt::Vertical); });
    c.add(ID_FILE_CLOSE, [this] { m_docs->closeActive(); },
          [this] { return ui::CommandState{m_docs->activeDocument() != nullptr, false}; });

    // Items that stay enabled: their work is done by their popups or by
    // handlers other parts install over these.
    // (Profile is not among them: until its window exists it says so.)
    for (int id : {32855, 1313, 1471, 1467, 32818, 32819, 32820, 32821, 32822, 33318})
        c.add(id, [] {});
    // The password, security download, proxy, font and settings commands
    // are the application's.
    for (int id : {32861, 33375})
        c.add(id, [] {});

    // Pane toggles, each bound to its pane.
    for (int id : {ID_VIEW_WATCHLIST, ID_VIEW_MARKET_STATUS, ID_VIEW_OUTPUT, ID_VIEW_CHARTS}) {
        c.add(
            id,
            [this, id] {
                QDockWidget* dock = PaneOf(id);
                const bool show = !dock->isVisibleTo(this);
                dock->setVisible(show);
                if (show)
                    dock->raise();
            },
            [this, id] { return ui::CommandState{true, PaneOf(id)->isVisibleTo(this)}; });
    }

    auto running = [this] { return m_services.feedRunning && m_services.feedRunning(); };
    c.add(
        ID_CONNECT,
        [this] {
            if (m_services.onConnect)
                m_services.onConnect();
        },
        [running] { return ui::CommandState{true, running()}; });
    c.add(
        ID_DISCONNECT,
        [this] {
            if (m_services.onDisconnect)
                m_services.onDisconnect();
        },
        [running] { return ui::CommandState{true, !running()}; });
}

const std::vector<std::pair<QKeySequence, int>>& CMainFrame::Accelerators()
{
    // F1 is the new buy order; the help is on F12.
    static const std::vector<std::pair<QKeySequence, int>> accelerators = {
        {QKeySequence(Qt::CTRL | Qt::Key_N), ID_FILE_NEW},   {QKeySequence(Qt::CTRL | Qt::Key_O), ID_FILE_OPEN},
        {QKeySequence(Qt::CTRL | Qt::Key_P), ID_FILE_PRINT}, {QKeySequence(Qt::CTRL | Qt::Key_T), 32861},
        {QKeySequence(Qt::CTRL | Qt::Key_I), 32914},         {QKeySequence(Qt::CTRL | Qt::Key_S), ID_SCRIP_SEARCH},
        {QKeySequence(Qt::Key_F1), 32868},                   {QKeySequence(Qt::Key_F2), 32869},
        {QKeySequence(Qt::SHIFT | Qt::Key_F1), 33363},       {QKeySequence(Qt::SHIFT | Qt::Key_F2), 33364},
        {QKeySequence(Qt::Key_F3), ID_REPORTS_ORDERS},       {QKeySequence(Qt::Key_F6), 33214},
        {QKeySequence(Qt::Key_F7), 33314},                   {QKeySequence(Qt::Key_F8), 32878},
        {QKeySequence(Qt::Key_F11), ID_APP_EXIT},            {QKeySequence(Qt::Key_F12), ID_HELP_FILE},
    };
    return accelerators;
}

void CMainFrame::RegisterAccelerators()
{
    for (const auto& [keys, command] : Accelerators()) {
        auto* sc = new QShortcut(keys, this);
        sc->setContext(Qt::WindowShortcut);
        const int id = command;
        connect(sc, &QShortcut::activated, this, [this, id] { m_commands.invoke(id); });
        if (QAction* act = m_wndRibbonBar->action(id))
            act->setToolTip(act->text() + " (" + keys.toString(QKeySequence::NativeText) + ")");
    }
    auto* next = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F6), this);
    connect(next, &QShortcut::activated, this, [this] { CyclePanes(1); });
    auto* prev = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6), this);
    connect(prev, &QShortcut::activated, this, [this] { CyclePanes(-1); });
}

void CMainFrame::CyclePanes(int step)
{
    std::vector<QWidget*> panes = {m_docs};
    for (QDockWidget* d : {m_wndWatchlist, m_wndMarketStatus, m_wndWorkSpace, static_cast<QDockWidget*>(m_wndOutput)})
        if (d->isVisibleTo(this))
            panes.push_back(d);
    int at = 0;
    for (size_t i = 0; i < panes.size(); ++i)
        if (panes[i]->isAncestorOf(QApplication::focusWidget()))
            at = int(i);
    const int n = int(panes.size());
    QWidget* target = panes[size_t(((at + step) % n + n) % n)];
    target->setFocus(Qt::ShortcutFocusReason);
    if (QWidget* w = target->focusWidget())
        w->setFocus(Qt::ShortcutFocusReason);
}

void CMainFrame::ShowWindowsList()
{
    ui::MenuSpec menu;
    const std::vector<QWidget*> docs = m_docs->documents();
    for (size_t i = 0; i < docs.size(); ++i)
        menu.items.push_back(menuItem(int(i) + 1, docs[i]->windowTitle().toStdString()));
    const QPoint at = mapToGlobal(rect().center());
    const int chosen = ui::prompter().pickMenuCommand(menu, at.x(), at.y());
    if (chosen > 0 && chosen <= int(docs.size()))
        m_docs->activateDocument(docs[size_t(chosen - 1)]);
}

ui::CaptionBar* CMainFrame::CaptionBarOf(int barId, bool create)
{
    auto it = m_captionBars.find(barId);
    if (it != m_captionBars.end() && it->second)
        return it->second.data();
    if (!create)
        return nullptr;
    auto* bar = new ui::CaptionBar(m_captionHolder);
    bar->onButton = [this](int id) { m_commands.invoke(id); };
    m_captionHolder->layout()->addWidget(bar);
    m_captionBars[barId] = bar;
    return bar;
}

std::string CMainFrame::GcrnText(std::string_view crnText)
{
    const std::string crn(crnText);
    if (!crn.empty() && std::atol(crn.c_str()) != 0)
        return "ZQV CRN: " + crn;
    return "ZQV CRN: In Process";
}

void CMainFrame::UpdateUserPanes(std::string_view crnText)
{
    m_panes->setText(ID_INDICATOR_USERNAME, QString::fromLocal8Bit(pv_user_info.user_name));
    m_panes->setText(ID_INDICATOR_GCRN, QString::fromStdString(GcrnText(crnText)));
    m_panes->setText(ID_INDICATOR_CLIENT, QString::fromLocal8Bit(pv_user_info.client_code));
}

int CMainFrame::OpenFeedView(QWidget* view, const QString& title, std::shared_ptr<FeedWindow> feed, int type,
                             int index)
{
    auto slot = std::make_shared<FeedWindowSlot>(std::move(feed), type, index);
    const int taken = slot->slot();
    // The slot goes with the view, whoever closes it.
    connect(view, &QObject::destroyed, this, [slot] { slot->release(); });
    m_docs->addDocument(view, title);
    return taken;
}

void CMainFrame::UpdateConnectStatus(bool connected)
{
    WriteLog(1, "Entry : CMainFrame::UpdateConnectStatus");
    ui::UiThread::post([self = m_self, connected] {
        CMainFrame* f = self->load();
        if (!f)
            return;
        try {
            f->m_panes->setIcon(ID_INDICATOR_CONNECT, connected ? f->m_hIconConnect : f->m_hIconDisconnect);
            f->m_panes->setToolTip(ID_INDICATOR_CONNECT, connected ? "Feeds Broadcast is Connected"
                                                                   : "Feeds Broadcast is Disconnected");
            f->m_panes->setText(ID_INDICATOR_CONNECT, connected ? "Connected" : "Disconnected");
        } catch (...) {
            WriteLog(0, "Exception in UpdateConnectStatus");
        }
    });
    WriteLog(1, "Exit : CMainFrame::UpdateConnectStatus");
}

void CMainFrame::ShowQuoteTime(int64_t epochSeconds)
{
    // Only a newer quote replaces the shown time, whichever thread gets here first.
    int64_t shown = m_ShownQuoteTime.load();
    do {
        if (epochSeconds <= shown)
            return;
    } while (!m_ShownQuoteTime.compare_exchange_weak(shown, epochSeconds));
    ui::UiThread::post([self = m_self, epochSeconds] {
        CMainFrame* f = self->load();
        if (!f || f->m_ShownQuoteTime.load() != epochSeconds)
            return;
        const time_t t = time_t(epochSeconds);
        struct tm tmv {};
        localtime_r(&t, &tmv);
        char buf[40];
        std::snprintf(buf, sizeof buf, "%02d-%02d-%d %02d:%02d:%02d", tmv.tm_mday, tmv.tm_mon + 1,
                      tmv.tm_year + 1900, tmv.tm_hour, tmv.tm_min, tmv.tm_sec);
        f->m_panes->setText(ID_INDICATOR_FEEDTIME, QString::fromLatin1(buf));
    });
}

int CMainFrame::SetUserMessage(long kind, char side, std::string_view text, std::string_view extra, short popup,
                               long eventId)
{
    try {
        bool allowed = eventId == 0 || eventId == 5 || eventId == -1;
        if (!allowed && m_services.serviceEnabled)
            allowed = m_services.serviceEnabled(eventId);
        // A message that is not allowed, or that comes before the bar exists,
        // leaves no trace.
        if (!allowed || !m_outputReady.load())
            return 0;
        m_wndOutput->SetUserMessage(int(kind), side, text, extra);
        if ((kind == MsgGeneral || kind == MsgResearch) && popup != 0 && g_AppSettings.message_popup_switch != 0) {
            UserPopupFields f;
            f.kind = kind;
            f.side = side;
            f.text = std::string(text);
            f.extra = std::string(extra);
            f.address = m_services.brokerWebAddress ? m_services.brokerWebAddress() : std::string();
            f.eventId = eventId;
            ui::mailbox::post(ref(), ui::Note{ui::NoteId::UserPopup, 0, 0, FormatUserPopupText(f)});
        }
    } catch (const std::exception& e) {
        WriteLog(0, std::string("SException in CMainFrame::SetUserMessage : [") + e.what() + "]");
    } catch (...) {
        WriteLog(0, "Exception in SetUserMessage(MF)");
    }
    return 0;
}

void CMainFrame::onNote(const ui::Note& note)
{
    switch (note.id) {
    case ui::NoteId::UserPopup:
        OnUserMessage(note.text);
        break;
    case ui::NoteId::DayEvent:
        OnDayProductEvent(note.text);
        break;
    default:
        WriteLog(1, "Note " + std::to_string(int(note.id)) + " is not for the main frame");
        break;
    }
}

void CMainFrame::OnUserMessage(const std::string& text)
{
    UserPopupFields f;
    if (!ParseUserPopupText(text, f)) {
        WriteLog(0, "Popup text ignored : [" + text + "]");
        return;
    }
    ShowPopupMessage(f.text, f.address, f.eventId, f.title, f.linkText);
}

int CMainFrame::OnDayProductEvent(const std::string& text)
{
    int step = 0;
    try {
        step = 1;
        std::vector<std::string> fields;
        size_t start = 0;
        for (;;) {
            const size_t bar = text.find('|', start);
            fields.push_back(text.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
            if (bar == std::string::npos)
                break;
            start = bar + 1;
        }
        step = 2;
        if (!fields.empty() && m_services.dayProductEvent)
            m_services.dayProductEvent(fields);
        return 0;
    } catch (...) {
        WriteLog(0, "Exception at [" + std::to_string(step) + "] : [" + text + "]");
        return -1;
    }
}

namespace {
// Desktop popups open at the same time, at most.
constexpr size_t kMaxOpenPopups = 3;
} // namespace

void CMainFrame::ShowPopupMessage(const std::string& text, const std::string& address, long eventId,
                                  const std::string& title, const std::string& linkText)
{
    try {
        // A burst of broadcasts must not bury the desktop in windows: a few
        // show at once, the rest stay on the message bar only.
        if (OpenPopups().size() >= kMaxOpenPopups) {
            WriteLog(1, "Popup not shown: " + std::to_string(kMaxOpenPopups) + " already open");
            return;
        }
        QScreen* screen = QGuiApplication::primaryScreen();
        const QRect geometry = screen ? screen->geometry() : QRect(0, 0, 800, 600);
        const PopupLook look = PopupLookFor(eventId, title);
        ui::ToastSpec spec;
        spec.caption = QString::fromStdString(look.caption);
        spec.text = QString::fromStdString(text);
        spec.linkText = QString::fromStdString(linkText);
        spec.icon = style()->standardIcon(QStyle::SP_MessageBoxInformation);
        if (look.hasColours)
            for (size_t i = 0; i < 5; ++i) {
                const uint32_t c = look.colours[i];
                spec.colours.colours[i] = QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
            }
        spec.opacity = kPopupOpacity;
        spec.fadeStepMs = kPopupFadeStepMs;
        spec.autoCloseMs = PopupAutoCloseMs(eventId);
        WriteLog(1, text);
        auto* popup = new CMyPopupWindow(spec, address, linkText, m_services.shell, this);
        popup->setWindowTitle(spec.caption);
        popup->showAt(PopupPosition(geometry));
        std::erase_if(m_popups, [](const QPointer<CMyPopupWindow>& p) { return p.isNull(); });
        m_popups.emplace_back(popup);
    } catch (...) {
        WriteLog(0, "Exception while Creating Popup Msg.");
    }
}

std::vector<CMyPopupWindow*> CMainFrame::OpenPopups() const
{
    std::vector<CMyPopupWindow*> out;
    for (const auto& p : m_popups)
        if (p && p->isVisible())
            out.push_back(p.data());
    return out;
}

void CMainFrame::OnApplicationLook(int themeId)
{
    m_nAppLook = themeId;
    g_AppSettings.theme = themeId;
    if (m_services.profile)
        m_services.profile->setInt(kWorkspaceSection, "ApplicationLook", themeId);
    if (m_services.saveSettings)
        m_services.saveSettings();
    SetApplicationLook(themeId);
    CurrentSettingsHost().broadcastSettings(2);
}

void CMainFrame::SetApplicationLook(int themeId)
{
    const ThemeChoice choice = ThemeChoiceFor(themeId);
    m_ribbonBackground = choice.background;
    ui::ThemeLook look = ThemeLookFor(themeId);
    // The whole application takes the look, so dialogs and views opened later match.
    ui::ThemeManager::apply(look);
    EnableTabGroups(m_tabGroups);
    try {
        if (m_services.refreshCreatedDialogs)
            m_services.refreshCreatedDialogs();
    } catch (...) {
        WriteLog(0, "Exception in RefreshCreatedDialogs");
    }
    update();
}

void CMainFrame::EnableTabGroups(bool on)
{
    m_tabGroups = on;
    if (m_docs)
        m_docs->setTabGroupsEnabled(on);
}

ui::MenuSpec CMainFrame::MdiTabMenu(bool tabGroups, int allowedFlags)
{
    ui::MenuSpec menu;
    if (!tabGroups) {
        menu.items = {menuItem(ID_WINDOW_CASCADE, "Cascade Windows"), menuItem(ID_WINDOW_TILE_HORZ, "Tile Horizontal"),
                      menuItem(ID_WINDOW_TILE_VERT, "Tile Vertical"), menuItem(0, ""),
                      menuItem(ID_FILE_CLOSE, "&Close")};
        return menu;
    }
    if (allowedFlags & ui::NewHorizontalGroup)
        menu.items.push_back(menuItem(ID_MDI_NEW_HORZ_GROUP, "New &Horizontal Tab Group"));
    if (allowedFlags & ui::NewVerticalGroup)
        menu.items.push_back(menuItem(ID_MDI_NEW_VERT_GROUP, "New &Vertical Tab Group"));
    if (allowedFlags & ui::NextGroup)
        menu.items.push_back(menuItem(ID_MDI_MOVE_TO_NEXT_GROUP, "Move to Ne&xt Tab Group"));
    if (allowedFlags & ui::PreviousGroup)
        menu.items.push_back(menuItem(ID_MDI_MOVE_TO_PREV_GROUP, "Move to P&revious Tab Group"));
    if (!menu.items.empty())
        menu.items.push_back(menuItem(0, ""));
    menu.items.push_back(menuItem(ID_FILE_CLOSE, "&Close"));
    return menu;
}

bool CMainFrame::OnShowMDITabContextMenu(QPoint globalPos, int allowedFlags)
{
    const int chosen = ui::prompter().pickMenuCommand(MdiTabMenu(m_tabGroups, allowedFlags), globalPos.x(),
                                                      globalPos.y());
    if (chosen > 0)
        m_commands.invoke(chosen);
    return true;
}

void CMainFrame::UpdateShortcutElements()
{
    int step = 0;
    try {
        auto run = [this, &step](int s) {
            step = s;
            if (m_services.shortcutStep)
                m_services.shortcutStep(s);
        };
        run(1);
        step = 2;
        m_wndOutput->OpenMessageFiles(pv_user_info.user_id);
        for (int s : {4, 5, 6, 8, 16})
            run(s);
    } catch (...) {
        WriteLog(0, "Exception in UpdateShortcutElements [" + std::to_string(step) + "]");
    }
}

void CMainFrame::RefreshFont(int rebuild)
{
    try {
        // The message bar takes the settings' font on every broadcast: the
        // user's own settings read at login come with code 2.
        (void)rebuild;
        if (m_wndOutput)
            m_wndOutput->UpdateFont();
        update();
    } catch (...) {
    }
}

void ShowAlertPopUp(int security, std::string name, std::string description, std::string trackedTime,
                    std::string key)
{
    AlertPopUpTexts texts{security, std::move(name), std::move(description), std::move(trackedTime), std::move(key)};
    ui::UiThread::post([texts = std::move(texts)] {
        try {
            if (CMainFrame* frame = CMainFrame::Instance(); frame && !frame->isMaximized())
                frame->showMaximized();
            if (auto alerts = CurrentAlertServices())
                alerts->showAlertPopUp(texts);
        } catch (...) {
            LogCaught("ShowAlertPopUp");
        }
    });
}
