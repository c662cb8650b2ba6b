// Logged in to the test broker: the Profile and Feedback buttons carry their
// panels, a four-star feedback reaches the broker as one 810 request and its
// answer reaches the Messages bar and the popup, and the lock takes both
// panels off their buttons until the unlock.
#include "StartupFixture.h"

#include "app/CDlgFeedBack.h"
#include "app/CDlgUserProfile.h"
#include "app/CLogin.h"
#include "app/VortanexApp.h"
#include "frame/CMainFrame.h"
#include "frame/CMyPopupWindow.h"
#include "frame/COutputBar.h"
#include "frame/FrameIds.h"
#include "frame/MessageFiles.h"
#include "frame/ProfileButtons.h"
#include "frame/TerminalLock.h"
#include "ui/command_bar.h"
#include "ui/form_driver.h"
#include "ui/ui_thread.h"

#include <QMenu>
#include <QPointer>

namespace startuptest {
namespace {

class ProfileFeedbackE2E : public StartupFixture {
protected:
    template <class Panel>
    Panel* openPanel(CMainFrame& frame, int id)
    {
        if (!frame.Ribbon()->showPopup(id))
            return nullptr;
        Panel* panel = nullptr;
        pumpUntil([&] {
            for (Panel* p : frame.Ribbon()->findChildren<Panel*>())
                if (p->isVisible())
                    panel = p;
            return panel != nullptr;
        });
        return panel;
    }
};

TEST_F(ProfileFeedbackE2E, FourStarFeedbackReachesTheBrokerAndItsAnswerTheMessagesBar)
{
    writeConfig();
    scriptLogin("U1", "Test@123");
    CVortanexApp app;
    app.setOptions(appOptions());
    ASSERT_TRUE(app.InitInstance());
    CMainFrame* frame = app.mainFrame();
    ui::CommandBar* ribbon = frame->Ribbon();
    ASSERT_TRUE(ribbon->hasPopup(ID_PROFILE));
    ASSERT_TRUE(ribbon->hasPopup(ProfileButtons::kFeedbackButton));

    // The profile panel: the user's name and, without a photo, the built-in picture.
    auto* profile = openPanel<CDlgUserProfile>(*frame, ID_PROFILE);
    ASSERT_NE(profile, nullptr);
    EXPECT_FALSE(profile->text(CDlgUserProfile::kName).empty());
    EXPECT_TRUE(profile->ShowsBuiltInPicture());
    profile->finish(2);
    ASSERT_TRUE(pumpUntil([&] { return !profile->isVisible(); }));

    auto* feedback = openPanel<CDlgFeedBack>(*frame, ProfileButtons::kFeedbackButton);
    ASSERT_NE(feedback, nullptr);
    QPointer<CDlgFeedBack> panel(feedback);
    {
        ui::FormDriver d(*feedback);
        d.click(CDlgFeedBack::kFirstStar + 3);
        d.type(CDlgFeedBack::kComment, "Order entry is quick");
        d.click(1);
    }
    ASSERT_TRUE(pumpUntil([&] { return !panel || panel->isFinished(); }, 15000));
    EXPECT_EQ(requestsWith("ReportData=810"), 1);
    for (const tb::RecordedRequest& r : broker->requests())
        if (r.key() == "ReportData=810") {
            const std::string& text = r.decoded.text;
            EXPECT_NE(text.find("|U1|"), std::string::npos) << text;
            EXPECT_NE(text.find("|4|2.3.0.20|4|"), std::string::npos) << text;
            EXPECT_NE(text.find("|Order entry is quick|N"), std::string::npos) << text;
        }
    // The answer on the Messages bar and in the feedback popup.
    COutputBar* bar = frame->OutputBar();
    const auto onBar = [&] {
        for (int i = 0; i < bar->RowCount(MsgGeneral); ++i)
            for (int c = 0; c < 4; ++c)
                if (bar->RowText(MsgGeneral, i, c).contains("Thank you for your feedback"))
                    return true;
        return false;
    };
    EXPECT_TRUE(pumpUntil(onBar, 5000));
    EXPECT_TRUE(pumpUntil([&] { return !frame->OpenPopups().empty(); }, 5000));

    // Locked: no panels, and the buttons say why.
    frame->Commands().invoke(ID_FILE_LOCKTERMINAL);
    ASSERT_TRUE(app.terminalLock()->locked());
    EXPECT_FALSE(ribbon->hasPopup(ID_PROFILE));
    EXPECT_FALSE(ribbon->hasPopup(ProfileButtons::kFeedbackButton));
    frame->Commands().invoke(ProfileButtons::kFeedbackButton);
    EXPECT_TRUE(boxShown("Terminal is Locked. Pls Unlock to provide Feedback."));
    frame->Commands().invoke(ID_PROFILE);
    EXPECT_TRUE(boxShown("Terminal is Locked. Pls Unlock to view Profile."));

    // The unlock gives them back.
    {
        ui::FormDriver d(*app.terminalLock()->unlockDialog());
        d.type(CLogin::kPassword, "Test@123").click(1);
        QPointer<CLogin> unlock = qobject_cast<CLogin*>(&d.form());
        EXPECT_TRUE(ui::UiThread::pumpUntil([unlock] { return !unlock || !unlock->isExchangeBusy(); }, 30000));
    }
    EXPECT_FALSE(app.terminalLock()->locked());
    EXPECT_TRUE(ribbon->hasPopup(ID_PROFILE));
    EXPECT_TRUE(ribbon->hasPopup(ProfileButtons::kFeedbackButton));
    app.ExitInstance();
}

} // namespace
} // namespace startuptest
