// The start-up's own downloads (the security master, the lists, the side
// files) run off the UI thread: while the broker is slow the UI thread keeps
// serving its events and the progress dialog shows the step; failures report
// and end the start-up as they always did.
#include "StartupFixture.h"

#include "app/CMyProgressDlg.h"
#include "app/VortanexApp.h"
#include "app/base/SessionRecord.h"
#include "frame/CMainFrame.h"
#include "server/FeedState.h"
#include "server/SecurityTable.h"
#include "watch/base/WatchlistTable.h"

#include "ui/ui_thread.h"

#include <QTimer>

#include <string>
#include <thread>

namespace startuptest {
namespace {

class StartupDownloadsTest : public StartupFixture {
protected:
    void SetUp() override
    {
        StartupFixture::SetUp();
        // No table of an earlier run: "no table yet" is how the test tells
        // that the master's download has not ended.
        SecurityTable::publish(nullptr);
    }

    int requestsTo(const std::string& path) const
    {
        int n = 0;
        for (const tb::RecordedRequest& r : broker->requests())
            n += r.path == path;
        return n;
    }

};

TEST_F(StartupDownloadsTest, ASlowMasterDownloadKeepsTheEventLoopTurningAndEndsLoggedIn)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    tb::HttpFault slow;
    slow.delayMs = 1500;
    broker->armFault("/security/security.lzo", slow);

    // A timer of the UI thread: it can only fire while the download waits if
    // the UI thread is not the one waiting.
    int ticksDuringDownload = 0;
    bool dialogShowedTheStep = false;
    bool dialogBlocksTheFrame = false;
    bool onUiThread = true;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        onUiThread = onUiThread && ui::UiThread::isCurrent();
        if (requestsTo("/security/security.lzo") == 0 || SecurityTable::current())
            return;
        ++ticksDuringDownload;
        if (CMyProgressDlg* dlg = g_pProgressDlg) {
            dialogShowedTheStep =
                dialogShowedTheStep || dlg->Message() == QStringLiteral("Downloading Security Information");
            dialogBlocksTheFrame = dlg->isVisible() && dlg->isModal();
        }
    });
    timer.start();

    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance()) << ::testing::PrintToString(boxTexts());
    timer.stop();
    EXPECT_GE(ticksDuringDownload, 5) << "the UI thread waited on the network";
    EXPECT_TRUE(dialogShowedTheStep);
    EXPECT_TRUE(dialogBlocksTheFrame) << "the frame takes no commands before the start-up has ended";
    EXPECT_TRUE(onUiThread);

    // Logged in with everything the downloads brought, in their order.
    EXPECT_TRUE(IsLoggedIn());
    ASSERT_TRUE(SecurityTable::current());
    EXPECT_GE(SecurityTable::current()->count(), 293);
    EXPECT_GT(WatchlistTable::instance().count(), 0);
    EXPECT_EQ(g_pProgressDlg, nullptr);
    EXPECT_TRUE(boxTexts().empty()) << ::testing::PrintToString(boxTexts());
    std::vector<std::string> order;
    for (const tb::RecordedRequest& r : broker->requests())
        if (r.path.rfind("/security/", 0) == 0 && (order.empty() || order.back() != r.path))
            order.push_back(r.path);
    EXPECT_EQ(order, (std::vector<std::string>{"/security/services.lzo", "/security/security.lzo",
                                               "/security/PellbrookSecFile.lzo", "/security/category.lzo"}))
        << "the services list comes with the login, then the master, the advisory file and the categories";
    closeAndExit(app);
}

// Failures of the master's download report as they always did; a refused
// size question still ends the start-up.
TEST_F(StartupDownloadsTest, FailedMasterDownloadsReportAsBefore)
{
    struct Case {
        const char* name;
        tb::HttpFault fault;
        const char* body; // replaces the file when not null
        int answer;       // to a question, 0 = none expected
        const char* box;
        bool startsUp;
    };
    tb::HttpFault status500;
    status500.status = 500;
    status500.delayMs = 300;
    tb::HttpFault proxy;
    proxy.status = 407;
    const Case cases[] = {
        {"server error", status500, nullptr, 0, "Internet Connectivity Error [500]. Pls contact System Administrator",
         true},
        {"proxy refused", proxy, nullptr, 0, "Proxy Authentication Failed", true},
        {"size mismatch refused", {}, "abc", 7, "Security File Size Mismatch. Do you want to continue with Security File Dated :",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SecurityTable::publish(nullptr);
        std::filesystem::remove(paths.comp() / "security.lst");
        writeConfig();
        scriptLogin("U1", "Test@123");
        if (c.body)
            broker->setReply("/security/security.lzo", c.body, 1);
        else
            broker->armFault("/security/security.lzo", c.fault);
        if (c.answer)
            prompter.queueAnswer(c.answer);
        const size_t asked = prompter.askCount();
        CVortanexApp app;
        app.setOptions(appOptions());
        EXPECT_EQ(app.InitInstance(), c.startsUp) << ::testing::PrintToString(boxTexts());
        ASSERT_GT(prompter.askCount(), asked);
        EXPECT_EQ(boxTexts()[asked], c.box);
        EXPECT_EQ(IsLoggedIn(), c.startsUp);
        EXPECT_EQ(g_pProgressDlg, nullptr);
        closeAndExit(app);
        ResetRunGlobals();
    }
}

} // namespace
} // namespace startuptest
