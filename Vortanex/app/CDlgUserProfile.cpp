#include "app/CDlgUserProfile.h"

#include "app/base/ActivityStamp.h"
#include "app/base/ConfigFile.h"
#include "app/base/FixedText.h"
#include "app/base/LogWriter.h"
#include "app/base/MessageBox.h"
#include "app/base/ProgramPaths.h"
#include "app/base/SessionRecord.h"
#include "app/base/TextFormat.h"
#include "frame/CImageFile.h"
#include "frame/ProfileButtons.h"

#include "pf/paths.h"
#include "ui/command_bar.h"
#include "ui/prompter.h"

#include <QEvent>
#include <QFont>
#include <QImageReader>
#include <QLabel>
#include <QPainter>

#include <system_error>

namespace dlg_user_profile_detail {
namespace {

ui::FormSpec userProfileSpec()
{
    using ui::ControlKind;
    ui::FormSpec spec;
    spec.templateId = CDlgUserProfile::kTemplateId;
    spec.name = "CDlgUserProfile";
    spec.caption = "Profile";
    spec.width = 236;
    spec.height = 86;
    spec.controls = {
        {CDlgUserProfile::kPhoto, ControlKind::Static, "", {6, 6, 64, 59}},
        {CDlgUserProfile::kName, ControlKind::Label, "", {78, 6, 152, 14}},
        {CDlgUserProfile::kClientCode, ControlKind::Label, "", {78, 22, 152, 10}},
        {CDlgUserProfile::kCrn, ControlKind::Label, "", {78, 33, 152, 10}},
        {CDlgUserProfile::kLastLogin, ControlKind::Label, "", {78, 44, 152, 10}},
        {CDlgUserProfile::kChangePhoto, ControlKind::Button, "Change Photo", {6, 68, 64, 14}},
        {CDlgUserProfile::kLockTerminal, ControlKind::Button, "Lock &Terminal", {116, 68, 64, 14}},
        {CDlgUserProfile::kLogout, ControlKind::Button, "Logout", {184, 68, 46, 14}},
    };
    return spec;
}

QFont labelFont(int pixels)
{
    // Calibri where the desktop has it; Qt falls back to a sans face otherwise.
    QFont f(QStringLiteral("Calibri"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixels);
    return f;
}

} // namespace
} // namespace dlg_user_profile_detail

CDlgUserProfile::CDlgUserProfile(Hooks hooks, QWidget* parent)
    : ui::Form(dlg_user_profile_detail::userProfileSpec(), parent), m_hooks(std::move(hooks))
{
    setFixedSize(size());
    onClick(kChangePhoto, [this] { OnChangePhoto(); });
    onClick(kLockTerminal, [this] { OnLockTerminal(); });
    onClick(kLogout, [this] { OnLogout(); });
    if (QWidget* photo = control(kPhoto)) {
        photo->setCursor(Qt::PointingHandCursor);
        photo->setToolTip(QStringLiteral("Change Photo"));
        photo->installEventFilter(this);
    }
}

void CDlgUserProfile::onInit()
{
    SetAccessTime();
    if (m_hooks.locked && m_hooks.locked()) {
        MsgBoxInfo("Terminal is Locked. Pls Unlock to view Profile.");
        finish(2);
        return;
    }
    const QFont large = dlg_user_profile_detail::labelFont(22);
    const QFont small = dlg_user_profile_detail::labelFont(14);
    for (int id : {kName, kClientCode, kCrn, kLastLogin}) {
        if (auto* label = qobject_cast<QLabel*>(control(id))) {
            label->setFont(id == kName ? large : small);
            label->setForegroundRole(QPalette::WindowText);
            label->setTextFormat(Qt::PlainText);
        }
    }
    setText(kName, FixedTextView(pv_user_info.user_name));
    setText(kClientCode, FixedTextView(pv_user_info.client_code));
    setText(kCrn, formatText("CRN: %s", std::string(FixedTextView(g_Config.Gcrn)).c_str()));
    setText(kLastLogin, formatText("Last Login: %s", std::string(FixedTextView(g_Session.last_login)).c_str()));
    loadPhoto();
}

void CDlgUserProfile::loadPhoto()
{
    const std::string path = m_hooks.picturePath ? m_hooks.picturePath() : std::string();
    QImage photo;
    if (!path.empty())
        photo.load(QString::fromStdString(path));
    m_builtIn = photo.isNull();
    if (m_builtIn) {
        WriteLog(1, "Loading default image for User Profile");
        photo = ProfileButtons::DefaultPicture();
        if (photo.isNull())
            WriteLog(0, "Loaded default image failed for User Profile");
    }
    m_photo = photo;
    update();
}

void CDlgUserProfile::paintEvent(QPaintEvent* event)
{
    ui::Form::paintEvent(event);
    QWidget* place = control(kPhoto);
    if (!place || m_photo.isNull())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(place->geometry(), m_photo);
}

bool CDlgUserProfile::eventFilter(QObject* watched, QEvent* event)
{
    // A click on the photo changes it, as the button does.
    if (watched == control(kPhoto) && event->type() == QEvent::MouseButtonRelease) {
        OnChangePhoto();
        return true;
    }
    return ui::Form::eventFilter(watched, event);
}

void CDlgUserProfile::OnChangePhoto()
{
    SetAccessTime();
    if (m_hooks.locked && m_hooks.locked()) {
        MsgBoxInfo("Terminal is Locked. Pls Unlock to Change your Profile Photo.");
        return;
    }
    ui::FilePrompt prompt;
    prompt.caption = "Change Photo";
    prompt.filter = "Image Files (*.png);;Portable Network Graphics (*.png)";
    const std::optional<std::string> chosen = ui::prompter().pickOpenPath(prompt);
    changePhoto(chosen.value_or(std::string()));
    // The chooser and the boxes closed the popup: the panel comes back.
    ui::CommandBar::reopenPopup(this);
}

void CDlgUserProfile::changePhoto(const std::string& file)
{
    if (file.empty())
        return;
    // The photo is taken from PNG files only (what the chooser offers); the
    // content decides, not the name.
    CImageFile image;
    if (QImageReader::imageFormat(QString::fromStdString(file)) != "png" || !image.Load(file)) {
        MsgBoxOk(formatText("Loading image [%s] failed.", file.c_str()));
        return;
    }
    if (image.Width() < kMinimumSide || image.Height() < kMinimumSide) {
        MsgBoxOk(formatText("Image dimensions invalid. Minimum height / width required is %d pixels.", kMinimumSide));
        return;
    }
    // Both copies are JPEG-encoded; their names end ".png", as the chosen
    // file's does and as the Profile button reads them.
    const pf::Paths paths = ProgramPaths();
    const std::string uid(FixedTextView(pv_user_info.user_id));
    std::error_code ec;
    std::filesystem::create_directories(paths.graphics(), ec);
    const std::string small =
        ProfileButtons::PicturePath(paths, uid, ProfileButtons::kSmallSize, "png").string();
    const std::string large =
        ProfileButtons::PicturePath(paths, uid, ProfileButtons::kLargeSize, "png").string();
    if (!image.SaveAsJpeg(small, "JPEG", ProfileButtons::kSmallSize)) {
        WriteLog(0, formatText("Error : Resizing [%s] Failed for Profile Button.", file.c_str()));
        return;
    }
    if (!image.SaveAsJpeg(large, "JPEG", ProfileButtons::kLargeSize)) {
        WriteLog(0, formatText("Error : Resizing [%s] Failed for Profile Display.", file.c_str()));
        return;
    }
    if (m_hooks.updateProfileButton)
        m_hooks.updateProfileButton();
    const std::string shown = m_hooks.picturePath ? m_hooks.picturePath() : large;
    QImage photo;
    if (shown.empty() || !photo.load(QString::fromStdString(shown))) {
        WriteLog(0, formatText("Loading Profile Image [%s] failed.", shown.c_str()));
        return;
    }
    m_photo = photo;
    m_builtIn = false;
    update();
}

void CDlgUserProfile::OnLockTerminal()
{
    if (m_hooks.lockTerminal)
        m_hooks.lockTerminal();
    finish(1);
}

void CDlgUserProfile::OnLogout()
{
    finish(1);
    if (m_hooks.logout)
        m_hooks.logout();
}
