#pragma once
// The profile panel that drops down from the ribbon's Profile button: the
// user's name, client code, CRN, last login and photo, with "Change Photo",
// "Lock &Terminal" and "Logout". The photo is kept as two JPEG-encoded copies
// (16 and 200 pixels) in the program folder's Data/temp/Graphics, which the
// Profile button shows too. UI thread.
#include "ui/form.h"

#include <QImage>

#include <functional>
#include <string>

class QPaintEvent;

class CDlgUserProfile final : public ui::Form {
    Q_OBJECT
public:
    static constexpr int kTemplateId = 287;
    static constexpr int kPhoto = 1456;
    static constexpr int kName = 1453;
    static constexpr int kClientCode = 1454;
    static constexpr int kCrn = 1455;
    static constexpr int kLastLogin = 1472;
    static constexpr int kChangePhoto = 1469;
    static constexpr int kLockTerminal = 1470;
    static constexpr int kLogout = 1468;
    // The smallest side a new photo may have.
    static constexpr int kMinimumSide = 200;

    // What the panel needs of the main frame.
    struct Hooks {
        std::function<bool()> locked;
        // The frame's current profile picture (200 pixels); empty for none.
        std::function<std::string()> picturePath;
        // The frame reads the photo again for its Profile button.
        std::function<void()> updateProfileButton;
        std::function<void()> lockTerminal;
        // Posts the application exit to the frame.
        std::function<void()> logout;
    };

    explicit CDlgUserProfile(Hooks hooks, QWidget* parent = nullptr);

    void OnChangePhoto();
    void OnLockTerminal();
    void OnLogout();

    // The picture shown; the built-in one when the user has no photo.
    const QImage& Photo() const { return m_photo; }
    bool ShowsBuiltInPicture() const { return m_builtIn; }

protected:
    void onInit() override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadPhoto();
    void changePhoto(const std::string& file);

    Hooks m_hooks;
    QImage m_photo;
    bool m_builtIn = false;
};
