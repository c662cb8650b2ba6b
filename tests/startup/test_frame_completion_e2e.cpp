// Logged in to the test broker: the broker's web links on the ribbon and the
// quick-access bar, an embedded link opening its page in a browser window
// (the text browser, over loopback), a client link opening the web-links
// view, and tick colours saved in the settings dialog reaching the grids.
#include "StartupFixture.h"

#include "app/VortanexApp.h"
#include "app/base/AppSettings.h"
#include "app/base/SessionRecord.h"
#include "frame/CBrowserCtrl.h"
#include "frame/CColorSetting.h"
#include "frame/CMainFrame.h"
#include "frame/CWebLinks.h"
#include "frame/FrameIds.h"
#include "frame/FrameThemes.h"
#include "frame/controls/CColourButton.h"
#include "frame/WebLinksRibbon.h"
#include "ui/command_bar.h"
#include "ui/document_area.h"
#include "watch/AppWindowCommands.h"

#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <fstream>

namespace startuptest {
namespace test_frame_completion_e2e {

namespace {

class FrameCompletionE2E : public StartupFixture {
protected:
};

TEST_F(FrameCompletionE2E, WebLinksReachTheRibbonAndOpenTheirPagesInTheProgram)
{
    writeConfig();
    broker->setWebLinks(tb::TestBroker::demoWebLinks());
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    CMainFrame* frame = app.mainFrame();
    ASSERT_NE(frame, nullptr);
    ui::CommandBar* ribbon = frame->Ribbon();
    ASSERT_NE(ribbon, nullptr);
    const int category = ribbon->findCategory("&WebLinks");
    ASSERT_GE(category, 0);
    EXPECT_EQ(ribbon->panelNames(category), (QStringList{"Research", "Tools"}));
    EXPECT_NE(ribbon->action(WebLinkIds::kFirst + 1), nullptr) << "Morning Call under its group button";
    auto* quick = frame->findChild<CDlgBarQuickAccess*>();
    ASSERT_NE(quick, nullptr);
    EXPECT_EQ(quick->Buttons().size(), 3u);

    // "Research Reports": embedded, no client: a browser window titled with
    // the link's name shows the broker's page.
    const size_t shellBefore = shell.calls().size();
    ASSERT_TRUE(frame->Commands().invoke(WebLinkIds::kFirst + 0));
    CBrowserCtrl* browser = nullptr;
    ASSERT_TRUE(pumpUntil(
        [&] {
            for (CBrowserCtrl* b : frame->findChildren<CBrowserCtrl*>())
                if (b->Title() == "Research Reports")
                    browser = b;
            return browser && browser->Browser().title() == "Vortanex link 101";
        },
        15000));
    EXPECT_EQ(shell.calls().size(), shellBefore) << "nothing went to the desktop's browser";
    EXPECT_GE(requestsWith("LoginData=1002"), 1);

    // "Morning Call" needs a client: it opens the web-links view.
    ASSERT_TRUE(frame->Commands().invoke(WebLinkIds::kFirst + 1));
    ASSERT_NE(CWebLinks::Instance(), nullptr);
    EXPECT_EQ(CWebLinks::Instance()->LinkIndex(), 1);
    app.ExitInstance();
}

TEST_F(FrameCompletionE2E, TickColoursSavedInTheSettingsDialogReachTheRecord)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    // The dialog is modal: act on it once it is up, then save.
    bool saved = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = app.mainFrame()->findChild<CColorSetting*>();
        ASSERT_NE(dialog, nullptr);
        dialog->Control<QComboBox>(1086)->setCurrentIndex(1); // "Upper Side", text
        dialog->Control<CColourButton>(1088)->ChoosePalette(5);
        dialog->OnSave();
        saved = true;
    });
    EXPECT_TRUE(AppWindowCommands::Run(32865));
    EXPECT_TRUE(saved);
    EXPECT_EQ(g_AppSettings.up_text_colour, CColourButton::Palette()[5]);
    app.ExitInstance();
}

// "Set Default Settings" then Save on a light theme: the record keeps the
// theme the frame shows (the windows draw their colours by it, and it is
// saved for the next start), and the tab grouping the defaults bring back is
// applied to the frame, though the dialog showed it before Save.
TEST_F(FrameCompletionE2E, DefaultsKeepTheFramesThemeAndSaveAppliesTheirTabGrouping)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    CMainFrame& frame = *app.mainFrame();
    constexpr int kLight = 33337;
    ASSERT_TRUE(IsThemeCommand(kLight));
    ASSERT_FALSE(IsDarkThemeId(kLight));
    frame.OnApplicationLook(kLight);
    const auto inDialog = [&](const std::function<void(CColorSetting&)>& act) {
        bool done = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = frame.findChild<CColorSetting*>();
            ASSERT_NE(dialog, nullptr);
            act(*dialog);
            done = true;
        });
        EXPECT_TRUE(AppWindowCommands::Run(32865));
        EXPECT_TRUE(done);
    };
    // Tab groups off first.
    inDialog([](CColorSetting& d) {
        d.Control<QComboBox>(1227)->setCurrentIndex(0);
        d.OnSave();
    });
    ASSERT_FALSE(frame.Documents()->tabGroupsEnabled());
    inDialog([](CColorSetting& d) {
        d.OnDefaults();
        d.OnSave();
    });
    EXPECT_EQ(g_AppSettings.theme, kLight);
    EXPECT_FALSE(IsDarkTheme());
    EXPECT_EQ(frame.CurrentTheme(), kLight);
    EXPECT_EQ(g_AppSettings.mdi_group_style, 1);
    EXPECT_TRUE(frame.Documents()->tabGroupsEnabled());
    app.ExitInstance();
}

// A command always answers: a missing document is named in a box, and a
// document that is there is opened by the desktop.
TEST_F(FrameCompletionE2E, HelpAndWhatsNewOpenTheProgramFoldersDocumentsOrNameTheMissingOne)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    const auto documents = [&] {
        std::vector<std::string> out;
        for (const pf::RecordingShell::Call& c : shell.calls())
            if (c.kind == pf::RecordingShell::Kind::Document)
                out.push_back(c.target);
        return out;
    };
    const std::string help = (paths.docs() / "Vortanex.chm").string();
    const std::string whatsNew = (paths.docs() / "WhatsNew.pdf").string();
    ASSERT_TRUE(app.mainFrame()->Commands().invoke(ID_HELP_FILE));
    EXPECT_TRUE(boxShown("The help file " + help + " was not found."));
    ASSERT_TRUE(app.mainFrame()->Commands().invoke(ID_WHATS_NEW));
    EXPECT_TRUE(boxShown("The What's New file " + whatsNew + " was not found."));
    EXPECT_TRUE(documents().empty());

    std::filesystem::create_directories(paths.docs());
    std::ofstream(paths.docs() / "Vortanex.chm") << "ITSF";
    std::ofstream(paths.docs() / "WhatsNew.pdf") << "%PDF-1.4";
    const size_t boxes = boxTexts().size();
    ASSERT_TRUE(app.mainFrame()->Commands().invoke(ID_HELP_FILE));
    ASSERT_TRUE(app.mainFrame()->Commands().invoke(ID_WHATS_NEW));
    EXPECT_EQ(documents(), (std::vector<std::string>{help, whatsNew}));
    EXPECT_EQ(boxTexts().size(), boxes);
    app.ExitInstance();
}

} // namespace
} // namespace startuptest

} // namespace test_frame_completion_e2e
