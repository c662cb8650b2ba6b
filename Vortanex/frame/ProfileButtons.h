#pragma once
// The ribbon's "Profile" (33319) and "Feedback" (1467) buttons on the tab row,
// right of the tabs. Each opens its panel below it while one is attached: the
// profile panel shows the user's photo, which is also the Profile button's
// icon. The panels belong to the application, which hands the frame their
// factories; the login attaches them, the lock detaches them. UI thread.
#include <QIcon>
#include <QImage>
#include <QObject>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

class CMainFrame;
class QWidget;

namespace pf {
class Paths;
}

class ProfileButtons : public QObject {
    Q_OBJECT
public:
    using Factory = std::function<QWidget*(QWidget* parent)>;

    static constexpr int kProfileButton = 33319;
    static constexpr int kFeedbackButton = 1467;
    static constexpr int kSmallSize = 16;
    static constexpr int kLargeSize = 200;

    // The frame's one instance, made (and the two buttons put on the ribbon)
    // on first use.
    static ProfileButtons& Of(CMainFrame& frame);

    // The panels the application makes.
    void setPanels(Factory profile, Factory feedback);

    // Reads the button's icon again from the current small picture; with
    // reload the pictures' paths are made again for the user first. withPopup
    // attaches the profile panel to the button, else detaches it.
    void UpdateProfileButton(int reload, int withPopup);
    // Attaches (1) or detaches (0) the feedback panel.
    void SetFeedbackButtonPopup(int attach);

    // The pictures of the user's photo as the last reload found them; the
    // large one is empty when that file cannot be read and written.
    const std::string& SmallPicturePath() const { return m_small; }
    const std::string& LargePicturePath() const { return m_large; }
    // The icon the Profile button shows.
    const QIcon& Icon() const { return m_icon; }

    // "<program>/Data/temp/Graphics/<uid>_<size>.<extension>".
    static std::filesystem::path PicturePath(const pf::Paths& paths, std::string_view uid, int size,
                                             std::string_view extension);
    // The built-in picture of a user without a photo; null when the resource
    // is missing.
    static QImage DefaultPicture();

private:
    explicit ProfileButtons(CMainFrame& frame);

    CMainFrame& m_frame;
    Factory m_profile;
    Factory m_feedback;
    std::string m_small;
    std::string m_large;
    QIcon m_icon;
};
