// Every window a trader reads keeps its texts whole: labels and buttons fit
// their boxes and never run into the control beside them, a window's title
// fits a title bar, grid headers and the first rows' cells fit their
// columns. Walked through the logged-in terminal against the test broker,
// in every theme of the ribbon, at the settings' default grid font and a
// large one.
#include "StartupFixture.h"

// The server headers come before any Qt header: a member of the feed tables
// is named like one of Qt's keyword macros.
#include "server/SecurityTable.h"

#include "app/ProgramFeed.h"
#include "app/VortanexApp.h"
#include "app/base/AppSettings.h"
#include "frame/CMainFrame.h"
#include "frame/FrameIds.h"
#include "frame/FrameThemes.h"
#include "frame/WatchOpeners.h"
#include "frame/controls/CMyListCtrl.h"
#include "market/CHistoryDepth.h"
#include "market/CMDepthView.h"
#include "market/CMarketTurnOver.h"
#include "orders/COrderViewEx.h"
#include "orders/CTradeView.h"
#include "orders/CTsloOrderView.h"
#include "positions/CNetPosition.h"
#include "watch/AppWindowCommands.h"

#include "testkit/contrast.h"
#include "testkit/keep_look.h"
#include "ui/commands.h"
#include "ui/form_driver.h"
#include "ui/theme_manager.h"
#include "ui/ui_thread.h"

#include <QApplication>
#include <QMdiSubWindow>
#include <QPointer>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace startuptest {
namespace {

constexpr int kResultMs = 20000;

class TextsFitTest : public StartupFixture {};

// What did not fit, each line once with the first look it was seen in.
class Findings {
public:
    void add(const std::string& window, const std::string& look, const std::vector<std::string>& lines)
    {
        for (const std::string& line : lines)
            m_first.emplace(window + ": " + line, look);
    }
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        for (const auto& [line, look] : m_first)
            out.push_back(line + " (" + look + ")");
        return out;
    }

private:
    std::map<std::string, std::string> m_first;
};

TEST_F(TextsFitTest, EveryWindowsTextsFitInEveryThemeAndGridFont)
{
    CVortanexApp app;
    ProgramFeed feed;
    ASSERT_TRUE(startLoggedIn(app, feed));
    ui::Commands& commands = app.mainFrame()->Commands();
    const int infy = Search_ScripKey("INFY~EQ", "NN");
    ASSERT_GE(infy, 0);

    const AppSettings kept = g_AppSettings;
    const testkit::KeepLook keep([kept] { g_AppSettings = kept; });
    Findings findings;

    // Checks a window in every theme.
    const auto inEveryTheme = [&](const std::string& name, QWidget& window, const std::string& font) {
        for (const ThemeEntry& t : RibbonThemes()) {
            g_AppSettings.theme = t.id;
            ui::ThemeManager::apply(ThemeLookFor(t.id));
            QApplication::processEvents();
            findings.add(name, std::string(t.text) + ", " + font, testkit::textsThatDoNotFit(window));
        }
    };

    // The windows that stay open: opened by the user's command, checked once
    // their data is in.
    struct Window {
        const char* name;
        std::function<QWidget*()> open;
        std::function<bool(QWidget*)> loaded;
    };
    const auto atOnce = [](QWidget*) { return true; };
    const std::vector<Window> windows = {
        {"order book",
         [&]() -> QWidget* {
             commands.invoke(ID_REPORTS_ORDERS);
             return g_pOrderViewEx;
         },
         [](QWidget*) { return g_pOrderViewEx && !g_pOrderViewEx->isBusy(); }},
        {"trade book",
         [&]() -> QWidget* {
             commands.invoke(32878);
             return g_pTradeView;
         },
         [](QWidget*) { return g_pTradeView && !g_pTradeView->isBusy(); }},
        {"trailing stop-loss book",
         [&]() -> QWidget* {
             commands.invoke(33314);
             return CTsloOrderView::Instance();
         },
         [](QWidget*) { return CTsloOrderView::Instance() && !CTsloOrderView::Instance()->isBusy(); }},
        {"risk window, limits",
         [&]() -> QWidget* {
             commands.invoke(33214);
             return CNetPosition::Instance();
         },
         [](QWidget*) { return CNetPosition::Instance() && !CNetPosition::Instance()->isBusy(); }},
        {"market depth", [&]() -> QWidget* { return OpenMarketDepth(infy, app.mainFrame()); }, atOnce},
        {"index tracker",
         [&]() -> QWidget* {
             commands.invoke(1277);
             return CMarketTurnOver::instance(7);
         },
         atOnce},
        {"market cluster",
         [&]() -> QWidget* {
             commands.invoke(1290);
             return CMarketTurnOver::instance(8);
         },
         atOnce},
    };

    // The modal dialogs: checked while they are up.
    struct Modal {
        const char* name;
        const char* form;
        int command;
        std::function<void(ui::Form&)> fill;
    };
    const auto gainers = [](ui::Form& form) {
        auto& dlg = static_cast<CHistoryDepth&>(form);
        dlg.setComboIndex(CHistoryDepth::kExchange, 1);
        dlg.OnSelchangeExch();
        ui::UiThread::pumpUntil([&] { return dlg.replies() >= 1; }, kResultMs);
    };
    const std::vector<Modal> modals = {
        {"change password", "CChgPassword", 32860, {}},
        {"top gainers / losers", "CHistoryDepth", 32884, gainers},
        {"active scrips", "CHistoryDepth", 32885, gainers},
        {"alert manager", "CAlertManager", 1335, {}},
    };

    for (const int height : {-12, -18}) {
        const std::string font = "grid font " + std::to_string(-height) + " px";
        g_AppSettings.grid_font.height = height;
        // Every window open at once, each theme applied once to them all.
        std::vector<std::pair<const char*, QPointer<QWidget>>> open;
        for (const Window& w : windows) {
            QPointer<QWidget> window = w.open();
            if (!window) {
                ADD_FAILURE() << w.name << " did not open";
                continue;
            }
            window->show();
            EXPECT_TRUE(ui::UiThread::pumpUntil([&] { return window && w.loaded(window); }, kResultMs)) << w.name;
            open.emplace_back(w.name, window);
        }
        ui::UiThread::pumpUntil([] { return false; }, 500); // the first quotes are drawn
        for (const ThemeEntry& t : RibbonThemes()) {
            g_AppSettings.theme = t.id;
            ui::ThemeManager::apply(ThemeLookFor(t.id));
            QApplication::processEvents();
            for (const auto& [name, window] : open)
                if (window)
                    findings.add(name, std::string(t.text) + ", " + font, testkit::textsThatDoNotFit(*window));
        }
        for (const auto& [name, window] : open) {
            if (!window)
                continue;
            auto* sub = qobject_cast<QMdiSubWindow*>(window->parentWidget());
            sub ? sub->close() : window->close();
        }
        ui::UiThread::pumpUntil([] { return false; }, 200);
        for (const Modal& m : modals) {
            bool ran = false;
            modalHost.script(m.form, [&](ui::FormDriver& d) {
                ran = true;
                d.form().show();
                if (m.fill)
                    m.fill(d.form());
                QApplication::processEvents();
                inEveryTheme(m.name, d.form(), font);
                d.form().finish(2);
            });
            if (m.command == 1335)
                watchOpeners().alert(infy);
            else
                AppWindowCommands::Run(m.command) || commands.invoke(m.command);
            EXPECT_TRUE(ran) << m.name;
        }
    }
    EXPECT_EQ(findings.lines(), std::vector<std::string>{});
    closeAndExit(app);
}

} // namespace
} // namespace startuptest
