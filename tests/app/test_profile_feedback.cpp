// The profile and feedback panels on their own: the photo's size rule and its
// two JPEG copies, the built-in picture, the comment's checks, the stars and
// the handling of the broker's answer (through a fake send on the panel's
// exchange thread).
#include "app/CDlgFeedBack.h"
#include "app/CDlgUserProfile.h"

#include "app/base/ActivityStamp.h"
#include "app/base/AppSettings.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"
#include "frame/CMainFrame.h"
#include "frame/ProfileButtons.h"
#include "frame/UserPopupText.h"
#include "orders/TsloOrder.h"

#include "testkit/headless.h"
#include "ui/command_bar.h"

#include <QImage>
#include <QImageReader>
#include <QMenu>
#include <QPlainTextEdit>

#include <fstream>
#include <mutex>
#include <optional>

namespace {

class ProfileFeedbackTest : public testkit::Headless {
protected:
    void SetUp() override
    {
        Headless::SetUp();
        m_savedPaths = ProgramPaths();
        SetProgramPaths(paths);
        pv_user_info = UserInfoRecord{};
        CopyFixedText(pv_user_info.user_id, "U7");
        CopyFixedText(pv_user_info.user_name, "Asha Rao");
        CopyFixedText(pv_user_info.client_code, "C1001");
        CopyFixedText(pv_user_info.session_id, "S42");
        CopyFixedText(g_Config.Gcrn, "CRN77");
        SetTerminalLocked(false);
        SetInfoTextForTest("2.3.0.20 DEV1");
    }
    void TearDown() override
    {
        SetTerminalLocked(false);
        if (m_savedPaths)
            SetProgramPaths(*m_savedPaths);
        pv_user_info = UserInfoRecord{};
        g_Config = ConfigRecord{};
        Headless::TearDown();
    }
    std::string writePng(const std::string& name, int width, int height) const
    {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(QColor(30, 120, 200));
        const std::string path = (root / name).string();
        EXPECT_TRUE(image.save(QString::fromStdString(path), "PNG"));
        return path;
    }
    std::vector<std::string> boxes() const
    {
        std::vector<std::string> out;
        for (const testkit::AskRecord& a : prompter.asks())
            out.push_back(a.text);
        return out;
    }

    CDlgUserProfile::Hooks profileHooks(int* buttonUpdates)
    {
        CDlgUserProfile::Hooks h;
        h.locked = [] { return IsTerminalLocked(); };
        h.picturePath = [this] {
            const auto p = ProfileButtons::PicturePath(paths, "U7", 200, "png");
            return std::filesystem::exists(p) ? p.string() : std::string();
        };
        h.updateProfileButton = [buttonUpdates] { ++*buttonUpdates; };
        return h;
    }

    std::optional<pf::Paths> m_savedPaths;
};

TEST_F(ProfileFeedbackTest, PhotoNeedsTwoHundredPixelsAndIsKeptAsTwoJpegCopies)
{
    int updates = 0;
    CDlgUserProfile panel(profileHooks(&updates));
    panel.prepare();
    // Without a photo the built-in picture shows.
    EXPECT_TRUE(panel.ShowsBuiltInPicture());
    EXPECT_FALSE(panel.Photo().isNull());
    EXPECT_EQ(panel.Photo(), ProfileButtons::DefaultPicture());
    EXPECT_EQ(panel.text(CDlgUserProfile::kName), "Asha Rao");
    EXPECT_EQ(panel.text(CDlgUserProfile::kCrn), "CRN: CRN77");
    EXPECT_EQ(panel.text(CDlgUserProfile::kClientCode), "C1001");

    const auto small = ProfileButtons::PicturePath(paths, "U7", 16, "png");
    const auto large = ProfileButtons::PicturePath(paths, "U7", 200, "png");
    // One side short of 200 is refused with the 200-pixel message, nothing written.
    for (auto [w, h] : {std::pair{199, 400}, std::pair{400, 199}}) {
        prompter.queueOpenPath(writePng("narrow.png", w, h));
        panel.OnChangePhoto();
        ASSERT_FALSE(boxes().empty());
        EXPECT_EQ(boxes().back(), "Image dimensions invalid. Minimum height / width required is 200 pixels.");
    }
    EXPECT_FALSE(std::filesystem::exists(small));
    EXPECT_FALSE(std::filesystem::exists(large));
    // A file that is not a PNG is not taken.
    const std::string text = (root / "notes.png").string();
    { std::ofstream(text) << "not an image"; }
    prompter.queueOpenPath(text);
    panel.OnChangePhoto();
    EXPECT_EQ(boxes().back(), "Loading image [" + text + "] failed.");
    EXPECT_TRUE(panel.ShowsBuiltInPicture());
    EXPECT_EQ(updates, 0);

    // 200 x 300 is taken: two JPEG-encoded copies, the button told, the panel shows it.
    const size_t before = boxes().size();
    prompter.queueOpenPath(writePng("me.png", 200, 300));
    panel.OnChangePhoto();
    EXPECT_EQ(boxes().size(), before);
    ASSERT_TRUE(std::filesystem::exists(small));
    ASSERT_TRUE(std::filesystem::exists(large));
    EXPECT_EQ(QImageReader(QString::fromStdString(small.string())).format(), "jpeg");
    EXPECT_EQ(QImageReader(QString::fromStdString(large.string())).format(), "jpeg");
    EXPECT_EQ(QImage(QString::fromStdString(small.string())).size(), QSize(16, 24));
    EXPECT_EQ(QImage(QString::fromStdString(large.string())).size(), QSize(200, 300));
    EXPECT_EQ(updates, 1);
    EXPECT_FALSE(panel.ShowsBuiltInPicture());
    EXPECT_EQ(panel.Photo().size(), QSize(200, 300));

    // While locked neither the panel nor its photo change.
    SetTerminalLocked(true);
    prompter.queueOpenPath(writePng("other.png", 300, 300));
    panel.OnChangePhoto();
    EXPECT_EQ(boxes().back(), "Terminal is Locked. Pls Unlock to Change your Profile Photo.");
    EXPECT_EQ(updates, 1);
    CDlgUserProfile lockedPanel(profileHooks(&updates));
    lockedPanel.prepare();
    EXPECT_EQ(boxes().back(), "Terminal is Locked. Pls Unlock to view Profile.");
    EXPECT_TRUE(lockedPanel.isFinished());
}

TEST_F(ProfileFeedbackTest, CommentChecksRefuseSeparatorsAndTheBrokersWordsCaseSensitively)
{
    const std::string special = "Special Characters like * # ; ' & | ~ ^ and line breaks not allowed.";
    const std::string invalid = "Invalid input. Please try again..";
    const struct {
        const char* comment;
        std::string problem;
    } cases[] = {
        {"Great app -- thanks", invalid},
        {"a|b", special},
        {"x~y", special},
        {"up^down", special},
        {"it's fine", special},
        {"line\none", special},
        {"SLEEP well", invalid},
        {"sleep well", ""},
        {"Works well, fast & clean", special},
        {"Fast order entry.", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CDlgFeedBack::CommentProblem(c.comment), c.problem) << c.comment;
    EXPECT_EQ(CDlgFeedBack::BuildRequest("U7", "S42", 4, "INFO", "good", true),
              "ReportData=810|U7|S42|4|2.3.0.20|4|INFO|good|Y");
}

TEST_F(ProfileFeedbackTest, StarsRatingAndTheBrokersAnswer)
{
    std::mutex mutex;
    std::vector<std::string> sent;
    std::string nextReply = "812|0|Bad request";
    int nextStatus = 200;
    std::vector<std::pair<std::string, std::string>> answers;
    CDlgFeedBack::Hooks h;
    h.locked = [] { return IsTerminalLocked(); };
    h.send = [&](const std::string& request, std::string& reply, ExchangeCancel&) {
        std::lock_guard lock(mutex);
        sent.push_back(request);
        reply = nextReply;
        return nextStatus;
    };
    h.showAnswer = [&](const std::string& popup, const std::string& answer) { answers.emplace_back(popup, answer); };
    h.brokerWebAddress = [] { return std::string("http://broker.test"); };
    CDlgFeedBack panel(h);
    panel.prepare();
    EXPECT_EQ(panel.Rating(), 0);
    EXPECT_FALSE(panel.Photo().isNull()) << "the built-in picture";
    EXPECT_EQ(qobject_cast<QPlainTextEdit*>(panel.control(CDlgFeedBack::kComment))->placeholderText(),
              "Leave a comment...");

    // No rating: nothing goes out.
    panel.OnSubmit();
    EXPECT_EQ(boxes().back(), "Please select rating.");
    EXPECT_TRUE(panel.isEnabled(1));

    panel.OnStar(3);
    panel.OnStar(1);
    EXPECT_EQ(panel.Rating(), 1);
    for (int star = 1; star <= 5; ++star)
        EXPECT_EQ(panel.StarFilled(star), star == 1) << star;
    EXPECT_EQ(panel.text(CDlgFeedBack::kRatingWord), "Hated it");

    // A refused comment sends nothing and keeps the panel.
    panel.setText(CDlgFeedBack::kComment, "a | b");
    panel.OnSubmit();
    EXPECT_EQ(boxes().back(), "Special Characters like * # ; ' & | ~ ^ and line breaks not allowed.");
    // The comment stops at 500 characters.
    panel.setText(CDlgFeedBack::kComment, std::string(600, 'x'));
    EXPECT_EQ(panel.text(CDlgFeedBack::kComment).size(), 500u);

    // A reply whose first field is 812: the error, the panel stays usable.
    panel.setText(CDlgFeedBack::kComment, "  sleep mode is handy  ");
    panel.setChecked(CDlgFeedBack::kCallMeBack, true);
    panel.OnSubmit();
    ASSERT_TRUE(pumpUntil([&] { return !panel.isBusy() && boxes().back() == "Invalid response received from server"; }));
    EXPECT_FALSE(panel.isFinished());
    EXPECT_TRUE(panel.isEnabled(1));
    EXPECT_TRUE(answers.empty());
    {
        std::lock_guard lock(mutex);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0], "ReportData=810|U7|S42|4|2.3.0.20|1|2.3.0.20 DEV1|sleep mode is handy|Y");
        nextReply = "811|0|Thank you for your feedback";
    }

    // The 811 answer goes to the frame as the feedback popup and the panel closes.
    panel.OnSubmit();
    ASSERT_TRUE(pumpUntil([&] { return panel.isFinished(); }));
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].second, "Thank you for your feedback");
    UserPopupFields f;
    ASSERT_TRUE(ParseUserPopupText(answers[0].first, f));
    EXPECT_EQ(f.kind, 6);
    EXPECT_EQ(f.eventId, 6);
    EXPECT_EQ(f.text, "Thank you for your feedback");
    EXPECT_EQ(f.address, "http://broker.test");
}

TEST_F(ProfileFeedbackTest, HttpFailuresCloseThePanelAndAnEmptyReplyKeepsIt)
{
    const struct {
        int status;
        std::string reply;
        std::string box;
        bool closes;
    } cases[] = {
        {200, "", "No response received from server", false},
        {407, "", "Proxy Authentication Failed", true},
        {500, "", "Internet Connectivity Error [500]. Pls contact System Administrator", true},
        {200, "811|0", "", true},
    };
    for (const auto& c : cases) {
        CDlgFeedBack::Hooks h;
        h.send = [&c](const std::string&, std::string& reply, ExchangeCancel&) {
            reply = c.reply;
            return c.status;
        };
        int shown = 0;
        h.showAnswer = [&shown](const std::string&, const std::string&) { ++shown; };
        CDlgFeedBack panel(h);
        panel.prepare();
        panel.OnStar(5);
        const size_t before = boxes().size();
        panel.OnSubmit();
        ASSERT_TRUE(pumpUntil([&] { return !panel.isBusy() && (panel.isFinished() || boxes().size() > before); }))
            << c.status;
        EXPECT_EQ(panel.isFinished(), c.closes) << c.status << " " << c.reply;
        EXPECT_EQ(boxes().size() > before ? boxes().back() : std::string(), c.box) << c.status;
        EXPECT_EQ(shown, 0);
    }
}

TEST_F(ProfileFeedbackTest, FrameButtonsShowTheSavedPhotoAndTheirPanelsComeAndGo)
{
    CMainFrame::Services services;
    services.shell = &shell;
    services.sound = &sound;
    services.profile = profile.get();
    CMainFrame frame(services);
    ASSERT_TRUE(frame.OnCreate());
    ui::CommandBar& bar = *frame.Ribbon();
    int made = 0;
    ProfileButtons::Of(frame).setPanels(
        [&made](QWidget* parent) -> QWidget* {
            ++made;
            return new ui::Form(ui::FormSpec{287, "Panel", "", 40, 20, {}}, parent);
        },
        [](QWidget* parent) -> QWidget* { return new ui::Form(ui::FormSpec{288, "Feedback", "", 40, 20, {}}, parent); });

    // No photo yet: no large picture and the built-in icon.
    frame.UpdateProfileButton(1, 1);
    EXPECT_EQ(frame.ProfilePicturePath(), "");
    EXPECT_FALSE(ProfileButtons::Of(frame).Icon().isNull());
    EXPECT_TRUE(bar.hasPopup(ProfileButtons::kProfileButton));
    EXPECT_FALSE(bar.hasPopup(ProfileButtons::kFeedbackButton));

    // The popup opens with the panel; the panel's end closes it.
    frame.show();
    ASSERT_TRUE(bar.showPopup(ProfileButtons::kProfileButton));
    ui::Form* panel = nullptr;
    ASSERT_TRUE(pumpUntil([&] {
        panel = bar.findChild<ui::Form*>("Panel");
        return panel && panel->isVisible();
    }));
    EXPECT_EQ(made, 1);
    auto* menu = qobject_cast<QMenu*>(panel->parentWidget());
    ASSERT_NE(menu, nullptr);
    // A box from the panel closes the popup: the panel comes back as it was.
    menu->close();
    ui::CommandBar::reopenPopup(panel);
    EXPECT_TRUE(pumpUntil([&] { return menu->isVisible(); }));
    menu->close();
    ASSERT_TRUE(bar.showPopup(ProfileButtons::kProfileButton));
    EXPECT_TRUE(pumpUntil([&] { return menu->isVisible() && panel->isVisible(); }));
    EXPECT_EQ(made, 1);
    // Once it ends the popup closes and the next opening makes a new panel.
    panel->finish(1);
    EXPECT_TRUE(pumpUntil([&] { return !menu->isVisible(); }));
    ASSERT_TRUE(bar.showPopup(ProfileButtons::kProfileButton));
    EXPECT_TRUE(pumpUntil([&] { return menu->isVisible(); }));
    EXPECT_EQ(made, 2);
    menu->close();

    // A saved photo is what the frame reads after a reload.
    std::filesystem::create_directories(paths.graphics());
    QImage photo(200, 200, QImage::Format_RGB32);
    photo.fill(Qt::red);
    const auto large = ProfileButtons::PicturePath(paths, "U7", 200, "png");
    const auto small = ProfileButtons::PicturePath(paths, "U7", 16, "png");
    ASSERT_TRUE(photo.save(QString::fromStdString(large.string()), "JPEG"));
    ASSERT_TRUE(photo.scaled(16, 16).save(QString::fromStdString(small.string()), "JPEG"));
    frame.UpdateProfileButton(1, 1);
    EXPECT_EQ(frame.ProfilePicturePath(), large.string());

    // The lock's refresh detaches both panels; the login attaches them again.
    frame.UpdateProfileButton(1, 0);
    frame.SetFeedbackButtonPopup(0);
    EXPECT_FALSE(bar.hasPopup(ProfileButtons::kProfileButton));
    EXPECT_FALSE(bar.showPopup(ProfileButtons::kProfileButton));
    EXPECT_EQ(bar.textOf(ProfileButtons::kProfileButton), "Profile");
    frame.UpdateProfileButton(1, 1);
    frame.SetFeedbackButtonPopup(1);
    EXPECT_TRUE(bar.hasPopup(ProfileButtons::kProfileButton));
    EXPECT_TRUE(bar.hasPopup(ProfileButtons::kFeedbackButton));
}

} // namespace
