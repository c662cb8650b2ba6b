#include "frame/ProfileButtons.h"

#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SeException.h"
#include "app/base/SessionRecord.h"
#include "frame/CMainFrame.h"
#include "frame/FrameUtilities.h"

#include "pf/paths.h"
#include "ui/command_bar.h"

#include <QAction>
#include <QFileInfo>
#include <QPixmap>

namespace {

// Readable and writable: a picture the profile panel could also replace.
bool usable(const std::string& path)
{
    const QFileInfo info(QString::fromStdString(path));
    return info.isFile() && info.isReadable() && info.isWritable();
}

} // namespace

ProfileButtons::ProfileButtons(CMainFrame& frame) : QObject(&frame), m_frame(frame)
{
    setObjectName("ProfileButtons");
    if (ui::CommandBar* bar = m_frame.Ribbon()) {
        // Feedback left of Profile, both right of the tabs.
        bar->addTabRowButton(kFeedbackButton, QStringLiteral("Feedback"));
        bar->addTabRowButton(kProfileButton, QStringLiteral("Profile"));
    }
    const QImage builtIn = DefaultPicture();
    if (!builtIn.isNull())
        m_icon = QIcon(QPixmap::fromImage(builtIn.scaled(kSmallSize, kSmallSize, Qt::KeepAspectRatio,
                                                         Qt::SmoothTransformation)));
}

ProfileButtons& ProfileButtons::Of(CMainFrame& frame)
{
    for (ProfileButtons* b : frame.findChildren<ProfileButtons*>(QString(), Qt::FindDirectChildrenOnly))
        return *b;
    return *new ProfileButtons(frame);
}

void ProfileButtons::setPanels(Factory profile, Factory feedback)
{
    m_profile = std::move(profile);
    m_feedback = std::move(feedback);
}

std::filesystem::path ProfileButtons::PicturePath(const pf::Paths& paths, std::string_view uid, int size,
                                                  std::string_view extension)
{
    return paths.graphics() / (std::string(uid) + "_" + std::to_string(size) + "." + std::string(extension));
}

QImage ProfileButtons::DefaultPicture()
{
    QImage image;
    if (!LoadPngResource(image, QStringLiteral("33355")))
        return {};
    return image;
}

void ProfileButtons::UpdateProfileButton(int reload, int withPopup)
{
    try {
        ui::CommandBar* bar = m_frame.Ribbon();
        if (!bar)
            return;
        if (reload) {
            const pf::Paths paths = ProgramPaths();
            const std::string uid(FixedTextView(pv_user_info.user_id));
            m_small = PicturePath(paths, uid, kSmallSize, "png").string();
            m_large = PicturePath(paths, uid, kLargeSize, "png").string();
            WriteLog(1, "Profile image : " + m_small);
            WriteLog(1, "Profile image : " + m_large);
            if (!usable(m_large))
                m_large.clear();
        }
        QImage small;
        if (!m_small.empty() && usable(m_small))
            small.load(QString::fromStdString(m_small));
        if (small.isNull())
            small = DefaultPicture();
        if (!small.isNull())
            m_icon = QIcon(QPixmap::fromImage(
                small.scaled(kSmallSize, kSmallSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        // The button keeps its text: the main menu's "Profile" shares it.
        bar->setPopup(kProfileButton, withPopup && m_profile ? m_profile : Factory());
        if (QAction* a = bar->action(kProfileButton)) {
            a->setIcon(m_icon);
            a->setToolTip(QStringLiteral("Profile"));
        }
        bar->update();
    } catch (...) {
        LogCaught("CMainFrame::UpdateProfileButton");
    }
}

void ProfileButtons::SetFeedbackButtonPopup(int attach)
{
    if (ui::CommandBar* bar = m_frame.Ribbon())
        bar->setPopup(kFeedbackButton, attach && m_feedback ? m_feedback : Factory());
}

void CMainFrame::UpdateProfileButton(int reload, int withPopup)
{
    ProfileButtons::Of(*this).UpdateProfileButton(reload, withPopup);
}

void CMainFrame::SetFeedbackButtonPopup(int attach)
{
    ProfileButtons::Of(*this).SetFeedbackButtonPopup(attach);
}

std::string CMainFrame::ProfilePicturePath()
{
    return ProfileButtons::Of(*this).LargePicturePath();
}
