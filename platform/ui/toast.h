#pragma once
// A small desktop popup: frameless, above other windows, never taking the
// focus; it fades in, closes itself after a while and deletes itself when
// closed. A click on it is reported to the owner, which decides what opens.
// UI thread only.
#include <QColor>
#include <QIcon>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>

class QLabel;
class QPropertyAnimation;
class QTimer;

namespace ui {

// The popup's colours in the order a popup colour set gives them: caption
// background, caption text, body background, link text, hovered link text.
// An invalid colour keeps the popup's default.
struct ToastColours {
    std::array<QColor, 5> colours{};
};

struct ToastSpec {
    QString caption;
    QString text;
    QString linkText;
    QIcon icon;
    ToastColours colours;
    double opacity = 1.0;  // final opacity, 0..1
    int fadeStepMs = 50;   // one step of the fade-in (0 = no fade)
    int autoCloseMs = 0;   // 0 = stays until closed
};

class Toast : public QWidget {
    Q_OBJECT
public:
    explicit Toast(const ToastSpec& spec, QWidget* owner = nullptr);
    ~Toast() override;

    // Shows it with its top-left corner at pos (global pixels).
    void showAt(QPoint pos);

    const ToastSpec& spec() const { return m_spec; }
    int autoCloseMs() const { return m_spec.autoCloseMs; }
    bool closeTimerRunning() const;

    // Reported on a click anywhere on the popup; the popup closes after it.
    std::function<void()> onClicked;

    // Tests: acts as a click.
    void click();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    ToastSpec m_spec;
    QTimer* m_close;
    QPropertyAnimation* m_fade = nullptr;
};

} // namespace ui
